#include "gui/importreview.h"

#include "gui/csvmappingdialog.h"
#include "import/importsplits.h"
#include "import/mappayee.h"
#include "import/schedulematch.h"
#include "import/statementcheckpoint.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "platform/datefield.h"
#include "platform/screen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyledItemDelegate>
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

enum TransactionColumn {
    DateColumn,
    IncomingColumn,
    MappedColumn,
    EnvelopeColumn,
    AmountColumn,
    NoteColumn
};
enum RuleColumn { MatchColumn, PayeeColumn, RuleEnvelopeColumn };

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
    item->setToolTip(
        mapping.isGuess()
            ? QStringLiteral("Guessed from earlier payee '%1'").arg(mapping.guessedFrom)
            : QString());
}

void inform(Prompter* prompter, QWidget* parent, const QString& title, const QString& text) {
    if (prompter)
        prompter->inform(title, text, PromptIcon::Exclamation);
    else
        QMessageBox::warning(parent, title, text);
}

// The review's size and split, kept in memory for the session and, once the program names its
// view-state file, in that file.
struct LayoutMemory {
    QByteArray geometry;
    QByteArray split;
};

QString& layoutFile() {
    static QString file;
    return file;
}

LayoutMemory& layoutInMemory() {
    static LayoutMemory memory;
    return memory;
}

LayoutMemory rememberedLayout() {
    if (layoutFile().isEmpty())
        return layoutInMemory();
    const QSettings settings(layoutFile(), QSettings::IniFormat);
    return {settings.value(QStringLiteral("ImportReview/geometry")).toByteArray(),
            settings.value(QStringLiteral("ImportReview/split")).toByteArray()};
}

void rememberLayout(const LayoutMemory& layout) {
    layoutInMemory() = layout;
    if (layoutFile().isEmpty())
        return;
    QSettings settings(layoutFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("ImportReview/geometry"), layout.geometry);
    settings.setValue(QStringLiteral("ImportReview/split"), layout.split);
}

RuleRequest requestFromRecord(const ImportRecord& record) {
    return {record.incomingPayee, record.mappedPayee, record.matchString, record.envelopeId,
            record.deposit};
}

// The envelope cell opens the row's envelope choice; what is chosen goes through the
// dialog, which may have to open the "Envelope" dialog first.
class EnvelopeChoiceDelegate : public QStyledItemDelegate {
public:
    explicit EnvelopeChoiceDelegate(ImportReviewDialog* dialog)
        : QStyledItemDelegate(dialog), dialog_(dialog) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* combo = new QComboBox(parent);
        combo->addItems(dialog_->envelopeChoices(index.row()));
        // One pick is the whole edit.
        connect(combo, &QComboBox::activated, combo, [this, combo] {
            auto* self = const_cast<EnvelopeChoiceDelegate*>(this);
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* combo = static_cast<QComboBox*>(editor);
        combo->setCurrentIndex(combo->findText(index.data().toString()));
    }
    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        const int choice = static_cast<QComboBox*>(editor)->currentIndex();
        if (choice < 0)
            return;
        // After the editor is gone: the choice may open a modal dialog.
        QMetaObject::invokeMethod(
            dialog_, [dialog = dialog_, row = index.row(), choice] { dialog->choose(row, choice); },
            Qt::QueuedConnection);
    }

private:
    ImportReviewDialog* dialog_;
};
} // namespace

void recordImport(Budget& budget, const ImportBatch& batch) {
    recordRows(budget, *batch.account, batch.chosen, batch.latest);
    keepStatementBalance(*batch.account, batch.closing);
}

ImportReviewDialog::ImportReviewDialog(Budget& budget, ImportBatch& batch, Prompter* prompter,
                                       QWidget* parent, std::function<ItemId(ItemId)> newEnvelope)
    : QDialog(parent), budget_(budget), batch_(batch), prompter_(prompter),
      plan_(budget, *batch.account), newEnvelope_(std::move(newEnvelope)) {
    setWindowTitle(QStringLiteral("Transaction Import"));
    auto* layout = new QVBoxLayout(this);
    // The statement rows and the rules share the height; the rows get what the rules, shown
    // at their own height, leave.
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("split"));
    splitter_->setChildrenCollapsible(false);
    auto* upper = new QWidget(splitter_);
    auto* lower = new QWidget(splitter_);
    auto* top = new QVBoxLayout(upper);
    auto* bottom = new QVBoxLayout(lower);
    top->setContentsMargins(0, 0, 0, 0);
    bottom->setContentsMargins(0, 0, 0, 0);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    layout->addWidget(splitter_, 1);

    top->addWidget(new QLabel(QStringLiteral("Transactions:"), this));
    transactions_ = makeList({QStringLiteral("Date"), QStringLiteral("Payee (incoming)"),
                              QStringLiteral("Payee (mapped)"), QStringLiteral("Envelope"),
                              QStringLiteral("Amount"), QStringLiteral("Note")},
                             this);
    transactions_->setObjectName(QStringLiteral("transactions"));
    transactions_->setSelectionMode(QAbstractItemView::SingleSelection);
    transactions_->setItemDelegateForColumn(EnvelopeColumn, new EnvelopeChoiceDelegate(this));
    // A click on the selected row's envelope opens its choice; a double-click maps the row.
    transactions_->setEditTriggers(QAbstractItemView::SelectedClicked |
                                   QAbstractItemView::EditKeyPressed);
    top->addWidget(transactions_, 1);

    auto* hint = new QLabel(
        QStringLiteral("Double click a transaction to map the payee and envelope. Tallykeep will "
                       "remember mappings for future imports. All transactions must be assigned "
                       "to an envelope."),
        this);
    hint->setWordWrap(true);
    top->addWidget(hint);

    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(new QLabel(QStringLiteral("Import transactions after:"), this));
    picker_ = new DateField(this);
    picker_->setObjectName(QStringLiteral("after"));
    picker_->setCalendarPopup(true);
    pickerRow->addWidget(picker_);
    pickerRow->addStretch(1);
    if (batch_.chargesChoice) {
        // Turning the choice turns every amount; the checks and the balance follow.
        charges_ = new QCheckBox(kChargesText, this);
        charges_->setChecked(batch_.charges);
        pickerRow->addWidget(charges_);
        connect(charges_, &QCheckBox::toggled, this, [this](bool on) {
            if (on == batch_.charges)
                return;
            batch_.charges = on;
            turnAmounts(batch_.records);
            for (int row = 0; row < transactions_->rowCount(); ++row)
                transactions_->item(row, AmountColumn)
                    ->setText(formatAmount(batch_.records[size_t(row)].amount, true));
            remapRows();
            refreshChecks();
        });
    }
    top->addLayout(pickerRow);

    balance_ = new QLabel(QStringLiteral("Balance before and after"), this);
    balance_->setObjectName(QStringLiteral("balance"));
    balance_->setTextFormat(Qt::PlainText);
    balance_->setWordWrap(true);
    balance_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    top->addWidget(balance_);

    bottom->addWidget(new QLabel(QStringLiteral("Transaction mapping rules:"), this));
    rules_ = makeList({QStringLiteral("Payee match string"), QStringLiteral("Tallykeep payee name"),
                       QStringLiteral("Envelope")},
                      this);
    rules_->setObjectName(QStringLiteral("rules"));
    rules_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Room for a rule even with none, so that the list reads as a list.
    rules_->setMinimumHeight(rules_->horizontalHeader()->sizeHint().height() +
                             rules_->verticalHeader()->defaultSectionSize() +
                             2 * rules_->frameWidth());
    bottom->addWidget(rules_, 1);

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

    // Opening: rules, the import-after date, then the statement rows.
    fillRules();
    const QDateTime after = toQDateTime(plan_.defaultImportAfter(batch_.records));
    picker_->setDate(after.date());
    pickerTime_ = after.time();
    fillTransactions();
    // A new date refills the list: the mappings anew (except what the user chose in the
    // list), the automatic checks and their reasons.
    connect(picker_, &QDateEdit::dateChanged, this, [this] {
        remapRows();
        refreshChecks();
    });
    const LayoutMemory memory = rememberedLayout();
    if (memory.geometry.isEmpty() || !restoreGeometry(memory.geometry))
        fitToScreen();
    restoredSplit_ = memory.split;
}

void ImportReviewDialog::rememberLayoutIn(const QString& iniFile) {
    layoutFile() = iniFile;
    layoutInMemory() = {};
}

void ImportReviewDialog::done(int result) {
    if (isVisible())
        rememberLayout({saveGeometry(), splitter_->saveState()});
    QDialog::done(result);
}

// The rules list at the height of its rules (one at least).
int ImportReviewDialog::rulesContentHeight() const {
    const int rows = std::max(1, rules_->rowCount());
    return rules_->horizontalHeader()->sizeHint().height() +
           rows * rules_->verticalHeader()->defaultSectionSize() + 2 * rules_->frameWidth();
}

void ImportReviewDialog::placeSplit() {
    if (splitPlaced_)
        return;
    splitPlaced_ = true;
    if (!restoredSplit_.isEmpty() && splitter_->restoreState(restoredSplit_))
        return;
    const int total = splitter_->height();
    QWidget* lower = splitter_->widget(1);
    const int label = lower->layout()->itemAt(0)->sizeHint().height() + lower->layout()->spacing();
    // A long rules list takes a quarter of the split at most: the statement rows come first.
    const int wanted = std::min(total / 4, label + rulesContentHeight());
    splitter_->setSizes({total - wanted, wanted});
}

DateTime ImportReviewDialog::importAfter() const {
    return fromQDateTime(QDateTime(picker_->date(), pickerTime_));
}

void ImportReviewDialog::fitColumns(QTableWidget* table) {
    table->resizeColumnsToContents();
    // The rules' last column, like the statement's note column below, takes the room left.
    table->horizontalHeader()->setStretchLastSection(table != transactions_);
    if (table != transactions_ || !isVisible())
        return;
    // On a screen too narrow for every column the payee and note columns give up room
    // (their texts end in "...", the whole text is in the tooltip), down to their headings,
    // so that every column stays in view.
    const int available = transactions_->viewport()->width();
    int total = 0;
    for (int c = 0; c < transactions_->columnCount(); ++c)
        total += transactions_->columnWidth(c);
    const int squeezable[] = {IncomingColumn, MappedColumn, NoteColumn};
    int spare = 0;
    for (int c : squeezable)
        spare += std::max(0, transactions_->columnWidth(c) -
                                 transactions_->horizontalHeader()->sectionSizeHint(c));
    const int excess = total - available;
    if (excess < 0)
        transactions_->setColumnWidth(NoteColumn, transactions_->columnWidth(NoteColumn) - excess);
    if (excess <= 0 || spare <= 0)
        return;
    for (int c : squeezable) {
        const int width = transactions_->columnWidth(c);
        const int own = std::max(0, width - transactions_->horizontalHeader()->sectionSizeHint(c));
        // Rounded up, so that the columns end inside the view.
        const qint64 cut = (qint64(own) * std::min(excess, spare) + spare - 1) / spare;
        transactions_->setColumnWidth(c, width - int(cut));
    }
}

void ImportReviewDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitColumns(transactions_);
}

void ImportReviewDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    placeSplit();
    fitColumns(transactions_);
}

// Most of the screen's height, and wide enough for every column of the statement rows.
void ImportReviewDialog::fitToScreen() {
    const QScreen* screen = this->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    int columns =
        transactions_->verticalScrollBar()->sizeHint().width() + 2 * transactions_->frameWidth();
    for (int c = 0; c < transactions_->columnCount(); ++c)
        columns += transactions_->columnWidth(c);
    const QMargins margins = layout()->contentsMargins();
    const int width = std::max(columns + margins.left() + margins.right(),
                               fontMetrics().averageCharWidth() * 100);
    resize(std::min(width, available.width() * 95 / 100), available.height() * 85 / 100);
}

QStringList ImportReviewDialog::envelopeChoices(int row) const {
    QStringList choices;
    if (row >= 0 && row < int(batch_.records.size()))
        for (const RowChoice& choice : plan_.choices(batch_.records[size_t(row)]))
            choices << choice.text;
    if (newEnvelope_)
        choices << kNewEnvelopeChoice;
    if (splitRow_)
        choices << kSplitChoice;
    return choices;
}

void ImportReviewDialog::choose(int row, int index) {
    if (row < 0 || row >= int(batch_.records.size()) || index < 0)
        return;
    const std::vector<RowChoice> choices = plan_.choices(batch_.records[size_t(row)]);
    if (index < int(choices.size()))
        setRowChoice(row, choices[size_t(index)]);
    else if (index == int(choices.size()) && newEnvelope_)
        chooseNewEnvelope(row);
    else if (index == int(choices.size()) + (newEnvelope_ ? 1 : 0) && splitRow_)
        chooseSplit(row);
}

bool ImportReviewDialog::chooseSplit(int row) {
    if (!splitRow_ || row < 0 || row >= int(batch_.records.size()))
        return false;
    ImportRecord& record = batch_.records[size_t(row)];
    std::vector<ImportPart> parts = record.parts;
    if (parts.empty())
        parts.push_back(ImportPart{QString(), QString(), 0, record.envelopeId});
    if (!splitRow_(record.amount, parts) || parts.empty())
        return false;
    if (parts.size() == 1) {
        chooseEnvelope(row, parts.front().envelopeId);
        return true;
    }
    record.parts = std::move(parts);
    record.deposit = false;
    record.otherAccount = kNoId;
    byHand_[size_t(row)] = true;
    showMapping(row, false, QString());
    fitColumns(transactions_);
    updateBalanceAndButtons();
    return true;
}

void ImportReviewDialog::chooseEnvelope(int row, ItemId envelope) {
    setRowChoice(row, RowChoice{QString(), envelope, false, kNoId});
}

void ImportReviewDialog::chooseDeposit(int row) {
    setRowChoice(row, RowChoice{kDepositChoice, kNoId, true, kNoId});
}

// A row's envelope or kind as the user chose it in the list; one the row cannot take (a
// deposit of money going out) leaves it as it was.
void ImportReviewDialog::setRowChoice(int row, const RowChoice& choice) {
    if (row < 0 || row >= int(batch_.records.size()))
        return;
    if (!plan_.apply(batch_.records[size_t(row)], choice))
        return;
    byHand_[size_t(row)] = true;
    showMapping(row, false, QString());
    fitColumns(transactions_);
    updateBalanceAndButtons();
}

bool ImportReviewDialog::chooseNewEnvelope(int row) {
    if (!newEnvelope_ || row < 0 || row >= int(batch_.records.size()))
        return false;
    const ItemId envelope = newEnvelope_(batch_.records[size_t(row)].envelopeId);
    if (envelope == kNoId || !budget_.findEnvelope(envelope))
        return false;
    chooseEnvelope(row, envelope);
    return true;
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
        rules_->setItem(row, RuleEnvelopeColumn, cell(ruleTargetText(budget_, rule)));
    }
    fitColumns(rules_);
    busy_ = false;
}

// Shows a row's payees, envelope (or deposit) and whether that was only guessed.
void ImportReviewDialog::showMapping(int row, bool guess, const QString& guessedFrom) {
    const ImportRecord& record = batch_.records[size_t(row)];
    const bool wasBusy = busy_;
    busy_ = true;
    transactions_->item(row, IncomingColumn)->setText(record.incomingPayee);
    transactions_->item(row, IncomingColumn)->setToolTip(record.incomingPayee);
    transactions_->item(row, MappedColumn)->setText(record.mappedPayee);
    QTableWidgetItem* envelope = transactions_->item(row, EnvelopeColumn);
    envelope->setText(plan_.choiceText(record));
    PayeeMapping mapping;
    mapping.guessed = guess;
    mapping.guessedFrom = guessedFrom;
    mapping.envelopeId = guess ? record.envelopeId : kNoId;
    showGuess(transactions_->item(row, MappedColumn), mapping);
    showGuess(envelope, mapping);
    busy_ = wasBusy;
}

void ImportReviewDialog::fillTransactions() {
    busy_ = true;
    transactions_->setRowCount(0);
    batch_.latest = latestDate(batch_.records);
    byHand_.assign(batch_.records.size(), false);
    const PayeeMapper mapper(budget_);
    transactions_->setRowCount(int(batch_.records.size()));
    for (int row = 0; row < int(batch_.records.size()); ++row) {
        const ImportRecord& record = batch_.records[size_t(row)];
        QTableWidgetItem* date = cell(formatDate(record.date, DateStyle::ShortDate));
        // A clamped amount is no transaction: its row cannot be ticked.
        if (!record.tooLarge)
            date->setFlags(date->flags() | Qt::ItemIsUserCheckable);
        date->setData(kRecordRole, row);
        transactions_->setItem(row, DateColumn, date);
        transactions_->setItem(row, IncomingColumn, cell(QString()));
        transactions_->setItem(row, MappedColumn, cell(QString()));
        QTableWidgetItem* envelope = cell(QString());
        envelope->setFlags(envelope->flags() | Qt::ItemIsEditable);
        transactions_->setItem(row, EnvelopeColumn, envelope);
        mapFromHistory(row, mapper);
        QTableWidgetItem* amount = cell(formatAmount(record.amount, true));
        amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        transactions_->setItem(row, AmountColumn, amount);
        transactions_->setItem(row, NoteColumn, cell(QString()));
    }
    busy_ = false;
    refreshChecks();
}

// A row mapped by the rules, else by an earlier payee of the same direction, else by the
// schedule occurrence it settles.
void ImportReviewDialog::mapFromHistory(int row, const PayeeMapper& mapper) {
    ImportRecord& record = batch_.records[size_t(row)];
    const PayeeMapping mapping = plan_.mapRow(record, mapper);
    std::vector<ImportRecord> one{record};
    mapRowsToSchedules(budget_, batch_.account->id(), one);
    record = one.front();
    showMapping(row, mapping.isGuess(), mapping.guessedFrom);
}

// Each row's automatic check and, for an unticked row, why.
void ImportReviewDialog::refreshChecks() {
    busy_ = true;
    const std::vector<RowState> states = plan_.evaluate(batch_.records, importAfter());
    for (int row = 0; row < transactions_->rowCount(); ++row) {
        const RowState& state = states[size_t(row)];
        transactions_->item(row, DateColumn)
            ->setCheckState(state.checked ? Qt::Checked : Qt::Unchecked);
        QTableWidgetItem* note = transactions_->item(row, NoteColumn);
        note->setText(state.reason);
        note->setToolTip(state.reason);
    }
    fitColumns(transactions_);
    busy_ = false;
    updateBalanceAndButtons();
}

void ImportReviewDialog::remapRows() {
    busy_ = true;
    const PayeeMapper mapper(budget_);
    for (int row = 0; row < transactions_->rowCount(); ++row) {
        // What the user chose in the list stays until the row itself is mapped again.
        if (byHand_[size_t(row)])
            continue;
        mapFromHistory(row, mapper);
    }
    fitColumns(transactions_);
    busy_ = false;
    updateBalanceAndButtons();
}

void ImportReviewDialog::updateBalanceAndButtons() {
    std::vector<const ImportRecord*> checked;
    bool allAssigned = true;
    for (int row = 0; row < transactions_->rowCount(); ++row) {
        if (transactions_->item(row, DateColumn)->checkState() != Qt::Checked)
            continue;
        const ImportRecord& record = batch_.records[size_t(row)];
        checked.push_back(&record);
        if (!plan_.assigned(record))
            allAssigned = false;
    }
    // The account imported into, with the statement's closing balance beside it, then every
    // account a transfer or card payment also moves.
    QStringList lines;
    for (const auto& [id, change] : balanceChanges(plan_, checked)) {
        const Account* account = budget_.findAccount(id);
        if (!account)
            continue;
        const Amount after = clampAmount(qint64(account->getBalance()) + change);
        if (account == batch_.account) {
            lines << QStringLiteral("Account %1 will have a balance of %2 after importing "
                                    "selected transactions\n")
                         .arg(account->getName(), formatAmount(after, true))
                         .left(kMaxText);
            if (batch_.closing)
                lines << closingBalanceText(*batch_.closing, after);
        } else {
            lines << QStringLiteral("Account %1 will have a balance of %2")
                         .arg(account->getName(), formatAmount(after, true));
        }
    }
    balance_->setText(lines.size() == 1 ? lines.front() : lines.front() + lines.mid(1).join(u'\n'));

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
    record.deposit = request.deposit && plan_.mayDeposit(record);
    record.otherAccount = kNoId;
    // A rule may name an account: the row moves money with it.
    if (budget_.findAccount(request.envelopeId)) {
        record.envelopeId = kNoId;
        if (plan_.mayMoveWith(record, request.envelopeId))
            record.otherAccount = request.envelopeId;
    }
    byHand_[size_t(row)] = false;
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
        rules_->item(row, RuleEnvelopeColumn)->setText(ruleTargetText(budget_, *rule));
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
        if (transactions_->item(row, DateColumn)->checkState() == Qt::Checked &&
            !batch_.records[size_t(row)].tooLarge)
            batch_.chosen.push_back(batch_.records[size_t(row)]);
    accept();
}

int chooseStatement(const std::vector<OfxStatement>& statements, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Transaction Import"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QStringLiteral("This file holds statements of several accounts. Import which one?"),
        &dialog));
    auto* list = new QComboBox(&dialog);
    list->setObjectName(QStringLiteral("statements"));
    for (const OfxStatement& s : statements)
        list->addItem(QStringLiteral("%1 %2 (%3 transactions)")
                          .arg(s.type.left(1).toUpper() + s.type.mid(1),
                               s.accountId.isEmpty() ? QStringLiteral("(no number)") : s.accountId)
                          .arg(s.rows));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return -1;
    return list->currentIndex();
}

bool importTransactions(Budget& budget, Account* account, const ImportHooks& hooks) {
    if (!account)
        return false;
    QString path;
    if (hooks.chooseFile) {
        path = hooks.chooseFile();
    } else {
        QFileDialog chooser(hooks.parent, QString(), QString(),
                            QStringLiteral("Statements (*.qif *.ofx *.qfx *.csv);;All files (*)"));
        chooser.setFileMode(QFileDialog::ExistingFile);
        if (DialogDriver::exec(&chooser) == QDialog::Accepted)
            path = chooser.selectedFiles().value(0);
    }
    if (path.isEmpty())
        return false;
    const QByteArray bytes = readStatementBytes(path);
    if (bytes.isEmpty())
        return false;

    // A CSV file is read the way the user confirms, starting from how this account's last
    // one was read.
    StatementOptions options;
    const QString title = QStringLiteral("Transaction Import");
    const bool csv = detectStatementFormat(bytes) == StatementFormat::Csv;
    if (csv) {
        const std::optional<CsvColumns> remembered = rememberedCsvColumns(*account);
        // A file with no money column but a balance holds no transactions, however the
        // account's statements were read before.
        const CsvGuess guess = guessCsvColumns(bytes);
        if (guess.noTransactions) {
            inform(hooks.prompter, hooks.parent, title,
                   kNoTransactionsText.left(1).toUpper() + kNoTransactionsText.mid(1) +
                       QLatin1Char('.'));
            return false;
        }
        CsvColumns start = remembered ? withGuessedBalance(*remembered, guess) : guess.columns;
        // A card statement that writes its charges as positive numbers, when nothing was
        // remembered for the account.
        if (!remembered && start.usable()) {
            StatementOptions probe;
            probe.csv = start;
            start.charges =
                ImportPlan(budget, *account).proposeCharges(readStatement(bytes, probe).records);
        }
        CsvMappingDialog mapping(bytes, start, hooks.parent);
        if (DialogDriver::exec(&mapping) != QDialog::Accepted)
            return false;
        options.csv = mapping.columns();
        rememberCsvColumns(*account, *options.csv);
    }

    ImportBatch batch;
    batch.account = account;
    batch.chargesChoice = csv;
    batch.charges = options.csv && options.csv->charges;
    StatementRead read = readStatement(bytes, options);
    if (read.status == EFBIG) {
        inform(hooks.prompter, hooks.parent, title, tooManyTransactionsMessage(kMaxQifRecords));
        return false;
    }
    // Unreadable files and statements without anything in them end the command quietly;
    // whatever was left out of a statement is told before the review opens.
    if (read.status != 0)
        return false;
    // A checking account's and a card's rows must not all go into the one account.
    if (read.statements.size() > 1) {
        options.statement = chooseStatement(read.statements, hooks.parent);
        if (options.statement < 0)
            return false;
        read = readStatement(bytes, options);
        if (read.status != 0)
            return false;
    }
    if (read.skips.total() > 0)
        inform(hooks.prompter, hooks.parent, title, skippedRecordsMessage(read.skips));
    batch.records = std::move(read.records);
    batch.closing = read.closing;
    if (batch.records.empty())
        return false;
    {
        ImportReviewDialog dialog(budget, batch, hooks.prompter, hooks.parent, hooks.newEnvelope);
        dialog.setSplitRow(hooks.splitRow);
        if (DialogDriver::exec(&dialog) != QDialog::Accepted)
            return false;
    }
    // The charges choice as it stood when the review was confirmed, for the next import.
    if (options.csv && options.csv->charges != batch.charges) {
        options.csv->charges = batch.charges;
        rememberCsvColumns(*account, *options.csv);
    }
    recordImport(budget, batch);
    return true;
}
