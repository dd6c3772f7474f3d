#include "gui/payeecompletion.h"

#include "model/budget.h"

#include <QCollator>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QLocale>
#include <QStringListModel>
#include <algorithm>
#include <set>
#include <vector>

QStringList distinctPayees(const Budget& budget) {
    std::set<QString> payees; // QString's operator< is the code-unit order
    for (const auto& t : budget.transactions())
        if (!t->payee.isEmpty())
            payees.insert(t->payee);
    return QStringList(payees.begin(), payees.end());
}

namespace {
// One collator for the default locale, made again when a test switches the locale.
const QCollator& pickerCollator() {
    static QCollator collator;
    static QString collatorLocale;
    const QLocale locale;
    if (collatorLocale.isNull() || locale.name() != collatorLocale) {
        collator = QCollator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collatorLocale = locale.name();
    }
    return collator;
}

bool lessWith(const QCollator& collator, const QString& a, const QString& b) {
    const int byLocale = collator.compare(a.toCaseFolded(), b.toCaseFolded());
    if (byLocale != 0)
        return byLocale < 0;
    return a < b;
}
// Letter case of a-z only: "É" and "é" stay different.
bool equalIgnoringAsciiCase(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    const auto lower = [](char16_t c) -> char16_t {
        return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
    };
    for (qsizetype i = 0; i < a.size(); ++i)
        if (lower(a.at(i).unicode()) != lower(b.at(i).unicode()))
            return false;
    return true;
}
} // namespace

bool pickerTextLess(const QString& a, const QString& b) {
    return lessWith(pickerCollator(), a, b);
}

int insertSorted(QComboBox* combo, const QString& text, const QVariant& data) {
    // Binary search for the first entry that sorts after the new text.
    int lo = 0;
    int hi = combo->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (pickerTextLess(text, combo->itemText(mid)))
            hi = mid;
        else
            lo = mid + 1;
    }
    combo->insertItem(lo, text, data);
    return lo;
}

bool fillPayeeChoices(QComboBox* combo, const Budget& budget, const QString& preselect) {
    const QStringList payees = distinctPayees(budget);
    combo->clear();
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->lineEdit()->setMaxLength(1023);

    // Shown sorted ignoring case; among case variants of the preselected payee the one
    // latest in code-unit order is selected.
    QString chosen;
    for (const QString& payee : payees)
        if (!preselect.isNull() && equalIgnoringAsciiCase(payee, preselect))
            chosen = payee;
    // Sort keys are computed once per payee, not once per comparison.
    const QCollator& collator = pickerCollator();
    std::vector<std::pair<QCollatorSortKey, QString>> keyed;
    keyed.reserve(payees.size());
    for (const QString& payee : payees)
        keyed.emplace_back(collator.sortKey(payee.toCaseFolded()), payee);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int byLocale = a.first.compare(b.first);
        return byLocale != 0 ? byLocale < 0 : a.second < b.second;
    });
    QStringList shown;
    shown.reserve(payees.size());
    for (const auto& entry : keyed)
        shown << entry.second;
    combo->addItems(shown);
    const bool selected = !chosen.isNull();
    combo->setCurrentIndex(selected ? int(shown.indexOf(chosen)) : -1);

    // Completion offers the list in its own (code-unit) order, matching the typed prefix
    // whatever its case.
    auto* completer = new QCompleter(new QStringListModel(payees, combo), combo);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setModelSorting(QCompleter::UnsortedModel);
    completer->setFilterMode(Qt::MatchStartsWith);
    combo->setCompleter(completer);
    // On Enter the drop-down would swap the typed text for a list entry that differs only in
    // letter case; the payee must stay exactly as typed.
    QObject::disconnect(combo->lineEdit(), &QLineEdit::returnPressed, combo, nullptr);
    QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
    return selected;
}
