#pragma once
// Payee mapping rules: wildcard patterns that map incoming statement payees to the
// budget's own payee and envelope. Kept in plain UTF-16 code-unit order of the pattern.

#include "model/items.h"

#include <QString>
#include <map>
#include <vector>

struct PayeeMappingRule {
    QString match;
    QString payee;
    ItemId envelopeId = kNoId;
    bool deposit = false; // the payee's rows are deposits (envelopeId is then none)
    bool operator==(const PayeeMappingRule&) const = default;
};

// < > : " \ / | ? * become "_".
QString replaceReservedCharacters(const QString& text);

// File-name pattern matching: whole text, "*" any run, "?" one character, others match
// ignoring case, ";" separates alternatives (leading blanks skipped), "*.*" matches all.
// An empty text or pattern never matches.
bool wildcardMatch(const QString& text, const QString& pattern);

class MappingRuleSet {
public:
    void addMappingRule(const QString& match, ItemId envelopeId, bool replaceReserved,
                        const QString& payee, bool deposit = false);
    void removeRulesEqualTo(const QString& text); // ignoring case
    const PayeeMappingRule* find(const QString& match) const;
    std::vector<PayeeMappingRule> rules() const; // in set order
    int size() const { return int(rules_.size()); }
    void clear() { rules_.clear(); }
    bool operator==(const MappingRuleSet&) const = default;

private:
    // QString's operator< is the plain UTF-16 code-unit order.
    std::map<QString, PayeeMappingRule> rules_;
};
