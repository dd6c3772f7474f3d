#pragma once
// A statement row that is a scheduled transaction coming in: the same account, a day near
// the occurrence's, the amount exact or within the schedule's "about" range.

#include "import/qifreader.h"

#include <vector>

class Budget;
struct Transaction;

// Days a statement row may lie before or after the occurrence it settles.
inline constexpr int kScheduleMatchDays = 4;

// The schedule whose next occurrence the row settles; -1 when none.
int scheduleForRow(const Budget& budget, ItemId account, const ImportRecord& record);

// The transaction a schedule already entered (or the user entered from the upcoming list)
// that the row is: an occurrence before the schedule's next one, within a few days of the
// row, recorded in the account with an amount in the schedule's range, as is the row's. The
// exact-amount rule for repeats misses such a row when the bill came in a little different.
const Transaction* enteredOccurrenceFor(const Budget& budget, ItemId account,
                                        const ImportRecord& record);

// Rows that no rule mapped take the payee and envelope of the schedule they settle.
void mapRowsToSchedules(const Budget& budget, ItemId account, std::vector<ImportRecord>& records);

// After the rows are recorded: each one that settles an occurrence counts as its entry, so
// the schedule does not enter it again. Returns how many occurrences were settled.
int settleScheduledOccurrences(Budget& budget, ItemId account,
                               const std::vector<ImportRecord>& recorded);
