#include "import/importplan.h"
#include "import/schedulematch.h"

#include "import/importsplits.h"
#include "import/mappayee.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/split.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace {
double daysApart(const DateTime& a, const DateTime& b) {
    return std::floor(std::fabs(toSerialDay(a) - toSerialDay(b)));
}

bool withinFiveDays(const DateTime& a, const DateTime& b) {
    return daysApart(a, b) <= 5.0;
}

// A row of the same amount this close under another payee may be the same money.
constexpr double kPossibleRepeatDays = 3.0;

// A transfer or card payment: its other side on the next statement carries the bank's own
// words ("ONLINE XFER", "PAYMENT THANK YOU"), never the payee stored here.
bool movesBetweenAccounts(const Transaction& t) {
    return t.type == TransactionType::Transfer || t.type == TransactionType::CCPayment;
}

// An amount with cents identifies a transaction by itself; a whole-currency amount (or a
// text of at most two characters) also needs similar payees.
bool amountOrPayeeMatches(Amount amount, const QString& payee, const Transaction& t) {
    const QString digits = QString::number(amount);
    if (digits.size() > 2 && !digits.endsWith(QLatin1String("00")))
        return true;
    return payeeOverlap(payee, t.payee) >= 2;
}

bool sameInstant(const DateTime& a, const DateTime& b) {
    return a.isSet() && b.isSet() && !isEarlier(a, b) && !isEarlier(b, a);
}

bool touches(const Transaction& t, ItemId account) {
    return t.accountFrom == account || t.accountTo == account;
}

// The statement amount that would repeat t in the account: the change t made to the
// account's balance, if it touched the account at all. (Comparing stored amounts with one
// fixed sign would miss repeated deposits and transfers and flag withdrawals against them.)
std::optional<qint64> rowAmountRepeating(const Transaction& t, ItemId account) {
    if (!touches(t, account))
        return std::nullopt;
    const qint64 amount = t.amount;
    qint64 change = 0;
    if (t.accountFrom == account)
        change += t.type == TransactionType::Transfer ? -amount : amount;
    if (t.accountTo == account)
        change += t.type == TransactionType::CCPayment ? -amount : amount;
    return change;
}

} // namespace

int payeeOverlap(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return 0;
    const QString foldedA = a.toCaseFolded();
    const QString foldedB = b.toCaseFolded();
    int count = 0;
    for (qsizetype i = 0; i < foldedA.size(); ++i)
        if (foldedB.contains(QStringView(foldedA).mid(i, 3)))
            ++count;
    return count;
}

const Transaction* findDuplicate(const Budget& budget, ItemId account, const QString& payee,
                                 Amount amount, const DateTime& date) {
    return DuplicateFinder(budget, account).find(payee, amount, date);
}

DuplicateFinder::DuplicateFinder(const Budget& budget, ItemId account) {
    // A split payment is one statement row: the whole payment is what a row repeats.
    QHash<quint32, qint64> splitPayments;
    for (const auto& t : budget.transactions())
        if (t->split != 0)
            splitPayments[t->split] += rowAmountRepeating(*t, account).value_or(0);
    QSet<quint32> seenSplits;
    for (const auto& t : budget.transactions())
        if (t->split != 0 && touches(*t, account)) {
            if (seenSplits.contains(t->split))
                continue;
            seenSplits.insert(t->split);
            byRowAmount_[splitPayments.value(t->split)].push_back(t);
            if (!t->bankId.isEmpty() && !byBankId_.contains(t->bankId))
                byBankId_.insert(t->bankId, t);
        } else if (const std::optional<qint64> repeats = rowAmountRepeating(*t, account)) {
            byRowAmount_[*repeats].push_back(t);
            if (!t->bankId.isEmpty() && !byBankId_.contains(t->bankId))
                byBankId_.insert(t->bankId, t);
        }
}

const Transaction* DuplicateFinder::findBankId(const QString& bankId) const {
    return bankId.isEmpty() ? nullptr : byBankId_.value(bankId, nullptr);
}

const std::vector<const Transaction*>& DuplicateFinder::withRowAmount(qint64 amount) const {
    static const std::vector<const Transaction*> none;
    const auto it = byRowAmount_.constFind(amount);
    return it == byRowAmount_.cend() ? none : *it;
}

const Transaction* DuplicateFinder::find(const QString& payee, Amount amount,
                                         const DateTime& date) const {
    const auto it = byRowAmount_.constFind(amount);
    if (it == byRowAmount_.cend())
        return nullptr;
    for (const Transaction* t : *it)
        if (withinFiveDays(t->transactionTime, date) &&
            (movesBetweenAccounts(*t) || amountOrPayeeMatches(amount, payee, *t)))
            return t;
    return nullptr;
}

ImportPlan::ImportPlan(const Budget& budget, const Account& account)
    : budget_(budget), account_(account), duplicates_(budget, account.id()),
      firstImport_(!hadEarlierImport()) {}

bool ImportPlan::proposeCharges(const std::vector<ImportRecord>& records) const {
    if (!account_.isCCAccount() || records.empty())
        return false;
    const auto positive = std::count_if(records.begin(), records.end(),
                                        [](const ImportRecord& r) { return r.amount > 0; });
    return positive * 2 > qsizetype(records.size());
}

void turnAmounts(std::vector<ImportRecord>& records) {
    for (ImportRecord& r : records) {
        r.amount = clampAmount(-qint64(r.amount));
        r.deposit = false;
    }
}

bool ImportPlan::hadEarlierImport() const {
    const DateTime& last = account_.lastImport();
    const double lastDay = last.isSet() ? std::floor(toSerialDay(last)) : 0.0;
    for (const auto& t : budget_.transactions()) {
        if (!touches(*t, account_.id()))
            continue;
        if (!t->bankId.isEmpty())
            return true;
        if (last.isSet() && std::floor(toSerialDay(t->transactionTime)) < lastDay)
            return true;
    }
    return false;
}

DateTime ImportPlan::defaultImportAfter(const std::vector<ImportRecord>& records) const {
    const DateTime& last = account_.lastImport();
    if (last.isSet() && toQDateTime(last).isValid())
        return last;
    if (hadEarlierImport() || records.empty())
        return Clock::now();
    DateTime earliest = records.front().date;
    for (const ImportRecord& record : records)
        if (isEarlier(record.date, earliest))
            earliest = record.date;
    return fromQDateTime(QDateTime(toQDateTime(earliest).date().addDays(-1), QTime(0, 0)));
}

void ImportPlan::map(std::vector<ImportRecord>& records) const {
    const PayeeMapper mapper(budget_);
    for (ImportRecord& record : records)
        mapRow(record, mapper);
    mapRowsToSchedules(budget_, account_.id(), records);
    mapImportParts(budget_, records);
}

PayeeMapping ImportPlan::mapRow(ImportRecord& record, const PayeeMapper& mapper) const {
    const PayeeMapping mapping = mapper.map(record.incomingPayee, record.amount);
    record.mappedPayee = mapping.payee;
    record.envelopeId = mapping.envelopeId;
    record.deposit = mapping.deposit && mayDeposit(record);
    record.otherAccount =
        mapping.account != kNoId && mayMoveWith(record, mapping.account) ? mapping.account : kNoId;
    return mapping;
}

bool ImportPlan::mayDeposit(const ImportRecord& record) const {
    return record.amount > 0 && !account_.isCCAccount();
}

bool ImportPlan::mayMoveWith(const ImportRecord& record, ItemId otherId) const {
    const Account* other = budget_.findAccount(otherId);
    if (!other || other == &account_ || record.amount == 0)
        return false;
    if (account_.isCCAccount())
        return !other->isCCAccount() && record.amount > 0; // a payment coming in
    return !other->isCCAccount() || record.amount < 0;     // a transfer, or paying the card
}

bool ImportPlan::offBudget() const {
    return !account_.contributesToBudget() && !account_.isCCAccount();
}

RowKind ImportPlan::kind(const ImportRecord& record) const {
    if (record.otherAccount != kNoId) {
        if (!mayMoveWith(record, record.otherAccount))
            return RowKind::Unassigned;
        return account_.isCCAccount() || budget_.findAccount(record.otherAccount)->isCCAccount()
                   ? RowKind::CardPayment
                   : RowKind::Transfer;
    }
    if (record.deposit)
        return mayDeposit(record) ? RowKind::Deposit : RowKind::Unassigned;
    if (record.parts.size() > 1)
        return partsAssigned(budget_, record) ? RowKind::Expense : RowKind::Unassigned;
    // An envelope that is gone is no assignment: the row would be recorded into nothing.
    if (budget_.findEnvelope(record.envelopeId))
        return RowKind::Expense;
    if (record.envelopeId == kNoId && offBudget())
        return RowKind::NoEnvelope;
    return RowKind::Unassigned;
}

QString ImportPlan::unassignedReason(const ImportRecord& record) const {
    if (kind(record) != RowKind::Unassigned)
        return QString();
    if (record.otherAccount != kNoId)
        return budget_.findAccount(record.otherAccount)
                   ? QStringLiteral("cannot move this money with that account")
                   : QStringLiteral("the other account no longer exists");
    if (record.deposit)
        return QStringLiteral("only money coming into an ordinary account can be a deposit");
    if (record.envelopeId != kNoId)
        return QStringLiteral("its envelope no longer exists");
    return QStringLiteral("no envelope or kind chosen");
}

QString transferToChoice(const QString& account) {
    return QStringLiteral("--transfer to %1--").arg(account);
}
QString transferFromChoice(const QString& account) {
    return QStringLiteral("--transfer from %1--").arg(account);
}
QString cardPaymentChoice(const QString& card) {
    return QStringLiteral("--card payment %1--").arg(card);
}
QString cardPaymentFromChoice(const QString& account) {
    return QStringLiteral("--card payment from %1--").arg(account);
}

namespace {
QString movementText(const Account& account, const Account& other, Amount amount) {
    if (account.isCCAccount())
        return cardPaymentFromChoice(other.getName());
    if (other.isCCAccount())
        return cardPaymentChoice(other.getName());
    return amount < 0 ? transferToChoice(other.getName()) : transferFromChoice(other.getName());
}
} // namespace

QString ImportPlan::choiceText(const ImportRecord& record) const {
    switch (kind(record)) {
    case RowKind::Transfer:
    case RowKind::CardPayment:
        return movementText(account_, *budget_.findAccount(record.otherAccount), record.amount);
    case RowKind::Deposit:
        return kDepositChoice;
    case RowKind::NoEnvelope:
        return kNoEnvelopeChoice;
    case RowKind::Expense:
    case RowKind::Unassigned:
        break;
    }
    if (record.parts.size() > 1)
        return importSplitText(record);
    if (record.envelopeId == kNoId)
        return QString();
    const AccountBase* item = budget_.findItem(record.envelopeId);
    return item ? item->getName() : QString();
}

std::vector<RowChoice> ImportPlan::choices(const ImportRecord& record) const {
    const auto byName = [](const AccountBase* a, const AccountBase* b) {
        return QString::localeAwareCompare(a->getName(), b->getName()) < 0;
    };
    std::vector<RowChoice> out;
    std::vector<AccountBase*> envelopes = budget_.itemsOfType(ItemType::Envelope);
    std::stable_sort(envelopes.begin(), envelopes.end(), byName);
    for (const AccountBase* envelope : envelopes)
        out.push_back({envelope->getName(), envelope->id(), false, kNoId});
    if (mayDeposit(record))
        out.push_back({kDepositChoice, kNoId, true, kNoId});
    if (offBudget())
        out.push_back({kNoEnvelopeChoice, kNoId, false, kNoId});
    // The accounts the Transfer and Pay Credit Card dialogs list: neither hidden nor read-only.
    std::vector<AccountBase*> accounts = budget_.itemsOfType(ItemType::Account);
    std::stable_sort(accounts.begin(), accounts.end(), byName);
    for (const AccountBase* item : accounts)
        if (!item->isHidden() && !item->isReadOnly() && mayMoveWith(record, item->id()))
            out.push_back(
                {movementText(account_, *static_cast<const Account*>(item), record.amount), kNoId,
                 false, item->id()});
    return out;
}

bool ImportPlan::apply(ImportRecord& record, const RowChoice& choice) const {
    if (choice.account != kNoId) {
        if (!mayMoveWith(record, choice.account))
            return false;
        record.envelopeId = kNoId;
        record.deposit = false;
    } else if (choice.deposit) {
        if (!mayDeposit(record))
            return false;
        record.deposit = true;
    } else {
        record.envelopeId = choice.envelope;
        record.deposit = false;
    }
    record.otherAccount = choice.account;
    record.parts.clear(); // one choice for the row takes the whole amount
    return true;
}

namespace {
// The note of a row that repeats t: a transfer or payment says which movement it was.
QString matchText(const Budget& budget, const Transaction& t, const Account& account) {
    QString text = QStringLiteral("matches %1 %2 %3")
                       .arg(formatDate(t.transactionTime, DateStyle::ShortDate), t.payee,
                            formatAmount(clampAmount(accountChange(t, account.id())), true));
    if (!movesBetweenAccounts(t))
        return text;
    const bool in = t.accountTo == account.id();
    const Account* other = budget.findAccount(in ? t.accountFrom : t.accountTo);
    const QString name = other ? other->getName() : QString();
    const QString what = t.type == TransactionType::Transfer ? QStringLiteral("transfer")
                                                             : QStringLiteral("card payment");
    return text + QStringLiteral(", the %1 %2 %3").arg(what, in ? "from" : "to", name);
}
} // namespace

std::vector<RowState> ImportPlan::evaluate(const std::vector<ImportRecord>& records,
                                           const DateTime& importAfter) const {
    // Every pairing of a row with a transaction it may repeat, the surest first: the bank's
    // own id, then a repeat by amount and day (payee too for whole amounts), then only the
    // same amount close by. Within each, the nearest day, then the closest payee.
    struct Pair {
        int rank; // 0 bank id, 1 repeat, 2 possible repeat
        double days;
        int overlap;
        size_t row;
        size_t candidate;
        const Transaction* t;
    };
    std::vector<Pair> pairs;
    for (size_t row = 0; row < records.size(); ++row) {
        const ImportRecord& r = records[row];
        if (r.tooLarge)
            continue;
        const Transaction* byId = duplicates_.findBankId(r.bankId);
        if (byId)
            pairs.push_back({0, 0.0, 0, row, 0, byId});
        const std::vector<const Transaction*>& same = duplicates_.withRowAmount(r.amount);
        for (size_t i = 0; i < same.size(); ++i) {
            const Transaction* t = same[i];
            if (t == byId)
                continue;
            const double days = daysApart(t->transactionTime, r.date);
            if (days > 5.0)
                continue;
            const int overlap = payeeOverlap(r.incomingPayee, t->payee);
            if (movesBetweenAccounts(*t) || amountOrPayeeMatches(r.amount, r.incomingPayee, *t))
                pairs.push_back({1, days, overlap, row, i, t});
            else if (days <= kPossibleRepeatDays)
                pairs.push_back({2, days, overlap, row, i, t});
        }
        // An occurrence a schedule entered, the bill a little different from its amount.
        if (const Transaction* t = enteredOccurrenceFor(budget_, account_.id(), r))
            pairs.push_back({1, daysApart(t->transactionTime, r.date),
                             payeeOverlap(r.incomingPayee, t->payee), row, same.size(), t});
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        if (a.days != b.days)
            return a.days < b.days;
        if (a.overlap != b.overlap)
            return a.overlap > b.overlap;
        if (a.row != b.row)
            return a.row < b.row;
        return a.candidate < b.candidate;
    });
    std::vector<RowState> states(records.size());
    std::vector<bool> rowTaken(records.size(), false);
    std::unordered_set<const Transaction*> taken;
    for (const Pair& p : pairs) {
        if (rowTaken[p.row] || taken.count(p.t))
            continue;
        rowTaken[p.row] = true;
        taken.insert(p.t);
        (p.rank < 2 ? states[p.row].duplicateOf : states[p.row].possibleRepeatOf) = p.t;
    }

    const double after = toSerialDay(importAfter);
    for (size_t row = 0; row < records.size(); ++row) {
        const ImportRecord& record = records[row];
        RowState& state = states[row];
        state.notAfter = !(toSerialDay(record.date) > after);
        state.checked =
            !state.duplicateOf && !state.possibleRepeatOf && !state.notAfter && !record.tooLarge;
        if (record.tooLarge)
            state.reason = kTooLargeText;
        else if (const Transaction* t = state.duplicateOf)
            state.reason = matchText(budget_, *t, account_);
        else if (state.notAfter && firstImport_ && sameInstant(importAfter, account_.lastImport()))
            state.reason = kBeforeAddedText;
        else if (state.notAfter)
            state.reason = QStringLiteral("on or before %1")
                               .arg(formatDate(importAfter, DateStyle::ShortDate));
        else if (const Transaction* t = state.possibleRepeatOf)
            state.reason = QStringLiteral("same amount as %1 %2, possibly the same")
                               .arg(formatDate(t->transactionTime, DateStyle::ShortDate), t->payee);
    }
    return states;
}

RowState ImportPlan::evaluate(const ImportRecord& record, const DateTime& importAfter) const {
    return evaluate(std::vector<ImportRecord>{record}, importAfter).front();
}

bool ImportPlan::assigned(const ImportRecord& record) const {
    return kind(record) != RowKind::Unassigned;
}

std::vector<std::pair<ItemId, qint64>>
balanceChanges(const ImportPlan& plan, const std::vector<const ImportRecord*>& rows) {
    std::vector<std::pair<ItemId, qint64>> out{{plan.account().id(), 0}};
    const auto add = [&](ItemId id, qint64 change) {
        for (auto& [account, sum] : out)
            if (account == id) {
                sum += change;
                return;
            }
        out.emplace_back(id, change);
    };
    for (const ImportRecord* r : rows) {
        add(plan.account().id(), r->amount);
        const RowKind kind = plan.kind(*r);
        if (kind == RowKind::Transfer || kind == RowKind::CardPayment)
            add(r->otherAccount, -qint64(r->amount));
    }
    return out;
}

QString closingBalanceText(const StatementBalance& closing, Amount after) {
    QString text = QStringLiteral("Statement closing balance on %1: %2")
                       .arg(QLocale().toString(closing.date, QLocale::ShortFormat),
                            formatAmount(closing.amount, true));
    if (after == closing.amount)
        return text + QStringLiteral(" (the same)");
    return text + QStringLiteral(" (differs by %1)")
                      .arg(formatAmount(clampAmount(qint64(after) - closing.amount), true));
}

DateTime latestDate(const std::vector<ImportRecord>& records) {
    DateTime latest;
    for (const ImportRecord& record : records)
        if (!latest.isSet() || isEarlier(latest, record.date))
            latest = record.date;
    return latest;
}

void recordRows(Budget& budget, Account& account, const std::vector<ImportRecord>& chosen,
                const DateTime& latest) {
    std::vector<Transaction> batch;
    batch.reserve(chosen.size());
    std::vector<ImportRecord> recorded;
    {
        const ImportPlan plan(budget, account);
        quint32 splitNumber = nextSplitNumber(budget);
        for (const ImportRecord& record : chosen) {
            const QString payee =
                record.mappedPayee.isEmpty() ? record.incomingPayee : record.mappedPayee;
            // The memo stood in for a missing payee already; it is not repeated below it.
            const QString description =
                record.memo == record.incomingPayee ? QString() : record.memo;
            const ItemId self = account.id();
            const ItemId other = record.otherAccount;
            const Amount amount = record.amount;
            Transaction t;
            switch (plan.kind(record)) {
            case RowKind::Unassigned:
                continue;
            case RowKind::Expense:
                t = makeTransaction(TransactionType::Expense, amount, self, kNoId,
                                    record.envelopeId, payee, description, record.date);
                break;
            case RowKind::Deposit:
                t = makeTransaction(TransactionType::Deposit, amount, kNoId, self, kNoId, payee,
                                    description, record.date);
                break;
            case RowKind::NoEnvelope:
                t = amount > 0 ? makeTransaction(TransactionType::Deposit, amount, kNoId, self,
                                                 kNoId, payee, description, record.date)
                               : makeTransaction(TransactionType::Expense, amount, self, kNoId,
                                                 kNoId, payee, description, record.date);
                break;
            case RowKind::Transfer: {
                // As the Transfer dialog records it: a positive amount from one account to
                // the other, payee "Transfer"; the bank's words stay in the description.
                const QString words = description.isEmpty() ? record.incomingPayee : description;
                t = amount < 0
                        ? makeTransaction(TransactionType::Transfer, negatedAmount(amount), self,
                                          other, kNoId, QStringLiteral("Transfer"), words,
                                          record.date)
                        : makeTransaction(TransactionType::Transfer, amount, other, self, kNoId,
                                          QStringLiteral("Transfer"), words, record.date);
                break;
            }
            case RowKind::CardPayment: {
                // As Pay Credit Card records it: minus the magnitude, from the paying account
                // to the card, out of the card charges envelope, the card's name as payee.
                const QString words = description.isEmpty() ? record.incomingPayee : description;
                const bool intoCard = account.isCCAccount();
                const ItemId card = intoCard ? self : other;
                const AccountBase* cardItem = budget.findItem(card);
                t = makeTransaction(TransactionType::CCPayment,
                                    intoCard ? negatedAmount(amount) : amount,
                                    intoCard ? other : self, card, kChargesEnvelopeId,
                                    cardItem ? cardItem->getName() : QString(), words, record.date);
                break;
            }
            }
            t.bankId = record.bankId;
            setClearedStateOn(t, self, ClearedState::Cleared); // the bank booked it
            recorded.push_back(record);
            if (t.type == TransactionType::Expense && record.parts.size() > 1) {
                for (Transaction& part : importTransactions(t, record, splitNumber))
                    batch.push_back(std::move(part));
                ++splitNumber;
                continue;
            }
            batch.push_back(std::move(t));
        }
    }
    settleScheduledOccurrences(budget, account.id(), recorded);
    if (!chosen.empty() && isEarlier(account.lastImport(), latest))
        account.setLastImport(latest);
    budget.recordTransactions(std::move(batch));
}

QByteArray readStatementBytes(const QString& path, QString* errorText) {
    constexpr qint64 kMaxStatementBytes = 64 * 1024 * 1024;
    QFile file(path);
    QString error;
    QByteArray bytes;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else if (file.size() > kMaxStatementBytes)
        error = QStringLiteral("too large to be a statement (more than 64 MiB)");
    else
        bytes = file.read(kMaxStatementBytes);
    if (errorText)
        *errorText = error;
    return bytes;
}

std::optional<CsvColumns> rememberedCsvColumns(const Account& account) {
    return CsvColumns::fromText(account.statementColumns());
}

void rememberCsvColumns(Account& account, const CsvColumns& columns) {
    account.setStatementColumns(columns.toText());
}
