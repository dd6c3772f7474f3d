#pragma once
// Reports over time: spending per month or week, income against spending, what each
// envelope was given and spent, and net worth at each month's end. All of them read the
// budget only, and sums are kept in 64 bits (a year of a large budget can leave Amount).

#include "model/budget.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

using Cents = qint64;

// The months a report covers: from the first day of `from`'s month to the last day of `to`'s.
struct MonthRange {
    QDate from; // first day of the first month
    QDate to;   // first day of the last month
    static MonthRange of(QDate first, QDate last);
    int count() const; // months in the range, at least 1 when valid
    QDate month(int index) const { return from.addMonths(index); }
    bool isValid() const { return from.isValid() && to.isValid() && from <= to; }
};

QDate dateOf(const DateTime& dt);

// ---- Spending over time ----------------------------------------------------------------

enum class SpendingPeriod { Month, Week };
enum class SpendingGrouping { Envelope, Folder };

struct SpendingSeries {
    QString name;
    ItemId id = kNoId; // the envelope or folder; kNoId for "Other" and for no envelope
    bool other = false;
    std::vector<Cents> values; // spending per period, shown positive (refunds lower it)
    Cents total = 0;
};

struct SpendingReport {
    SpendingPeriod period = SpendingPeriod::Month;
    SpendingGrouping grouping = SpendingGrouping::Envelope;
    std::vector<QDate> periodStarts;    // weeks start on Monday
    std::vector<Cents> totals;          // per period, all groups
    std::vector<SpendingSeries> series; // the largest groups by total, then "Other"
    QDate periodEnd(int index) const;   // last day of a period
};

// Expenses (refunds included with their sign) in the range, grouped by envelope or by the
// envelope's folder; the `top` largest groups keep their name, the rest are summed as "Other".
SpendingReport spendingOverTime(const Budget& budget, const MonthRange& range,
                                SpendingPeriod period, SpendingGrouping grouping, int top = 10);

// The expenses counted in the period (from first to last day), oldest first.
std::vector<const Transaction*> expensesBetween(const Budget& budget, QDate first, QDate last);

// ---- Income and spending -----------------------------------------------------------------

struct IncomeSpendingMonth {
    QDate month;
    Cents income = 0;   // deposits
    Cents spending = 0; // expenses shown positive, refunds lower it
    Cents difference() const { return income - spending; } // saved (positive) or overspent
};
std::vector<IncomeSpendingMonth> incomeAndSpending(const Budget& budget, const MonthRange& range);

// ---- Envelope history -------------------------------------------------------------------
// Funding is not recorded in the history, so it is estimated the way the program funds: each
// month opens with the envelope set to its monthly budget (a savings goal gets the budget
// added); an envelope without a monthly budget is taken as given just what its month needed.
// The month of today (or of the envelope's last transaction, if later) closes at the stored
// balance, so the difference from the estimate lands in that month's funding. Expenses
// then run through the zero floor in time order, and what it drops is reported.

struct EnvelopeMonth {
    QDate month;
    Cents funded = 0;  // estimated funding, plus money the card rule moved in or out
    Cents spent = 0;   // the envelope's own transactions, shown positive
    Cents balance = 0; // at the month's end
    Cents dropped = 0; // spending the zero floor swallowed (overspending)
};

struct EnvelopeHistory {
    ItemId id = kNoId;
    QString name;
    QString folder;
    std::vector<EnvelopeMonth> months; // one per month of the range
};

// Every envelope (hidden ones only when they moved in the range), ascending id.
std::vector<EnvelopeHistory> envelopeHistory(const Budget& budget, const MonthRange& range,
                                             const DateTime& now);

// ---- Net worth --------------------------------------------------------------------------

struct NetWorthMonth {
    QDate month;
    Cents inBudget = 0;
    Cents offBudget = 0;
    Cents cards = 0;
    Cents total() const { return inBudget + offBudget + cards; }
};
// Balances of all accounts (hidden ones too) at each month's end: today's balances with the
// later transactions taken back.
std::vector<NetWorthMonth> netWorth(const Budget& budget, const MonthRange& range);

// ---- Tables (CSV, print, the window's lists) ----------------------------------------------

struct ReportTable {
    QString title;
    QStringList headers;
    std::vector<QStringList> rows;
};

// Amounts in the currency form (asCurrency) or the plain decimal form that spreadsheets read.
QString moneyText(Cents value, bool asCurrency);
QString monthText(QDate month); // "2025-03"

ReportTable spendingTable(const SpendingReport& report, bool asCurrency);
ReportTable incomeSpendingTable(const std::vector<IncomeSpendingMonth>& months, bool asCurrency);
ReportTable envelopeHistoryTable(const std::vector<EnvelopeHistory>& envelopes, bool asCurrency);
ReportTable netWorthTable(const std::vector<NetWorthMonth>& months, bool asCurrency);

// RFC 4180 text. A text cell that a spreadsheet would run as a formula (=, +, -, @ first) is
// given a leading apostrophe; amounts are written as numbers.
QString toCsv(const ReportTable& table);
