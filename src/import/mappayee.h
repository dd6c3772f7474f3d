#pragma once
// Which budget payee and envelope an incoming statement payee maps to: the first matching
// rule, else a guess from the earliest transaction whose payee begins the same way. An
// envelope that no longer exists maps to none, so the row must be assigned by hand.

#include "model/items.h"

#include <QHash>
#include <QString>
#include <vector>

class Budget;
struct PayeeMappingRule;

struct PayeeMapping {
    QString payee;
    ItemId envelopeId = kNoId;
    // The earlier payee the mapping was guessed from; empty when a rule gave it (or nothing
    // did). A guess can pair unrelated payees that merely begin alike.
    bool deposit = false; // a rule makes the payee's rows deposits
    bool guessed = false;
    QString guessedFrom;
    bool isGuess() const { return guessed && envelopeId != kNoId; }
};

PayeeMapping mapPayee(const Budget& budget, const QString& incoming);

// The same answers as mapPayee for many payees at once: the history is indexed once, so each
// lookup costs a walk through the rules and a few hash look-ups instead of a walk through
// every transaction. Build it again after rules or transactions change.
class PayeeMapper {
public:
    explicit PayeeMapper(const Budget& budget);
    PayeeMapping map(const QString& incoming) const;

private:
    const Budget& budget_;
    std::vector<PayeeMappingRule> rules_;
    // Folded key (at most 5 code units) -> position of the first transaction with that key.
    QHash<QString, qsizetype> firstByKey_;
};
