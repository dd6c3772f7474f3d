#include "import/importplan.h"
#include "import/schedulematch.h"

#include "import/mappayee.h"
#include "model/budget.h"
#include "model/clock.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <cmath>

namespace {
bool withinFiveDays(const DateTime& a, const DateTime& b) {
    return std::floor(std::fabs(toSerialDay(a) - toSerialDay(b))) <= 5.0;
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
    for (const auto& t : budget.transactions())
        if (const std::optional<qint64> repeats = rowAmountRepeating(*t, account)) {
            byRowAmount_[*repeats].push_back(t);
            if (!t->bankId.isEmpty() && !byBankId_.contains(t->bankId))
                byBankId_.insert(t->bankId, t);
        }
}

const Transaction* DuplicateFinder::findBankId(const QString& bankId) const {
    return bankId.isEmpty() ? nullptr : byBankId_.value(bankId, nullptr);
}

const Transaction* DuplicateFinder::find(const QString& payee, Amount amount,
                                         const DateTime& date) const {
    const auto it = byRowAmount_.constFind(amount);
    if (it == byRowAmount_.cend())
        return nullptr;
    for (const Transaction* t : *it)
        if (withinFiveDays(t->transactionTime, date) && amountOrPayeeMatches(amount, payee, *t))
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
    for (ImportRecord& record : records) {
        const PayeeMapping mapping = mapper.map(record.incomingPayee);
        record.mappedPayee = mapping.payee;
        record.envelopeId = mapping.envelopeId;
        record.deposit = mapping.deposit && mayDeposit(record);
    }
    mapRowsToSchedules(budget_, account_.id(), records);
}

bool ImportPlan::mayDeposit(const ImportRecord& record) const {
    return record.amount > 0 && !account_.isCCAccount();
}

RowState ImportPlan::evaluate(const ImportRecord& record, const DateTime& importAfter) const {
    RowState state;
    // The bank's own id of a transaction imported before settles it, whatever the amount
    // and date say; without one, the same money about the same day does.
    state.duplicateOf = duplicates_.findBankId(record.bankId);
    if (!state.duplicateOf)
        state.duplicateOf = duplicates_.find(record.incomingPayee, record.amount, record.date);
    if (!state.duplicateOf)
        state.duplicateOf = enteredOccurrenceFor(budget_, account_.id(), record);
    state.notAfter = !(toSerialDay(record.date) > toSerialDay(importAfter));
    state.checked = !state.duplicateOf && !state.notAfter && !record.tooLarge;
    if (record.tooLarge)
        state.reason = kTooLargeText;
    else if (const Transaction* t = state.duplicateOf)
        state.reason = QStringLiteral("matches %1 %2 %3")
                           .arg(formatDate(t->transactionTime, DateStyle::ShortDate), t->payee,
                                formatAmount(clampAmount(accountChange(*t, account_.id())), true));
    else if (state.notAfter && firstImport_ && sameInstant(importAfter, account_.lastImport()))
        state.reason = kBeforeAddedText;
    else if (state.notAfter)
        state.reason =
            QStringLiteral("on or before %1").arg(formatDate(importAfter, DateStyle::ShortDate));
    return state;
}

bool ImportPlan::assigned(const ImportRecord& record) const {
    if (record.deposit)
        return mayDeposit(record);
    // An envelope that is gone is no assignment: the row would be recorded into nothing.
    return budget_.findEnvelope(record.envelopeId) != nullptr;
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
    settleScheduledOccurrences(budget, account.id(), chosen);
    std::vector<Transaction> batch;
    batch.reserve(chosen.size());
    for (const ImportRecord& record : chosen) {
        const QString payee =
            record.mappedPayee.isEmpty() ? record.incomingPayee : record.mappedPayee;
        // The memo stood in for a missing payee already; it is not repeated below it.
        const QString description = record.memo == record.incomingPayee ? QString() : record.memo;
        Transaction t =
            record.deposit
                ? makeTransaction(TransactionType::Deposit, record.amount, kNoId, account.id(),
                                  kNoId, payee, description, record.date)
                : makeTransaction(TransactionType::Expense, record.amount, account.id(), kNoId,
                                  record.envelopeId, payee, description, record.date);
        t.bankId = record.bankId;
        batch.push_back(std::move(t));
    }
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
