#include "import/mappayee.h"

#include "model/budget.h"

namespace {
QString foldAsciiLetters(const QString& text) {
    QString folded = text;
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if (u >= 'a' && u <= 'z')
            c = QChar(char16_t(u - 'a' + 'A'));
    }
    return folded;
}

// The part of an earlier payee compared with the incoming text: a payee of up to five code
// units whole, a longer one by its first four.
QString historyKey(const QString& payee) {
    return payee.size() > 5 ? payee.left(4) : payee;
}

const PayeeMappingRule* firstMatchingRule(const std::vector<PayeeMappingRule>& rules,
                                          const QString& incoming) {
    if (incoming.isEmpty())
        return nullptr;
    for (const PayeeMappingRule& rule : rules)
        if (!rule.match.isEmpty() && wildcardMatch(incoming, rule.match))
            return &rule;
    return nullptr;
}

PayeeMapping fromRule(const Budget& budget, const PayeeMappingRule& rule) {
    PayeeMapping result;
    result.payee = rule.payee;
    result.deposit = rule.deposit;
    if (budget.findEnvelope(rule.envelopeId))
        result.envelopeId = rule.envelopeId;
    else if (!rule.deposit && budget.findAccount(rule.envelopeId))
        result.account = rule.envelopeId;
    return result;
}

PayeeMapping fromTransaction(const Budget& budget, const Transaction& t) {
    PayeeMapping result;
    result.payee = t.payee;
    if (budget.findEnvelope(t.category))
        result.envelopeId = t.category;
    result.guessed = true;
    result.guessedFrom = t.payee;
    return result;
}
} // namespace

PayeeMapping mapPayee(const Budget& budget, const QString& incoming) {
    const std::vector<PayeeMappingRule> rules = budget.rules().rules();
    if (const PayeeMappingRule* rule = firstMatchingRule(rules, incoming))
        return fromRule(budget, *rule);
    const QString foldedIncoming = foldAsciiLetters(incoming);
    for (const auto& t : budget.transactions()) {
        const QString key = historyKey(t->payee);
        if (key.size() <= incoming.size() &&
            foldAsciiLetters(key) == QStringView(foldedIncoming).left(key.size()))
            return fromTransaction(budget, *t);
    }
    return {};
}

PayeeMapper::PayeeMapper(const Budget& budget) : budget_(budget), rules_(budget.rules().rules()) {
    const auto& transactions = budget.transactions();
    for (qsizetype i = 0; i < qsizetype(transactions.size()); ++i) {
        const Transaction& t = *transactions[i];
        const QString key = foldAsciiLetters(historyKey(t.payee));
        const auto note = [&](History history) {
            if (!firstByKey_[history].contains(key))
                firstByKey_[history].insert(key, i);
        };
        note(Any);
        if (t.type == TransactionType::Deposit && t.amount > 0)
            note(In);
        else if (t.type == TransactionType::Expense && t.amount < 0)
            note(Out);
    }
}

PayeeMapping PayeeMapper::map(const QString& incoming) const {
    if (const PayeeMappingRule* rule = firstMatchingRule(rules_, incoming))
        return fromRule(budget_, *rule);
    return guess(incoming, Any);
}

PayeeMapping PayeeMapper::map(const QString& incoming, Amount amount) const {
    if (const PayeeMappingRule* rule = firstMatchingRule(rules_, incoming))
        return fromRule(budget_, *rule);
    PayeeMapping mapping = guess(incoming, amount > 0 ? In : Out);
    // Money in is guessed from a deposit: it is one again, never an envelope's.
    if (amount > 0 && mapping.guessed) {
        mapping.envelopeId = kNoId;
        mapping.deposit = true;
    }
    return mapping;
}

PayeeMapping PayeeMapper::guess(const QString& incoming, History history) const {
    // Every key that is a prefix of the incoming text qualifies; the earliest one wins.
    const QString folded = foldAsciiLetters(incoming);
    const QHash<QString, qsizetype>& keys = firstByKey_[history];
    qsizetype best = -1;
    for (qsizetype length = 0; length <= qMin<qsizetype>(5, folded.size()); ++length) {
        const auto it = keys.constFind(folded.left(length));
        if (it != keys.cend() && (best < 0 || *it < best))
            best = *it;
    }
    if (best < 0)
        return {};
    return fromTransaction(budget_, *budget_.transactions()[size_t(best)]);
}
