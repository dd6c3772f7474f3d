#pragma once
// The "Fund Envelope" dialog (one envelope) and the "Fund Envelopes" dialog (a folder).

#include "app/operations_logic.h"

#include <QDialog>

class AccountEnvelope;
class AccountGroup;
class Budget;
class Prompter;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class FundEnvelopeDialog : public QDialog {
    Q_OBJECT
public:
    explicit FundEnvelopeDialog(const AccountEnvelope& envelope, QWidget* parent = nullptr);

    // The balance chosen, valid after OK.
    Amount newBalance() const { return newBalance_; }
    FundingChoice choice() const;

    QRadioButton* addBudgetedChoice() const { return addBudgeted_; }
    QRadioButton* setToBudgetedChoice() const { return setToBudgeted_; }
    QRadioButton* arbitraryChoice() const { return arbitrary_; }
    QLineEdit* addBudgetedField() const { return addBudgetedAmount_; }
    QLineEdit* setToBudgetedField() const { return setToBudgetedAmount_; }
    QLineEdit* arbitraryField() const { return arbitraryAmount_; }
    QLineEdit* currentBalanceField() const { return current_; }
    QLineEdit* newBalanceField() const { return shownNewBalance_; }
    QPushButton* okButton() const { return ok_; }

private:
    Amount compute() const;
    void recompute();

    const AccountEnvelope& envelope_;
    Amount newBalance_ = 0;
    QRadioButton* addBudgeted_;
    QRadioButton* setToBudgeted_;
    QRadioButton* arbitrary_;
    QLineEdit* addBudgetedAmount_;
    QLineEdit* setToBudgetedAmount_;
    QLineEdit* arbitraryAmount_;
    QLineEdit* current_;
    QLineEdit* shownNewBalance_;
    QPushButton* ok_;
};

// "Move Money": from one envelope to another in one step.
class MoveMoneyDialog : public QDialog {
    Q_OBJECT
public:
    MoveMoneyDialog(const Budget& budget, Prompter& prompter, const MoveMoneyForm& form,
                    QWidget* parent = nullptr);

    const MoveMoneyForm& form() const { return form_; }
    QComboBox* fromField() const { return from_; }
    QComboBox* toField() const { return to_; }
    QLineEdit* amountField() const { return amount_; }
    QPushButton* okButton() const { return ok_; }

private:
    void tryAccept();

    const Budget& budget_;
    Prompter& prompter_;
    MoveMoneyForm form_;
    QComboBox* from_;
    QComboBox* to_;
    QLineEdit* amount_;
    QPushButton* ok_;
};

class FundEnvelopesDialog : public QDialog {
    Q_OBJECT
public:
    FundEnvelopesDialog(const Budget& budget, const AccountGroup& folder,
                        QWidget* parent = nullptr);
    QLabel* summaryLabel() const { return summary_; }
    QPushButton* okButton() const { return ok_; }
    // "to cover what is due this month" instead of the monthly budgets.
    QRadioButton* coverDueChoice() const { return coverDue_; }
    bool coverDueChosen() const;

private:
    QLabel* summary_;
    QRadioButton* monthly_;
    QRadioButton* coverDue_;
    QPushButton* ok_;
};
