#pragma once
// The rules by which the columns of a CSV statement are told apart: header words per role in
// the languages banks write them, and what the values of a column must look like to hold
// that role. The proposal (detectCsvColumns), the column step, the command line and the tests
// all go by these.

#include <QString>
#include <QStringList>

enum class CsvRole {
    None, // the header names nothing known: the values may tell
    Date,
    Payee,
    Memo,
    Amount,  // one signed amount
    Debit,   // money out
    Credit,  // money in
    Sign,    // marks the amount beside it as money out or in ("D"/"C", "Af"/"Bij")
    Balance, // the running balance: never the amount
    Other    // an account, card or IBAN number, a fee, a currency: never taken for a role
};

// The role a column's header names, by whole words or whole phrases (never a word inside a
// longer one: "Debit Amount" is a debit column, "Account Name" no payee, "Year to Date Fees"
// no date). When several phrases fit, the longest decides, then the role listed first in
// CsvRole's order from Other back to Date, so that "Debit Amount" is Debit, not Amount.
// rank (when given) is how telling the phrase is: lower is better ("Buchungstag" before
// "Wertstellung").
CsvRole headerRole(const QString& header, int* rank = nullptr);

// The header as the rules compare it: lower case, accents dropped ("Débit" is "debit"),
// every run of other characters one blank, currency codes left out.
QString headerWords(const QString& header);

// The marks of a sign column.
bool isOutMark(const QString& text);
bool isInMark(const QString& text);

// A value that reads as a date in some order.
bool readsAsDate(const QString& text);
// A value that reads as an amount (with either decimal separator) and is no date.
bool looksLikeMoney(const QString& text);
// A value that is an identifier rather than money: an ISIN or IBAN, a masked card number,
// or nine or more digits without a separator.
bool looksLikeIdentifier(const QString& text);

// What the values of one column show (the rows below the header, blank ones not counted).
struct ColumnEvidence {
    int filled = 0;
    double dates = 0;          // share of values that read as dates
    double money = 0;          // share that read as amounts
    double text = 0;           // share that is not mostly digits
    double marks = 0;          // share that is an out or in mark
    bool identifiers = false;  // mostly identifiers, or digits of one width (account numbers)
    bool constant = false;     // one value on every row (of three or more)
    bool wideDecimals = false; // amounts with more than two decimals (rates, prices)
    bool cents = false;        // most amounts have a decimal part (quantities do not)
    // Holds money as a column the header calls so must: amounts, not identifiers, not rates.
    bool namedMoney() const { return filled > 0 && money >= 0.5 && !identifiers && !wideDecimals; }
    // Holds money as a transaction column without a telling header: also varying.
    bool moneyColumn() const { return namedMoney() && !constant; }
    bool dateColumn() const { return filled > 0 && dates >= 0.6; }
    bool textColumn() const { return filled > 0 && text >= 0.5 && dates < 0.5; }
    bool namedSign() const { return filled > 0 && marks >= 0.5; }
    bool signColumn() const { return filled > 0 && marks >= 0.8; }
};
ColumnEvidence columnEvidence(const QList<QStringList>& rows, int column);

// The name of the role a proposal lacks for want of a column that passed ("date",
// "amount"), or empty when it has both.
QString csvMissingRole(bool hasDate, bool hasMoney);
