#pragma once
// Amount and text fields of the operation dialogs.

#include "model/money.h"

#include <QString>

class QComboBox;
class QLineEdit;

// Texts read from dialog fields are limited to this many characters.
constexpr int kFieldTextLimit = 1023;

// Sets the field's text to the currency form of the amount.
void formatAmountIntoControl(QLineEdit* field, Amount amount);
// The typed text (at most kFieldTextLimit characters) read as cents in the default locale
// (parseTypedAmount); a text still as formatAmountIntoControl left it gives back that amount.
Amount readAmountFromControl(const QLineEdit* field);

// The first limit characters of a text, one fewer when the cut would split a surrogate pair.
QString cutText(const QString& text, int limit);

// A field's text, cut to kFieldTextLimit characters.
QString readFieldText(const QLineEdit* field);
QString readFieldText(const QComboBox* field);
// Makes a line edit refuse text beyond the limit.
void limitFieldText(QLineEdit* field);
