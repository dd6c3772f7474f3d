#pragma once
// The window-free part of the budget operations: the forms the dialogs fill, the checks
// and questions asked before a change, and the money computations. Dialogs only collect
// input; tests call these directly.

#include "model/items.h"
#include "model/split.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

class Budget;
class Prompter;
struct Transaction;

// Expense (Transaction dialog). amount is stored negative for money going out.
struct ExpenseForm {
    Amount amount = 0;
    QString payee;
    QString description;
    ItemId account = kNoId;
    ItemId envelope = kNoId;
    bool isNew = false;
    QDate date{}; // the day it happened (invalid: today)
    // Two or more: the payment is split among these envelopes (envelope is then unused).
    std::vector<SplitPart> parts{};
    bool splittable = true; // "Split..." is offered
};

struct DepositForm {
    ItemId account = kNoId;
    Amount amount = 0;
    QString payer;
    QString description;
    QDate date{}; // the day it happened (invalid: today)
};

struct TransferForm {
    ItemId toAccount = kNoId;
    ItemId fromAccount = kNoId;
    Amount amount = 0;
    QString description;
    QDate date{}; // the day it happened (invalid: today)
};

struct CardPaymentForm {
    Amount amount = 0; // zero or negative
    ItemId card = kNoId;
    QString description;
    ItemId payingAccount = kNoId;
    QDate date{}; // the day it happened (invalid: today)
};

struct AccountForm {
    Amount balance = 0;
    QString name;
    bool inBudget = true;
    bool creditCard = false;
};

struct FolderForm {
    Amount expenseLimit = 0; // zero or negative
    QString name;
};

struct EnvelopeForm {
    QString name;
    ItemId defaultPayFromAccount = kNoId;
    QString defaultPayee;
    Amount defaultAmount = 0; // zero or negative
    Amount monthlyBudget = 0; // minus the typed value
    Amount savingsGoal = 0;   // zero means none
    bool isChargesEnvelope = false;
    // When folders are listed, the dialog offers them with folder preselected ("New
    // envelope..." from the import review, which cannot know where the envelope belongs).
    std::vector<ItemId> folders{};
    ItemId folder = kNoId;
};

struct MoveMoneyForm {
    ItemId from = kNoId;
    ItemId to = kNoId;
    Amount amount = 0; // above zero
};

// A message text with %1, %2, ... filled in one pass (a name holding "%2" stays as it is),
// cut to the 1023 characters a message holds.
QString formatMessage(const QString& pattern, const QStringList& args);

// The questions before a new expense is recorded, in order; false as soon as one is
// answered No. amount is the stored (negative for spending) value.
bool confirmNewExpense(Prompter& prompter, const Budget& budget, Amount amount, ItemId envelopeId,
                       ItemId accountId, const QString& payee);

// The same questions for a new split payment: the envelope question for each part, then the
// account, zero and payee questions for the whole payment.
bool confirmNewSplit(Prompter& prompter, const Budget& budget, const std::vector<SplitPart>& parts,
                     ItemId accountId, const QString& payee);

// "Negative Transfer": asked when the sending account holds less than the amount.
bool confirmTransfer(Prompter& prompter, const Budget& budget, ItemId fromAccount, Amount amount);

// "Confirm Balance": asked for a credit card whose balance is above zero.
bool confirmAccountBalance(Prompter& prompter, bool creditCard, Amount balance);

// Funding one envelope.
enum class FundingChoice { None, AddBudgeted, SetToBudgeted, Arbitrary };
FundingChoice preselectedFundingChoice(const AccountEnvelope& envelope);
// The read-only "Add amount:" of the two budget-based choices.
Amount fundingAddAmount(const AccountEnvelope& envelope, FundingChoice choice);
// The balance the envelope would get (typed is the arbitrary field read as cents).
Amount fundingNewBalance(const AccountEnvelope& envelope, FundingChoice choice, Amount typed);

// Moving money from one envelope to another ("Move money..."). The envelopes offered: every
// visible envelope but the card charges' own, whose balance follows the cards.
std::vector<AccountEnvelope*> movableEnvelopes(const Budget& budget);
// Why the move cannot be made (a message), empty when it can.
QString moveMoneyProblem(const Budget& budget, const MoveMoneyForm& form);
// Makes the move when it can be made; false (and nothing changed) otherwise.
bool moveMoney(Budget& budget, const MoveMoneyForm& form);

// Funding a folder.
Amount availableDollars(const Budget& budget);
Amount costToFullyFund(const AccountGroup& folder);
QString fundFolderSummary(const Budget& budget, const AccountGroup& folder);
// Sets every envelope of the folder to its monthly budget (savings goals: adds it).
void fundFolderEnvelopes(AccountGroup& folder);

// Asked before a reconciled transaction's amount, account or date changes, or before it is
// deleted: names the statement it was reconciled with. Empty when none is reconciled.
QString reconciledChangeQuestion(const Budget& budget,
                                 const std::vector<const Transaction*>& transactions);
class Shell;
// Asks it (when there is something to ask); true to go ahead.
bool confirmReconciledChange(Shell& shell, const std::vector<const Transaction*>& transactions);

// The one question before deleting transactions.
QString deleteQuestion(const Budget& budget, const std::vector<const Transaction*>& transactions);
// Takes each transaction out of the budget through its ledger (balances reversed).
void removeTransactions(Budget& budget, const std::vector<const Transaction*>& transactions);

// "Confirm Hide" question for an account, folder or envelope.
QString hideQuestion(const AccountBase& item);

// Help texts shown in the information pane while a dialog is open.
struct HelpText {
    QString heading;
    QStringList body;
};
HelpText transactionHelp();
HelpText depositHelp();
HelpText transferHelp();
HelpText cardPaymentHelp();
HelpText fundEnvelopeHelp();
HelpText fundEnvelopesHelp();
HelpText moveMoneyHelp();
HelpText accountHelp();
HelpText folderHelp();
HelpText envelopeHelp();
HelpText hideHelp();
