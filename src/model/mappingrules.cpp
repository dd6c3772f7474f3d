#include "model/mappingrules.h"

#include <QChar>
#include <QList>
#include <QStringList>

QString replaceReservedCharacters(const QString& text) {
    static const QString reserved = QStringLiteral("<>:\"\\/|?*");
    QString result = text;
    for (QChar& c : result) {
        if (reserved.contains(c))
            c = QLatin1Char('_');
    }
    return result;
}

namespace {
bool sameCharIgnoringCase(char32_t a, char32_t b) {
    return a == b || QChar::toCaseFolded(a) == QChar::toCaseFolded(b);
}

// One alternative against the whole text: "*" any run, "?" one character. Greedy matching
// with a single backtrack point keeps it linear in practice and free of recursion.
bool globMatch(const QList<uint>& text, const QList<uint>& pattern) {
    qsizetype t = 0, p = 0;
    qsizetype starPattern = -1, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starText = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || sameCharIgnoringCase(pattern[p], text[t]))) {
            ++p;
            ++t;
        } else if (starPattern >= 0) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}
} // namespace

bool wildcardMatch(const QString& text, const QString& pattern) {
    if (text.isEmpty() || pattern.isEmpty())
        return false;
    const QList<uint> textPoints = text.toUcs4();
    for (const QString& part : pattern.split(QLatin1Char(';'))) {
        qsizetype start = 0;
        while (start < part.size() && part[start] == QLatin1Char(' '))
            ++start;
        const QString alternative = part.mid(start);
        if (alternative.isEmpty())
            continue;
        if (alternative == QLatin1String("*.*"))
            return true;
        if (globMatch(textPoints, alternative.toUcs4()))
            return true;
    }
    return false;
}

void MappingRuleSet::addMappingRule(const QString& match, ItemId envelopeId, bool replaceReserved,
                                    const QString& payee, bool deposit) {
    const QString key =
        replaceReserved && !match.isEmpty() ? replaceReservedCharacters(match) : match;
    PayeeMappingRule& rule = rules_[key];
    rule.match = key;
    rule.payee = payee;
    rule.envelopeId = deposit ? kNoId : envelopeId;
    rule.deposit = deposit;
}

namespace {
QChar foldAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return u >= 'a' && u <= 'z' ? QChar(char16_t(u - 'a' + 'A')) : c;
}

bool equalFoldingAscii(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldAsciiLetter(a[i]) != foldAsciiLetter(b[i]))
            return false;
    }
    return true;
}
} // namespace

void MappingRuleSet::removeRulesEqualTo(const QString& text) {
    if (text.isEmpty())
        return;
    for (auto it = rules_.begin(); it != rules_.end();) {
        if (equalFoldingAscii(it->first, text))
            it = rules_.erase(it);
        else
            ++it;
    }
}

const PayeeMappingRule* MappingRuleSet::find(const QString& match) const {
    auto it = rules_.find(match);
    return it == rules_.end() ? nullptr : &it->second;
}

std::vector<PayeeMappingRule> MappingRuleSet::rules() const {
    std::vector<PayeeMappingRule> result;
    result.reserve(rules_.size());
    for (const auto& [key, rule] : rules_)
        result.push_back(rule);
    return result;
}
