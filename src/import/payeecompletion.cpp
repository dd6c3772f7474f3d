#include "import/payeecompletion.h"

#include "model/budget.h"

#include <QCollator>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QLocale>
#include <QStringListModel>
#include <set>

QStringList distinctPayees(const Budget& budget) {
    std::set<QString> payees; // QString's operator< is the code-unit order
    for (const auto& t : budget.transactions())
        if (!t->payee.isEmpty())
            payees.insert(t->payee);
    return QStringList(payees.begin(), payees.end());
}

bool pickerTextLess(const QString& a, const QString& b) {
    // One collator for the default locale, made again when a test switches the locale.
    static QCollator collator;
    static QString collatorLocale;
    const QLocale locale;
    if (collatorLocale.isNull() || locale.name() != collatorLocale) {
        collator = QCollator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collatorLocale = locale.name();
    }
    const int byLocale = collator.compare(a.toCaseFolded(), b.toCaseFolded());
    if (byLocale != 0)
        return byLocale < 0;
    return a < b;
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

    // Entries arrive in code-unit order; a case variant later in that order wins, as the
    // last matching entry is the one left selected.
    QString chosen;
    bool selected = false;
    for (const QString& payee : payees) {
        insertSorted(combo, payee, QVariant());
        if (!preselect.isNull() && payee.compare(preselect, Qt::CaseInsensitive) == 0) {
            chosen = payee;
            selected = true;
        }
    }
    combo->setCurrentIndex(
        selected ? combo->findText(chosen, Qt::MatchFixedString | Qt::MatchCaseSensitive) : -1);

    // Completion offers the list in its own (code-unit) order, matching the typed prefix
    // whatever its case.
    auto* completer = new QCompleter(new QStringListModel(payees, combo), combo);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setModelSorting(QCompleter::UnsortedModel);
    completer->setFilterMode(Qt::MatchStartsWith);
    combo->setCompleter(completer);
    return selected;
}
