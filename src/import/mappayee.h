#pragma once
// Which budget payee and envelope an incoming statement payee maps to: the first matching
// rule, else a guess from the earliest transaction whose payee begins the same way. An
// envelope that no longer exists maps to none, so the row must be assigned by hand. A rule
// may name an account instead of an envelope: the payee's rows move money between the two
// accounts (a transfer, or a card payment when one of them is a card).

#include "model/items.h"

#include <QHash>
#include <QString>
#include <vector>

class Budget;
struct PayeeMappingRule;

// The envelope choice (in the rule editor and the review) that makes rows deposits.
inline const QString kDepositChoice = QStringLiteral("--deposit--");

struct PayeeMapping {
    QString payee;
    ItemId envelopeId = kNoId;
    // The earlier payee the mapping was guessed from; empty when a rule gave it (or nothing
    // did). A guess can pair unrelated payees that merely begin alike.
    bool deposit = false;   // a rule makes the payee's rows deposits
    ItemId account = kNoId; // a rule makes them transfers or card payments with this account
    bool guessed = false;
    QString guessedFrom;
    bool isGuess() const { return guessed && (envelopeId != kNoId || deposit); }
};

PayeeMapping mapPayee(const Budget& budget, const QString& incoming);

// The same answers as mapPayee for many payees at once: the history is indexed once, so each
// lookup costs a walk through the rules and a few hash look-ups instead of a walk through
// every transaction. Build it again after rules or transactions change.
class PayeeMapper {
public:
    explicit PayeeMapper(const Budget& budget);
    PayeeMapping map(const QString& incoming) const;
    // For a statement row: a guess comes only from a transaction that moved money the same
    // way (money in from a deposit, money out from an expense), so a salary is never guessed
    // into the envelope of a shop that merely begins alike. Rules apply whatever the sign.
    PayeeMapping map(const QString& incoming, Amount amount) const;

private:
    enum History { Any, In, Out };
    PayeeMapping guess(const QString& incoming, History history) const;

    const Budget& budget_;
    std::vector<PayeeMappingRule> rules_;
    // Folded key (at most 5 code units) -> position of the first transaction with that key:
    // of all transactions, of deposits, of expenses that took money out.
    QHash<QString, qsizetype> firstByKey_[3];
};
