#pragma once
// The "Account Settings", "Folder" and "Envelope" dialogs that create and edit items.

#include "app/operations_logic.h"

#include <QDialog>

class Budget;
class Prompter;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class AccountSettingsDialog : public QDialog {
    Q_OBJECT
public:
    AccountSettingsDialog(Prompter& prompter, const AccountForm& form, QWidget* parent = nullptr);

    const AccountForm& form() const { return form_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* balanceField() const { return balance_; }
    QCheckBox* inBudgetBox() const { return inBudget_; }
    QCheckBox* creditCardBox() const { return creditCard_; }
    QPushButton* okButton() const { return ok_; }

private:
    void updateEnabling();
    void tryAccept();

    Prompter& prompter_;
    AccountForm form_;
    QLineEdit* name_;
    QLineEdit* balance_;
    QCheckBox* inBudget_;
    QCheckBox* creditCard_;
    QPushButton* ok_;
};

class FolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit FolderDialog(const FolderForm& form, QWidget* parent = nullptr);

    const FolderForm& form() const { return form_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* limitField() const { return limit_; }
    QPushButton* okButton() const { return ok_; }

private:
    FolderForm form_;
    QLineEdit* name_;
    QLineEdit* limit_;
    QPushButton* ok_;
};

class EnvelopeDialog : public QDialog {
    Q_OBJECT
public:
    EnvelopeDialog(const Budget& budget, const EnvelopeForm& form, QWidget* parent = nullptr);

    const EnvelopeForm& form() const { return form_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* budgetField() const { return budget_; }
    QCheckBox* goalBox() const { return goalBox_; }
    QLineEdit* goalField() const { return goal_; }
    QComboBox* accountField() const { return account_; }
    QComboBox* payeeField() const { return payee_; }
    QLineEdit* amountField() const { return amount_; }
    QComboBox* folderField() const { return folder_; } // null unless the form lists folders
    QPushButton* okButton() const { return ok_; }

private:
    void updateEnabling();
    void store();

    EnvelopeForm form_;
    QComboBox* folder_ = nullptr;
    QLineEdit* name_;
    QLineEdit* budget_;
    QCheckBox* goalBox_;
    QLineEdit* goal_;
    QComboBox* account_;
    QComboBox* payee_;
    QLineEdit* amount_;
    QPushButton* ok_;
};
