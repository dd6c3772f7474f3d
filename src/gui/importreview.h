#pragma once
// "Import transactions...": a bank statement (QIF, OFX/QFX or CSV) is read, reviewed in the
// "Transaction Import" dialog (mapping, deposits, explained duplicates, rules, resulting
// balance) and the checked rows are recorded.

#include "gui/ruleeditor.h"
#include "import/importplan.h"
#include "import/qifreader.h"
#include "import/statementreader.h"

#include <QDialog>
#include <QHash>
#include <QString>
#include <QTime>
#include <functional>
#include <optional>
#include <vector>

class Account;
class Budget;
class Prompter;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
struct Transaction;

// What the import needs from the main window. The window shows and saves what the command
// changed once it is over.
struct ImportHooks {
    QWidget* parent = nullptr;
    Prompter* prompter = nullptr;        // null: plain message boxes
    std::function<QString()> chooseFile; // "" on cancel; unset: the open-file dialog
    // Opens the "Envelope" dialog for a new envelope and creates it (beside the row's
    // envelope, when it has one); kNoId on cancel. Unset: no "New envelope..." is offered.
    std::function<ItemId(ItemId)> newEnvelope;
    // The review dialog has no help text of its own; kept for the window's uniform wiring.
    std::function<void(const QString&, const QStringList&)> showHelp;
    std::function<void()> restoreHelp;
    // Divides a row among envelopes ("Split..." in its envelope choice): edits parts (the
    // row's amount in total); false on cancel. Unset: no "Split..." is offered.
    std::function<bool(Amount total, std::vector<ImportPart>& parts)> splitRow;
};

// The whole command. True when the user confirmed (the chosen rows are then recorded, none
// may have been); false on cancel, an unreadable file or an empty statement.
bool importTransactions(Budget& budget, Account* account, const ImportHooks& hooks);

// Asks which statement of an OFX file that holds several to import, each shown by its type,
// account number and number of transactions: its index, or -1 on cancel.
int chooseStatement(const std::vector<OfxStatement>& statements, QWidget* parent);

// One use of the command.
struct ImportBatch {
    Account* account = nullptr;
    std::vector<ImportRecord> records; // file order; the dialog's rows
    std::vector<ImportRecord> chosen;  // the checked rows when the user confirmed
    DateTime latest;                   // the latest date of all records (unset at start)
    // A CSV statement: the review offers the charges choice; charges is what it is now (the
    // records' amounts already follow it).
    bool chargesChoice = false;
    bool charges = false;
    // The balance the statement gives at its end, when it gives one.
    std::optional<StatementBalance> closing;
};

// recordRows for the batch: its chosen rows into its account, up to its latest date.
void recordImport(Budget& budget, const ImportBatch& batch);

// The review's envelope choice that opens the "Envelope" dialog.
inline const QString kNewEnvelopeChoice = QStringLiteral("New envelope...");
// The choice that divides a row among envelopes.
inline const QString kSplitChoice = QStringLiteral("Split...");

class ImportReviewDialog : public QDialog {
    Q_OBJECT
public:
    ImportReviewDialog(Budget& budget, ImportBatch& batch, Prompter* prompter,
                       QWidget* parent = nullptr, std::function<ItemId(ItemId)> newEnvelope = {});

    QTableWidget* transactionList() const { return transactions_; }
    QTableWidget* ruleList() const { return rules_; }
    QDateEdit* datePicker() const { return picker_; }
    QLabel* balanceText() const { return balance_; }
    QPushButton* addRuleButton() const { return addRule_; }
    QPushButton* editRuleButton() const { return editRule_; }
    QPushButton* deleteRuleButton() const { return deleteRule_; }
    QPushButton* okButton() const { return ok_; }
    QCheckBox* chargesField() const { return charges_; } // null unless the batch offers it

    // The user actions (a double-click on a statement row, the three rule buttons, OK).
    void mapRow(int row);
    void addRule();
    void editRule();
    void deleteRules();
    void confirm();
    // The envelope choice of a row: an envelope, "--deposit--" (money coming into an ordinary
    // account only), "--no envelope--" (an off-budget account), "--transfer to <account>--",
    // "--transfer from <account>--", "--card payment <card>--", "--card payment from
    // <account>--" (as the row's direction allows) or "New envelope..." (the "Envelope"
    // dialog; cancel leaves the row).
    QStringList envelopeChoices(int row) const;
    void chooseEnvelope(int row, ItemId envelope);
    void chooseDeposit(int row);
    bool chooseNewEnvelope(int row);
    // "Split...": the row's parts through the hook; false on cancel or without a hook.
    void setSplitRow(std::function<bool(Amount, std::vector<ImportPart>&)> hook) {
        splitRow_ = std::move(hook);
    }
    bool chooseSplit(int row);
    // The envelope choice's entry at index (as envelopeChoices lists them).
    void choose(int row, int index);

    // The statement rows above, the rules below; the user can move the line between them.
    QSplitter* splitter() const { return splitter_; }
    // The dialog's size and the split are kept from one review to the next; with a file
    // (the program's view-state file) also from one run to the next. Naming the file (or
    // none) forgets what the session kept.
    static void rememberLayoutIn(const QString& iniFile);

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void fillRules();
    void fillTransactions();
    void refreshChecks();
    void remapRows();
    void showMapping(int row, bool guess, const QString& guessedFrom);
    void setRowChoice(int row, const RowChoice& choice);
    void mapFromHistory(int row, const PayeeMapper& mapper);
    void updateBalanceAndButtons();
    void fitColumns(QTableWidget* table);
    void fitToScreen();
    void placeSplit();
    int rulesContentHeight() const;
    DateTime importAfter() const;

    Budget& budget_;
    ImportBatch& batch_;
    Prompter* prompter_;
    ImportPlan plan_;
    std::function<ItemId(ItemId)> newEnvelope_;
    std::function<bool(Amount, std::vector<ImportPart>&)> splitRow_;
    std::vector<bool> byHand_; // rows whose envelope or kind the user chose in the list
    bool busy_ = false;
    QTime pickerTime_;
    QTableWidget* transactions_ = nullptr;
    QTableWidget* rules_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QByteArray restoredSplit_;
    bool splitPlaced_ = false;
    QDateEdit* picker_ = nullptr;
    QLabel* balance_ = nullptr;
    QPushButton* addRule_ = nullptr;
    QPushButton* editRule_ = nullptr;
    QPushButton* deleteRule_ = nullptr;
    QPushButton* ok_ = nullptr;
    QCheckBox* charges_ = nullptr;
};
