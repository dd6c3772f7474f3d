#pragma once
// The "Deposit", "Transfer" and "Pay Credit Card" dialogs.

#include "app/operations_logic.h"

#include <QDialog>
#include <vector>

class Account;
class Budget;
class Prompter;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class DepositDialog : public QDialog {
    Q_OBJECT
public:
    // accounts: what "Account" offers (see pickableAccounts).
    DepositDialog(const Budget& budget, const std::vector<Account*>& accounts,
                  const DepositForm& form, QWidget* parent = nullptr);

    const DepositForm& form() const { return form_; }
    QDateEdit* dateField() const { return date_; }
    QLineEdit* amountField() const { return amount_; }
    QComboBox* accountField() const { return account_; }
    QComboBox* payerField() const { return payer_; }
    QLineEdit* descriptionField() const { return description_; }
    QPushButton* okButton() const { return ok_; }

private:
    void updateOk();
    void store();

    DepositForm form_;
    QDateEdit* date_;
    QLineEdit* amount_;
    QComboBox* account_;
    QComboBox* payer_;
    QLineEdit* description_;
    QPushButton* ok_;
};

class TransferDialog : public QDialog {
    Q_OBJECT
public:
    TransferDialog(const Budget& budget, Prompter& prompter, const std::vector<Account*>& accounts,
                   const TransferForm& form, QWidget* parent = nullptr);

    const TransferForm& form() const { return form_; }
    QDateEdit* dateField() const { return date_; }
    QLineEdit* amountField() const { return amount_; }
    QComboBox* fromField() const { return from_; }
    QComboBox* toField() const { return to_; }
    QLineEdit* descriptionField() const { return description_; }
    QLabel* warningLine() const { return warning_; }
    QPushButton* okButton() const { return ok_; }

private:
    void updateOk();
    void tryAccept();

    const Budget& budget_;
    Prompter& prompter_;
    TransferForm form_;
    QDateEdit* date_;
    QLineEdit* amount_;
    QComboBox* from_;
    QComboBox* to_;
    QLineEdit* description_;
    QLabel* warning_;
    QPushButton* ok_;
};

class CardPaymentDialog : public QDialog {
    Q_OBJECT
public:
    CardPaymentDialog(const Budget& budget, const std::vector<Account*>& accounts,
                      const CardPaymentForm& form, QWidget* parent = nullptr);

    const CardPaymentForm& form() const { return form_; }
    QDateEdit* dateField() const { return date_; }
    QLineEdit* amountField() const { return amount_; }
    QLineEdit* cardField() const { return card_; }
    QLineEdit* envelopeField() const { return envelope_; }
    QComboBox* payFromField() const { return payFrom_; }
    QLineEdit* descriptionField() const { return description_; }
    QPushButton* okButton() const { return ok_; }

private:
    void updateOk();
    void store();

    CardPaymentForm form_;
    QDateEdit* date_;
    QLineEdit* amount_;
    QLineEdit* card_;
    QLineEdit* envelope_;
    QComboBox* payFrom_;
    QLineEdit* description_;
    QPushButton* ok_;
};
