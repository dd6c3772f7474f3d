#pragma once
// Scheduled transactions: a transaction that comes again and again (the rent, the salary),
// the rule that says when, and the arithmetic of which occurrences are due.

#include "model/transaction.h"

#include <QDate>
#include <QString>
#include <vector>

class Budget;

enum class RepeatUnit : quint8 { Days = 0, Weeks = 1, Months = 2, Years = 3 };
// What happens to an occurrence that falls on a Saturday or Sunday.
enum class WeekendRule : quint8 { Keep = 0, Before = 1, After = 2 };
enum class ScheduleMode : quint8 { Automatic = 0, AskMe = 1 };

struct Schedule {
    // The transaction each occurrence records (its date aside).
    TransactionType type = TransactionType::Expense;
    Amount amount = 0; // stored sign as for a transaction of its type
    ItemId category = kNoId;
    ItemId accountFrom = kNoId;
    ItemId accountTo = kNoId;
    QString payee;
    QString description;

    // The rule: occurrence k falls on first + k * every units.
    RepeatUnit unit = RepeatUnit::Months;
    int every = 1;
    bool lastDayOfMonth = false; // months: the month's last day instead of first's day
    QDate first;
    QDate until;   // invalid: no end date
    int count = 0; // 0: no limit on the number of occurrences
    WeekendRule weekend = WeekendRule::Keep;
    // A bill that varies: an import row within this many percent of the amount still matches.
    int aboutPercent = 0;
    ScheduleMode mode = ScheduleMode::Automatic;

    // Occurrences already entered or skipped; the next one is occurrence `done`.
    int done = 0;

    bool operator==(const Schedule&) const = default;
};

struct Occurrence {
    int index = 0; // k
    QDate date;    // the day it is due, weekends moved by the rule
};

// The calendar day of occurrence k before the weekend rule; invalid for a broken rule.
QDate nominalDate(const Schedule& s, int index);
// The day occurrence k is due (weekend rule applied); invalid when the schedule has ended
// before it.
QDate occurrenceDate(const Schedule& s, int index);
// The next occurrence not yet entered or skipped; index -1 when the schedule has ended.
Occurrence nextOccurrence(const Schedule& s);
// Occurrences from the next one on that are due on or before the day, oldest first. At most
// `limit` of them, so a schedule left alone for years cannot flood the budget.
std::vector<Occurrence> dueOccurrences(const Schedule& s, const QDate& day, int limit = 1000);
// Occurrences from the next one on that fall within [from, to].
std::vector<Occurrence> occurrencesBetween(const Schedule& s, const QDate& from, const QDate& to,
                                           int limit = 400);
// True when the rule can produce dates at all (every >= 1, a first date).
bool isValidRule(const Schedule& s);

// Where a schedule whose rule changed goes on: its first occurrence after the last one the
// old rule entered, so nothing entered comes again and nothing between is passed by.
int resumeIndex(const Schedule& changed, const Schedule& old);

// An amount "about" the schedule's: within its percentage range (exact when 0).
bool amountMatches(const Schedule& s, Amount amount);

// The transaction an occurrence on that day records (at the present time of day).
Transaction occurrenceTransaction(const Schedule& s, const QDate& day);
// Records one occurrence as a transaction on its day and moves balances. Does not advance
// the schedule.
const Transaction* recordOccurrence(Budget& budget, const Schedule& s, const QDate& day);

// The accounts (and envelope) the schedule's transaction needs all exist.
bool isRecordable(const Budget& budget, const Schedule& s);

// Records every due occurrence of the "enter automatically" schedules up to the day and
// advances them; returns how many were recorded.
int enterDueOccurrences(Budget& budget, const QDate& today);
// The same for one schedule (its place in the budget's list).
int enterDueOccurrences(Budget& budget, std::size_t index, const QDate& today);

// One line of the upcoming list.
struct UpcomingEntry {
    std::size_t schedule = 0; // place in the budget's list
    Occurrence occurrence;
    bool due = false;  // on or before today
    bool next = false; // the schedule's next occurrence: the one that can be entered or skipped
};
// Every occurrence due by today that is not entered yet, and those of the next `days` days,
// by date (schedules in their order on the same day).
std::vector<UpcomingEntry> upcomingEntries(const Budget& budget, const QDate& today, int days = 30);

// An occurrence as an account's register shows it ahead of time: what entering it would
// record, and the account's balance after it.
struct ProjectedEntry {
    UpcomingEntry entry;
    Transaction transaction;
    std::int64_t balance = 0;
};
// The upcoming list's occurrences (those waiting and those of the next `days` days) of the
// schedules whose money leaves or enters the account, by date, with a running balance that
// continues from `balance` (the account's today).
std::vector<ProjectedEntry> projectedEntries(const Budget& budget, ItemId account,
                                             std::int64_t balance, const QDate& today,
                                             int days = 30);

// The earliest next occurrence among the schedules that charge the envelope; index -1 if none.
// Its schedule's place goes to *schedule.
Occurrence nextDueForEnvelope(const Budget& budget, ItemId envelope, std::size_t* schedule);

// What the envelope's expense schedules still have due from today to the end of this month
// (occurrences not yet entered, earlier ones that wait included), as a positive amount.
Amount dueThisMonth(const Budget& budget, ItemId envelope, const QDate& today);
// Raises each envelope of the folder that holds less than dueThisMonth to that amount; an
// envelope that holds enough keeps its money. Returns how many envelopes were raised.
int fundToCoverDue(Budget& budget, AccountGroup& folder, const QDate& today);

// "Entered 3 scheduled transactions" ("Entered 1 scheduled transaction").
QString enteredMessage(int count);

// A date-only DateTime (00:00) and back.
QDate toQDate(const DateTime& dt);
DateTime atStartOfDay(const QDate& day);
