#include "import/importreview.h"

#include "import/mappayee.h"
#include "model/budget.h"
#include "model/clock.h"
#include "platform/prompter.h"
#include "platform/screen.h"

#include <QDateEdit>
#include <QDateTime>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cmath>

namespace {
constexpr int kMaxText = 1023;
constexpr int kRecordRole = Qt::UserRole;
constexpr int kRuleMatchRole = Qt::UserRole;
constexpr int kRuleEnvelopeRole = Qt::UserRole + 1;

enum TransactionColumn { DateColumn, IncomingColumn, MappedColumn, EnvelopeColumn, AmountColumn };
enum RuleColumn { MatchColumn, PayeeColumn, RuleEnvelopeColumn };

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

// The statement amount that would repeat t in the account: the change t made to the
// account's balance, if it touched the account at all. (Comparing stored amounts with one
// fixed sign would miss repeated deposits and transfers and flag withdrawals against them.)
std::optional<qint64> rowAmountRepeating(const Transaction& t, ItemId account) {
    if (t.accountFrom != account && t.accountTo != account)
        return std::nullopt;
    const qint64 amount = t.amount;
    qint64 change = 0;
    if (t.accountFrom == account)
        change += t.type == TransactionType::Transfer ? -amount : amount;
    if (t.accountTo == account)
        change += t.type == TransactionType::CCPayment ? -amount : amount;
    return change;
}

QString envelopeName(const Budget& budget, ItemId id) {
    if (id == kNoId)
        return QString();
    const AccountBase* item = budget.findItem(id);
    return item ? item->getName() : QString();
}

QTableWidgetItem* cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QTableWidget* makeList(const QStringList& headers, QWidget* parent) {
    auto* table = new QTableWidget(0, int(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setShowGrid(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    applyListFont(table);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

bool askDelete(Prompter* prompter, QWidget* parent) {
    const QString title = QStringLiteral("Confirm delete");
    const QString text =
        QStringLiteral("Are you sure you want to delete the selected mapping rules?");
    if (prompter)
        return prompter->askYesNo(title, text, PromptIcon::Exclamation);
    return QMessageBox::warning(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

// A mapping guessed from an earlier payee is shown slanted, with where it came from, so the
// user sees it before accepting it.
void showGuess(QTableWidgetItem* item, const PayeeMapping& mapping) {
    QFont font = item->font();
    font.setItalic(mapping.isGuess());
    item->setFont(font);
    item->setToolTip(mapping.isGuess()
                         ? QStringLiteral("Guessed from earlier payee '%1'").arg(mapping.guessedFrom)
                         : QString());
}

void inform(Prompter* prompter, QWidget* parent, const QString& title, const QString& text) {
    if (prompter)
        prompter->inform(title, text, PromptIcon::Exclamation);
    else
        QMessageBox::warning(parent, title, text);
}

RuleRequest requestFromRecord(const ImportRecord& record) {
    return {record.incomingPayee, record.mappedPayee, record.matchString, record.envelopeId};
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
    for (const auto& t : budget.transactions()) {
        const std::optional<qint64> repeats = rowAmountRepeating(*t, account);
        if (repeats && *repeats == amount && withinFiveDays(t->transactionTime, date) &&
            amountOrPayeeMatches(amount, payee, *t))
            return t.get();
    }
    return nullptr;
}

DuplicateFinder::DuplicateFinder(const Budget& budget, ItemId account) : budget_(budget) {
    for (const auto& t : budget.transactions())
        if (const std::optional<qint64> repeats = rowAmountRepeating(*t, account))
            byRowAmount_[*repeats].push_back(t.get());
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

void recordImport(Budget& budget, const ImportBatch& batch) {
    Account* account = batch.account;
    for (const ImportRecord& record : batch.chosen) {
        const QString payee =
            record.mappedPayee.isEmpty() ? record.incomingPayee : record.mappedPayee;
        Transaction* t =
            createTransaction(budget, TransactionType::Expense, record.amount, account->id(), kNoId,
                              record.envelopeId, payee, QString(), record.date);
        applyTransaction(budget, *t, false);
        if (isEarlier(account->lastImport(), batch.latest))
            account->setLastImport(batch.latest);
    }
}

ImportReviewDialog::ImportReviewDialog(Budget& budget, ImportBatch& batch, Prompter* prompter,
                                       QWidget* parent)
    : QDialog(parent), budget_(budget), batch_(batch), prompter_(prompter),
      duplicates_(budget, batch.account->id()) {
    setWindowTitle(QStringLiteral("Transaction Import"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("Transactions:"), this));
    transactions_ = makeList({QStringLiteral("Date"), QStringLiteral("Payee (incoming)"),
                              QStringLiteral("Payee (mapped)"), QStringLiteral("Envelope"),
                              QStringLiteral("Amount")},
                             this);
    transactions_->setObjectName(QStringLiteral("transactions"));
    transactions_->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(transactions_, 3);

    auto* hint = new QLabel(
        QStringLiteral("Double click a transaction to map the payee and envelope. Tallykeep will "
                       "remember mappings for future imports. All transactions must be assigned "
                       "to an envelope."),
        this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(new QLabel(QStringLiteral("Import transactions after:"), this));
    picker_ = new QDateEdit(this);
    picker_->setObjectName(QStringLiteral("after"));
    picker_->setCalendarPopup(true);
    picker_->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    pickerRow->addWidget(picker_);
    pickerRow->addStretch(1);
    layout->addLayout(pickerRow);

    balance_ = new QLabel(QStringLiteral("Balance before and after"), this);
    balance_->setObjectName(QStringLiteral("balance"));
    balance_->setTextFormat(Qt::PlainText);
    balance_->setWordWrap(true);
    balance_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(balance_);

    layout->addWidget(new QLabel(QStringLiteral("Transaction mapping rules:"), this));
    rules_ = makeList({QStringLiteral("Payee match string"), QStringLiteral("Tallykeep payee name"),
                       QStringLiteral("Envelope")},
                      this);
    rules_->setObjectName(QStringLiteral("rules"));
    rules_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(rules_, 2);

    auto* buttons = new QHBoxLayout;
    addRule_ = new QPushButton(QStringLiteral("Add rule..."), this);
    editRule_ = new QPushButton(QStringLiteral("Edit rule..."), this);
    deleteRule_ = new QPushButton(QStringLiteral("Delete rule..."), this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    for (QPushButton* button : {addRule_, editRule_, deleteRule_, cancel})
        button->setAutoDefault(false);
    ok_->setDefault(true);
    buttons->addWidget(addRule_);
    buttons->addWidget(editRule_);
    buttons->addWidget(deleteRule_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(addRule_, &QPushButton::clicked, this, &ImportReviewDialog::addRule);
    connect(editRule_, &QPushButton::clicked, this, &ImportReviewDialog::editRule);
    connect(deleteRule_, &QPushButton::clicked, this, &ImportReviewDialog::deleteRules);
    connect(ok_, &QPushButton::clicked, this, &ImportReviewDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(transactions_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { mapRow(row); });
    connect(rules_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { editRule(); });
    connect(transactions_, &QTableWidget::itemChanged, this, [this] {
        if (!busy_)
            updateBalanceAndButtons();
    });
    for (QTableWidget* table : {transactions_, rules_})
        connect(table, &QTableWidget::itemSelectionChanged, this, [this] {
            if (!busy_)
                updateBalanceAndButtons();
        });

    resize(fontMetrics().averageCharWidth() * 120, fontMetrics().height() * 40);

    // Opening: rules, the date of the last import (else today), then the statement rows.
    fillRules();
    const DateTime& last = batch_.account->lastImport();
    const QDateTime lastImport = toQDateTime(last);
    if (last.isSet() && lastImport.isValid()) {
        picker_->setDate(lastImport.date());
        pickerTime_ = lastImport.time();
    } else {
        const QDateTime now = toQDateTime(Clock::now());
        picker_->setDate(now.date());
        pickerTime_ = now.time();
    }
    fillTransactions();
    connect(picker_, &QDateEdit::dateChanged, this, &ImportReviewDialog::fillTransactions);
}

double ImportReviewDialog::pickerSerial() const {
    return toSerialDay(fromQDateTime(QDateTime(picker_->date(), pickerTime_)));
}

void ImportReviewDialog::fitColumns(QTableWidget* table) {
    table->resizeColumnsToContents();
}

void ImportReviewDialog::fillRules() {
    busy_ = true;
    rules_->setRowCount(0);
    const std::vector<PayeeMappingRule> rules = budget_.rules().rules();
    rules_->setRowCount(int(rules.size()));
    for (int row = 0; row < int(rules.size()); ++row) {
        const PayeeMappingRule& rule = rules[size_t(row)];
        QTableWidgetItem* match = cell(rule.match);
        match->setData(kRuleMatchRole, rule.match);
        match->setData(kRuleEnvelopeRole, QVariant::fromValue<quint32>(rule.envelopeId));
        rules_->setItem(row, MatchColumn, match);
        rules_->setItem(row, PayeeColumn, cell(rule.payee));
        rules_->setItem(row, RuleEnvelopeColumn, cell(envelopeName(budget_, rule.envelopeId)));
    }
    fitColumns(rules_);
    busy_ = false;
}

void ImportReviewDialog::fillTransactions() {
    busy_ = true;
    transactions_->setRowCount(0);
    const double after = pickerSerial();
    const PayeeMapper mapper(budget_);
    transactions_->setRowCount(int(batch_.records.size()));
    for (int row = 0; row < int(batch_.records.size()); ++row) {
        ImportRecord& record = batch_.records[size_t(row)];
        if (!batch_.latest.isSet() || isEarlier(batch_.latest, record.date))
            batch_.latest = record.date;
        const bool isAfter = toSerialDay(record.date) > after;
        const bool duplicate =
            duplicates_.find(record.incomingPayee, record.amount, record.date) != nullptr;
        const PayeeMapping mapping = mapper.map(record.incomingPayee);
        record.mappedPayee = mapping.payee;
        record.envelopeId = mapping.envelopeId;

        QTableWidgetItem* date = cell(formatDate(record.date, DateStyle::ShortDate));
        date->setFlags(date->flags() | Qt::ItemIsUserCheckable);
        date->setCheckState(!duplicate && isAfter ? Qt::Checked : Qt::Unchecked);
        date->setData(kRecordRole, row);
        transactions_->setItem(row, DateColumn, date);
        transactions_->setItem(row, IncomingColumn, cell(record.incomingPayee));
        transactions_->setItem(row, MappedColumn, cell(record.mappedPayee));
        transactions_->setItem(row, EnvelopeColumn, cell(envelopeName(budget_, record.envelopeId)));
        showGuess(transactions_->item(row, MappedColumn), mapping);
        showGuess(transactions_->item(row, EnvelopeColumn), mapping);
        QTableWidgetItem* amount = cell(formatAmount(record.amount, true));
        amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        transactions_->setItem(row, AmountColumn, amount);
    }
    fitColumns(transactions_);
    busy_ = false;
    updateBalanceAndButtons();
}

void ImportReviewDialog::remapRows() {
    busy_ = true;
    const PayeeMapper mapper(budget_);
    for (int row = 0; row < transactions_->rowCount(); ++row) {
        ImportRecord& record = batch_.records[size_t(row)];
        const PayeeMapping mapping = mapper.map(record.incomingPayee);
        record.mappedPayee = mapping.payee;
        record.envelopeId = mapping.envelopeId;
        transactions_->item(row, IncomingColumn)->setText(record.incomingPayee);
        transactions_->item(row, MappedColumn)->setText(record.mappedPayee);
        transactions_->item(row, EnvelopeColumn)->setText(envelopeName(budget_, record.envelopeId));
        showGuess(transactions_->item(row, MappedColumn), mapping);
        showGuess(transactions_->item(row, EnvelopeColumn), mapping);
    }
    fitColumns(transactions_);
    busy_ = false;
    updateBalanceAndButtons();
}

void ImportReviewDialog::updateBalanceAndButtons() {
    qint64 sum = 0;
    bool allAssigned = true;
    for (int row = 0; row < transactions_->rowCount(); ++row) {
        if (transactions_->item(row, DateColumn)->checkState() != Qt::Checked)
            continue;
        const ImportRecord& record = batch_.records[size_t(row)];
        sum += record.amount;
        // An envelope that is gone is no assignment: the row would be recorded into nothing.
        if (!budget_.findEnvelope(record.envelopeId))
            allAssigned = false;
    }
    const Amount after = clampAmount(qint64(batch_.account->getBalance()) + sum);
    balance_->setText(QStringLiteral("Account %1 will have a balance of %2 after importing "
                                     "selected transactions\n")
                          .arg(batch_.account->getName(), formatAmount(after, true))
                          .left(kMaxText));

    const QModelIndexList selectedRules = rules_->selectionModel()->selectedRows();
    editRule_->setEnabled(selectedRules.size() == 1);
    deleteRule_->setEnabled(!selectedRules.isEmpty());
    ok_->setEnabled(allAssigned);
}

void ImportReviewDialog::mapRow(int row) {
    if (row < 0 || row >= int(batch_.records.size()))
        return;
    ImportRecord& record = batch_.records[size_t(row)];
    RuleRequest request = requestFromRecord(record);
    if (!RuleEditorDialog::edit(budget_, request, this))
        return;
    record.incomingPayee = request.incomingText;
    record.mappedPayee = request.payee;
    record.matchString = request.matchString;
    record.envelopeId = request.envelopeId;
    remapRows();
    fillRules();
}

void ImportReviewDialog::addRule() {
    RuleRequest request;
    if (!RuleEditorDialog::edit(budget_, request, this))
        return;
    fillRules();
    remapRows();
}

void ImportReviewDialog::editRule() {
    QModelIndexList selected = rules_->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    std::sort(selected.begin(), selected.end());
    const int row = selected.front().row();
    QTableWidgetItem* matchCell = rules_->item(row, MatchColumn);
    RuleRequest request;
    // The whole match string, so that a stored pattern longer than a field can still be
    // replaced rather than left behind beside its edited copy.
    request.incomingText = matchCell->text();
    request.envelopeId = matchCell->data(kRuleEnvelopeRole).value<quint32>();
    if (!RuleEditorDialog::edit(budget_, request, this))
        return;
    if (const PayeeMappingRule* rule = budget_.rules().find(request.matchString)) {
        busy_ = true;
        matchCell->setText(rule->match);
        matchCell->setData(kRuleMatchRole, rule->match);
        matchCell->setData(kRuleEnvelopeRole, QVariant::fromValue<quint32>(rule->envelopeId));
        rules_->item(row, PayeeColumn)->setText(rule->payee);
        rules_->item(row, RuleEnvelopeColumn)->setText(envelopeName(budget_, request.envelopeId));
        // Storing the rule also dropped the rules that differed only in letter case; their
        // rows would otherwise go on showing rules that no longer map anything.
        for (int other = rules_->rowCount() - 1; other >= 0; --other)
            if (other != row && !budget_.rules().find(rules_->item(other, MatchColumn)->text()))
                rules_->removeRow(other);
        busy_ = false;
    }
    remapRows();
}

void ImportReviewDialog::deleteRules() {
    if (rules_->selectionModel()->selectedRows().isEmpty())
        return;
    if (!askDelete(prompter_, this))
        return;
    busy_ = true;
    for (;;) {
        QModelIndexList selected = rules_->selectionModel()->selectedRows();
        if (selected.isEmpty())
            break;
        std::sort(selected.begin(), selected.end());
        const int row = selected.front().row();
        budget_.rules().removeRulesEqualTo(rules_->item(row, MatchColumn)->text());
        rules_->removeRow(row);
    }
    busy_ = false;
    fillRules();
    remapRows();
}

void ImportReviewDialog::confirm() {
    if (!ok_->isEnabled())
        return;
    batch_.chosen.clear();
    for (int row = 0; row < transactions_->rowCount(); ++row)
        if (transactions_->item(row, DateColumn)->checkState() == Qt::Checked)
            batch_.chosen.push_back(batch_.records[size_t(row)]);
    accept();
}

bool importTransactions(Budget& budget, Account* account, const ImportHooks& hooks) {
    if (!account)
        return false;
    const QString path = hooks.chooseFile
                             ? hooks.chooseFile()
                             : QFileDialog::getOpenFileName(hooks.parent, QString(), QString(),
                                                            QStringLiteral("QIF (*.qif)"));
    if (path.isEmpty())
        return false;

    ImportBatch batch;
    batch.account = account;
    StatementSkips skips;
    const quint32 status = readQifFile(path, batch.records, &skips);
    const QString title = QStringLiteral("Transaction Import");
    if (status == EFBIG) {
        inform(hooks.prompter, hooks.parent, title, tooManyTransactionsMessage(kMaxQifRecords));
        return false;
    }
    // Unreadable files and statements without anything in them end the command quietly;
    // whatever was left out of a statement is told before the review opens.
    if (status != 0)
        return false;
    if (skips.total() > 0)
        inform(hooks.prompter, hooks.parent, title, skippedRecordsMessage(skips));
    if (batch.records.empty())
        return false;
    {
        ImportReviewDialog dialog(budget, batch, hooks.prompter, hooks.parent);
        if (DialogDriver::exec(&dialog) != QDialog::Accepted)
            return false;
    }
    recordImport(budget, batch);
    budget.sortTransactionsByTime();
    if (hooks.refreshTexts)
        hooks.refreshTexts();
    if (hooks.rebuildTransactionList)
        hooks.rebuildTransactionList();
    if (hooks.saveBudget)
        hooks.saveBudget();
    return true;
}
