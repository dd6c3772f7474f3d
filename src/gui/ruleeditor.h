#pragma once
// The "Import Mapping Rule Editor": edits one payee mapping rule with live checks of the
// pattern against the statement's payee and an optional test text.

#include "import/mappayee.h"
#include "model/items.h"
#include "platform/dialogdriver.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

class Budget;
class MappingRuleSet;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// What the editor edits. The import review hands a statement row over in this shape.
struct RuleRequest {
    QString incomingText; // a row's incoming payee, an existing rule's match string, or empty
    QString payee;
    QString matchString; // of the rule last saved for this request
    ItemId envelopeId = kNoId;
    bool deposit = false; // the rule makes deposits (no envelope)
};

// What a rule maps to, as the rule list and the editor show it: "--deposit--", an envelope's
// name, "--transfer to/from <account>--" or "--card payment <card>--" for a rule that names an
// account, empty when its item is gone.
QString ruleTargetText(const Budget& budget, const PayeeMappingRule& rule);

struct RuleCheck {
    bool ok = false;
    QString message;
};

// The editor's live check of its fields.
RuleCheck checkRule(const QString& match, const QString& original, const QString& testPayee,
                    const QString& payee, bool envelopeSelected);

// What confirming the editor does to the rules and the request: the request's previous rule
// (and any rule keyed by its incoming text) goes, the edited one is stored. An envelope of
// kNoId is the "--deposit--" choice.
void confirmRule(MappingRuleSet& rules, RuleRequest& request, const QString& payee,
                 const QString& match, const QString& original, std::optional<ItemId> envelope);

class RuleEditorDialog : public QDialog {
    Q_OBJECT
public:
    // The request is written only when the dialog is accepted.
    RuleEditorDialog(Budget& budget, RuleRequest& request, QWidget* parent = nullptr);

    QLineEdit* matchField() const { return match_; }
    QLineEdit* originalField() const { return original_; }
    QComboBox* payeeField() const { return payee_; }
    QComboBox* envelopeField() const { return envelope_; }
    QLineEdit* testField() const { return test_; }
    QLabel* resultText() const { return result_; }
    QPushButton* okButton() const { return ok_; }

    // Runs the dialog; true when the rule was stored.
    static bool edit(Budget& budget, RuleRequest& request, QWidget* parent);

private:
    void runCheck();
    void confirm();

    Budget& budget_;
    RuleRequest& request_;
    QLineEdit* match_ = nullptr;
    QLineEdit* original_ = nullptr;
    QComboBox* payee_ = nullptr;
    QComboBox* envelope_ = nullptr;
    QLineEdit* test_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* ok_ = nullptr;
};
