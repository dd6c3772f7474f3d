#include "gui/ruleeditor.h"

#include "gui/payeecompletion.h"
#include "import/mappayee.h"
#include "model/budget.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kMaxFieldLength = 1023;

bool patternMatches(const QString& text, const QString& match) {
    return !match.isEmpty() && wildcardMatch(text, match);
}

QLabel* fixedText(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QLineEdit* textField(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(kMaxFieldLength);
    return field;
}
} // namespace

RuleCheck checkRule(const QString& match, const QString& original, const QString& testPayee,
                    const QString& payee, bool envelopeSelected) {
    RuleCheck check;
    check.ok = !match.isEmpty() && envelopeSelected && !payee.isEmpty();
    if (!original.isEmpty() && !patternMatches(original, match)) {
        check.ok = false;
        check.message = QStringLiteral("ERROR! The pattern DOES NOT match the original payee [") +
                        original + QStringLiteral("].");
    }
    if (!testPayee.isEmpty() && !patternMatches(testPayee, match)) {
        if (!check.message.isEmpty())
            check.message += QLatin1Char('\n');
        check.message += QStringLiteral("Warning! The pattern DOES NOT match the test payee [") +
                         testPayee + QStringLiteral("]");
    }
    if (check.message.isEmpty())
        check.message = QStringLiteral("The match string matches the current test text");
    return check;
}

namespace {
QString accountTargetText(const Account& account) {
    return account.isCCAccount() ? QStringLiteral("--card payment %1--").arg(account.getName())
                                 : QStringLiteral("--transfer to/from %1--").arg(account.getName());
}
} // namespace

QString ruleTargetText(const Budget& budget, const PayeeMappingRule& rule) {
    if (rule.deposit)
        return kDepositChoice;
    if (const Account* account = budget.findAccount(rule.envelopeId))
        return accountTargetText(*account);
    const AccountBase* item = rule.envelopeId == kNoId ? nullptr : budget.findItem(rule.envelopeId);
    return item ? item->getName() : QString();
}

void confirmRule(MappingRuleSet& rules, RuleRequest& request, const QString& payee,
                 const QString& match, const QString& original, std::optional<ItemId> envelope) {
    rules.removeRulesEqualTo(request.matchString);
    rules.removeRulesEqualTo(request.incomingText);
    request.payee = payee.left(kMaxFieldLength);
    request.matchString = match.left(kMaxFieldLength);
    request.incomingText = original.left(kMaxFieldLength);
    if (envelope) {
        request.envelopeId = *envelope;
        request.deposit = *envelope == kNoId;
    }
    if (request.matchString.isEmpty())
        request.matchString = request.incomingText;
    rules.addMappingRule(request.matchString, request.envelopeId, false, request.payee,
                         request.deposit);
}

RuleEditorDialog::RuleEditorDialog(Budget& budget, RuleRequest& request, QWidget* parent)
    : QDialog(parent), budget_(budget), request_(request) {
    setWindowTitle(QStringLiteral("Import Mapping Rule Editor"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fixedText(QStringLiteral("This dialog allows you to define rules for mapping "
                                               "imported transactions to envelopes and payees."),
                                this));
    layout->addWidget(fixedText(
        QStringLiteral("Wildcards matching is supported. Use '*' to match one or more characters, "
                       "or '?' to match a single character."),
        this));
    layout->addWidget(fixedText(
        QStringLiteral("Example:\nMatch string 'Walmart*\nwill match 'Walmart 90210'"), this));
    layout->addWidget(fixedText(
        QStringLiteral("Tallykeep saves these mappings and will use them on future imports."),
        this));

    auto* form = new QFormLayout;
    match_ = textField(this);
    match_->setObjectName(QStringLiteral("matchString"));
    original_ = textField(this);
    original_->setObjectName(QStringLiteral("originalPayee"));
    original_->setReadOnly(true);
    payee_ = new QComboBox(this);
    payee_->setObjectName(QStringLiteral("payee"));
    envelope_ = new QComboBox(this);
    envelope_->setObjectName(QStringLiteral("envelope"));
    form->addRow(QStringLiteral("Match string:"), match_);
    form->addRow(QStringLiteral("Original payee:"), original_);
    form->addRow(QStringLiteral("Tallykeep Payee:"), payee_);
    form->addRow(QStringLiteral("Tallykeep Envelope:"), envelope_);
    // One form for all fields, so that the test field lines up with the others.
    form->addRow(fixedText(QStringLiteral("Optionally enter text in this box. Tallykeep will "
                                          "tell you whether it matches the match string."),
                           this));
    test_ = textField(this);
    test_->setObjectName(QStringLiteral("testPayee"));
    form->addRow(QStringLiteral("Test payee:"), test_);
    layout->addLayout(form);

    result_ = new QLabel(QStringLiteral("String Match Results\nLIne two"), this);
    result_->setObjectName(QStringLiteral("result"));
    result_->setTextFormat(Qt::PlainText);
    result_->setWordWrap(true);
    // A long payee in the message must not stretch the dialog beyond the screen.
    result_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Room for both messages wrapped once each, so the dialog does not jump as the message
    // changes; a longer message runs on below rather than over the test field.
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result_->setMinimumHeight(result_->fontMetrics().lineSpacing() * 4 + 4);
    layout->addWidget(result_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &RuleEditorDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const int fieldWidth = fontMetrics().averageCharWidth() * 48;
    for (QWidget* field :
         std::initializer_list<QWidget*>{match_, original_, payee_, envelope_, test_})
        field->setMinimumWidth(fieldWidth);

    // Opening: the current mapping of the incoming text preselects payee and envelope. A rule
    // being edited shows its own payee and envelope, even when an earlier rule in the set
    // would match its pattern too; otherwise confirming would quietly hand it the other's.
    PayeeMapping mapped;
    if (const PayeeMappingRule* own = budget_.rules().find(request_.incomingText)) {
        mapped.payee = own->payee;
        mapped.envelopeId = own->envelopeId;
        mapped.deposit = own->deposit;
        if (budget_.findAccount(own->envelopeId)) {
            mapped.account = own->envelopeId;
            mapped.envelopeId = kNoId;
        }
    } else
        mapped = mapPayee(budget_, request_.incomingText);
    const QString replaced = replaceReservedCharacters(request_.incomingText);
    if (replaced == request_.incomingText)
        original_->setText(request_.incomingText.left(kMaxFieldLength));
    else
        test_->setText(replaced.left(kMaxFieldLength));
    match_->setText(request_.incomingText.left(kMaxFieldLength));
    if (!fillPayeeChoices(payee_, budget_, mapped.payee))
        payee_->setEditText(QString());
    for (AccountBase* item : budget_.itemsOfType(ItemType::Envelope))
        insertSorted(envelope_, item->getName(), QVariant::fromValue<quint32>(item->id()));
    // A rule may make the payee's rows deposits instead of expenses of an envelope, or move
    // money with another account (the accounts the Transfer and Pay Credit Card dialogs list).
    envelope_->addItem(kDepositChoice, QVariant::fromValue<quint32>(kNoId));
    const int depositIndex = envelope_->count() - 1;
    std::vector<AccountBase*> accounts = budget_.itemsOfType(ItemType::Account);
    std::stable_sort(accounts.begin(), accounts.end(),
                     [](const AccountBase* a, const AccountBase* b) {
                         return QString::localeAwareCompare(a->getName(), b->getName()) < 0;
                     });
    for (const AccountBase* item : accounts)
        if (!item->isHidden() && !item->isReadOnly())
            envelope_->addItem(accountTargetText(*static_cast<const Account*>(item)),
                               QVariant::fromValue<quint32>(item->id()));
    const ItemId target = mapped.account != kNoId ? mapped.account : mapped.envelopeId;
    envelope_->setCurrentIndex(mapped.deposit ? depositIndex
                               : target == kNoId
                                   ? -1
                                   : envelope_->findData(QVariant::fromValue<quint32>(target)));

    connect(match_, &QLineEdit::textChanged, this, &RuleEditorDialog::runCheck);
    connect(test_, &QLineEdit::textChanged, this, &RuleEditorDialog::runCheck);
    connect(original_, &QLineEdit::textChanged, this, &RuleEditorDialog::runCheck);
    connect(payee_, &QComboBox::editTextChanged, this, &RuleEditorDialog::runCheck);
    connect(payee_, &QComboBox::currentIndexChanged, this, &RuleEditorDialog::runCheck);
    connect(envelope_, &QComboBox::currentIndexChanged, this, &RuleEditorDialog::runCheck);
    runCheck();
}

void RuleEditorDialog::runCheck() {
    const RuleCheck check = checkRule(match_->text(), original_->text(), test_->text(),
                                      payee_->currentText(), envelope_->currentIndex() >= 0);
    result_->setText(check.message);
    ok_->setEnabled(check.ok);
}

void RuleEditorDialog::confirm() {
    if (!ok_->isEnabled())
        return;
    std::optional<ItemId> envelope;
    if (envelope_->currentIndex() >= 0)
        envelope = envelope_->currentData().value<quint32>();
    confirmRule(budget_.rules(), request_, payee_->currentText(), match_->text(), original_->text(),
                envelope);
    accept();
}

bool RuleEditorDialog::edit(Budget& budget, RuleRequest& request, QWidget* parent) {
    RuleEditorDialog dialog(budget, request, parent);
    return DialogDriver::exec(&dialog) == QDialog::Accepted;
}
