#include "app/scheduledialog.h"

#include "app/amountfield.h"
#include "app/dialogdriver.h"
#include "app/pickers.h"
#include "model/budget.h"
#include "model/clock.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QDateEdit* dateField(QWidget* parent, const QDate& day) {
    auto* field = new QDateEdit(day.isValid() ? day : toQDate(Clock::now()), parent);
    field->setCalendarPopup(true);
    field->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    return field;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets)
        layout->addWidget(w);
    layout->addStretch(1);
    return layout;
}

bool negativeType(TransactionType t) {
    return t == TransactionType::Expense || t == TransactionType::CCPayment;
}
} // namespace

ScheduleDialog::ScheduleDialog(const Budget& budget, const Schedule& schedule, bool canRemove,
                               QWidget* parent)
    : QDialog(parent), budget_(budget), original_(schedule) {
    setWindowTitle(QStringLiteral("Schedule"));
    const Schedule& s = schedule;

    type_ = new QComboBox(this);
    for (auto t : {TransactionType::Expense, TransactionType::Deposit, TransactionType::Transfer,
                   TransactionType::CCPayment})
        type_->addItem(transactionTypeName(t), int(t));
    type_->setCurrentIndex(type_->findData(int(s.type)));
    amount_ = new QLineEdit(this);
    limitFieldText(amount_);
    formatAmountIntoControl(amount_, amountMagnitude(s.amount));
    payee_ = new QLineEdit(s.payee, this);
    limitFieldText(payee_);
    from_ = new QComboBox(this);
    to_ = new QComboBox(this);
    std::vector<Account*> accounts = pickableAccounts(budget, true);
    keepAccountListed(accounts, budget, s.accountFrom);
    keepAccountListed(accounts, budget, s.accountTo);
    fillAccountPicker(from_, accounts, s.accountFrom, AccountFallback::FirstEntry);
    fillAccountPicker(to_, accounts, s.accountTo, AccountFallback::FirstEntry);
    envelope_ = new QComboBox(this);
    fillEnvelopePicker(envelope_, budget, s.category);
    description_ = new QLineEdit(s.description, this);
    limitFieldText(description_);

    every_ = new QSpinBox(this);
    every_->setRange(1, 1000);
    every_->setValue(std::max(1, s.every));
    unit_ = new QComboBox(this);
    unit_->addItems({QStringLiteral("days"), QStringLiteral("weeks"), QStringLiteral("months"),
                     QStringLiteral("years")});
    unit_->setCurrentIndex(int(s.unit));
    day_ = new QComboBox(this);
    day_->addItems({QStringLiteral("on the first date's day"), QStringLiteral("on the last day")});
    day_->setCurrentIndex(s.lastDayOfMonth ? 1 : 0);
    first_ = dateField(this, s.first);

    endsNever_ = new QRadioButton(QStringLiteral("never"), this);
    endsOn_ = new QRadioButton(QStringLiteral("on"), this);
    until_ = dateField(this, s.until.isValid() ? s.until : first_->date().addYears(1));
    endsAfter_ = new QRadioButton(QStringLiteral("after"), this);
    count_ = new QSpinBox(this);
    count_->setRange(1, 100000);
    count_->setValue(s.count > 0 ? s.count : 12);
    count_->setSuffix(QStringLiteral(" times"));
    (s.count > 0 ? endsAfter_ : s.until.isValid() ? endsOn_ : endsNever_)->setChecked(true);

    weekend_ = new QComboBox(this);
    weekend_->addItems({QStringLiteral("keep the date"),
                        QStringLiteral("move it to the Friday before"),
                        QStringLiteral("move it to the Monday after")});
    weekend_->setCurrentIndex(int(s.weekend));
    about_ = new QCheckBox(QStringLiteral("about: it varies by up to"), this);
    about_->setChecked(s.aboutPercent > 0);
    aboutPercent_ = new QSpinBox(this);
    aboutPercent_->setRange(1, 100);
    aboutPercent_->setValue(s.aboutPercent > 0 ? s.aboutPercent : 10);
    aboutPercent_->setSuffix(QStringLiteral(" %"));

    automatic_ = new QRadioButton(QStringLiteral("enter automatically"), this);
    ask_ = new QRadioButton(QStringLiteral("ask me"), this);
    (s.mode == ScheduleMode::AskMe ? ask_ : automatic_)->setChecked(true);
    // Two separate choices: radios of one parent are otherwise one exclusive group.
    auto* ends = new QButtonGroup(this);
    for (QRadioButton* b : {endsNever_, endsOn_, endsAfter_})
        ends->addButton(b);
    auto* mode = new QButtonGroup(this);
    mode->addButton(automatic_);
    mode->addButton(ask_);
    preview_ = new QLabel(this);
    preview_->setWordWrap(true);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Type:"), type_);
    fields->addRow(QStringLiteral("Amount:"), amount_);
    fields->addRow(QStringLiteral("Payee:"), payee_);
    fields->addRow(QStringLiteral("From account:"), from_);
    fields->addRow(QStringLiteral("To account:"), to_);
    fields->addRow(QStringLiteral("Envelope:"), envelope_);
    fields->addRow(QStringLiteral("Description:"), description_);
    fields->addRow(QStringLiteral("Every:"), row({every_, unit_, day_}));
    fields->addRow(QStringLiteral("First date:"), first_);
    fields->addRow(QStringLiteral("Ends:"), row({endsNever_, endsOn_, until_, endsAfter_, count_}));
    fields->addRow(QStringLiteral("On a weekend:"), weekend_);
    fields->addRow(QString(), row({about_, aboutPercent_}));
    fields->addRow(QStringLiteral("When due:"), row({automatic_, ask_}));
    fields->addRow(QStringLiteral("Next:"), preview_);

    auto* buttons = makeOkCancel(this);
    ok_ = okButtonOf(buttons);
    if (canRemove) {
        QPushButton* remove = buttons->addButton(QStringLiteral("Delete schedule"),
                                                 QDialogButtonBox::DestructiveRole);
        remove->setAutoDefault(false);
        connect(remove, &QPushButton::clicked, this, [this] {
            remove_ = true;
            accept();
        });
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    widenFields(this);
    for (QWidget* w : {static_cast<QWidget*>(every_), static_cast<QWidget*>(unit_),
                       static_cast<QWidget*>(day_), static_cast<QWidget*>(count_),
                       static_cast<QWidget*>(aboutPercent_), static_cast<QWidget*>(until_)})
        w->setMinimumWidth(0);

    for (QComboBox* c : {type_, unit_, day_, weekend_, from_, to_, envelope_})
        connect(c, &QComboBox::currentIndexChanged, this, &ScheduleDialog::update);
    for (QSpinBox* b : {every_, count_, aboutPercent_})
        connect(b, &QSpinBox::valueChanged, this, &ScheduleDialog::update);
    for (QDateEdit* e : {first_, until_})
        connect(e, &QDateEdit::dateChanged, this, &ScheduleDialog::update);
    for (QAbstractButton* b :
         std::initializer_list<QAbstractButton*>{endsNever_, endsOn_, endsAfter_, about_})
        connect(b, &QAbstractButton::toggled, this, &ScheduleDialog::update);
    connect(amount_, &QLineEdit::textChanged, this, &ScheduleDialog::update);
    update();
}

Schedule ScheduleDialog::schedule() const {
    Schedule s = original_;
    s.type = TransactionType(type_->currentData().toInt());
    const Amount magnitude = amountMagnitude(readAmountFromControl(amount_));
    s.amount = negativeType(s.type) ? negatedAmount(magnitude) : magnitude;
    s.payee = readFieldText(payee_);
    s.description = readFieldText(description_);
    const bool usesFrom = s.type != TransactionType::Deposit;
    const bool usesTo = s.type != TransactionType::Expense;
    s.accountFrom = usesFrom ? selectedItemId(from_) : kNoId;
    s.accountTo = usesTo ? selectedItemId(to_) : kNoId;
    s.category = s.type == TransactionType::Expense     ? selectedItemId(envelope_)
                 : s.type == TransactionType::CCPayment ? kChargesEnvelopeId
                                                        : kNoId;
    if (s.type == TransactionType::Transfer && s.payee.isEmpty())
        s.payee = QStringLiteral("Transfer");
    s.every = every_->value();
    s.unit = RepeatUnit(unit_->currentIndex());
    s.lastDayOfMonth = s.unit == RepeatUnit::Months && day_->currentIndex() == 1;
    // A changed rule goes on from where the old one stood.
    const bool ruleChanged = s.first != first_->date() || s.every != original_.every ||
                             s.unit != original_.unit ||
                             s.lastDayOfMonth != original_.lastDayOfMonth;
    s.first = first_->date();
    s.until = endsOn_->isChecked() ? until_->date() : QDate();
    s.count = endsAfter_->isChecked() ? count_->value() : 0;
    s.weekend = WeekendRule(weekend_->currentIndex());
    s.aboutPercent = about_->isChecked() ? aboutPercent_->value() : 0;
    s.mode = ask_->isChecked() ? ScheduleMode::AskMe : ScheduleMode::Automatic;
    if (ruleChanged)
        s.done = resumeIndex(s, original_);
    return s;
}

void ScheduleDialog::update() {
    const auto type = TransactionType(type_->currentData().toInt());
    from_->setEnabled(type != TransactionType::Deposit);
    to_->setEnabled(type != TransactionType::Expense);
    envelope_->setEnabled(type == TransactionType::Expense);
    day_->setVisible(unit_->currentIndex() == int(RepeatUnit::Months));
    until_->setEnabled(endsOn_->isChecked());
    count_->setEnabled(endsAfter_->isChecked());
    aboutPercent_->setEnabled(about_->isChecked());

    const Schedule s = schedule();
    QStringList next;
    for (int k = s.done; k < s.done + 4; ++k) {
        const QDate d = occurrenceDate(s, k);
        if (!d.isValid())
            break;
        next << QLocale().toString(d, QLocale::ShortFormat);
    }
    preview_->setText(next.isEmpty() ? QStringLiteral("nothing: the schedule has ended")
                                     : next.join(QStringLiteral(", ")));
    const bool complete = isRecordable(budget_, s) && s.amount != 0;
    ok_->setEnabled(complete);
}
