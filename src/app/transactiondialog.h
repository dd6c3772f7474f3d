#pragma once
// The "Transaction" dialog: records or edits an expense.

#include "app/operations_logic.h"

#include <QDialog>

class Budget;
class Prompter;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;

class TransactionDialog : public QDialog {
    Q_OBJECT
public:
    TransactionDialog(const Budget& budget, Prompter& prompter, const ExpenseForm& form,
                      QWidget* parent = nullptr);

    const ExpenseForm& form() const { return form_; }

    QDateEdit* dateField() const { return date_; }
    QLineEdit* amountField() const { return amount_; }
    QComboBox* payeeField() const { return payee_; }
    QComboBox* accountField() const { return account_; }
    QComboBox* envelopeField() const { return envelope_; }
    QLineEdit* descriptionField() const { return description_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* splitButton() const { return split_; }
    // The parts of the payment while it is split (two or more), else empty.
    const std::vector<SplitPart>& splitParts() const { return parts_; }
    // Opens "Split Transaction" over the amount typed; its parts replace the envelope.
    void editSplit();

private:
    void tryAccept();
    void showSplit();

    const Budget& budget_;
    Prompter& prompter_;
    ExpenseForm form_;
    QDateEdit* date_;
    QLineEdit* amount_;
    QComboBox* payee_;
    QComboBox* account_;
    QComboBox* envelope_;
    QLineEdit* description_;
    QPushButton* ok_;
    QPushButton* split_;
    QPushButton* schedule_;
    std::vector<SplitPart> parts_;
};
