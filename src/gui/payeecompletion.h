#pragma once
// Payee fields: an editable drop-down of every payee already used in the budget, with
// case-insensitive prefix completion from the same list.

#include <QString>
#include <QStringList>

class Budget;
class QComboBox;

// Distinct non-empty payees of all transactions, distinct by exact text and ordered by
// UTF-16 code units ("SHELL" before "Shell").
QStringList distinctPayees(const Budget& budget);

// True when a should be listed before b: case-folded text in the locale's order, the exact
// text breaking ties so that the order is total.
bool pickerTextLess(const QString& a, const QString& b);

// Adds an entry to a drop-down at the place that keeps it sorted by pickerTextLess,
// whatever order the entries arrive in; returns its index.
int insertSorted(QComboBox* combo, const QString& text, const QVariant& data);

// Fills an editable combo box with the payees (shown sorted), attaches completion and
// selects the entry equal to preselect ignoring case. Returns whether one was selected;
// the edit text is not touched otherwise.
bool fillPayeeChoices(QComboBox* combo, const Budget& budget, const QString& preselect);
