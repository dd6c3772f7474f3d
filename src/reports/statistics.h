#pragma once
// Expense sums per envelope behind the Reports window, with its once-per-opening warning
// about too little history.

#include "model/budget.h"

#include <map>

class Prompter;

// One per opening of the Reports window: the warning is given at most once.
struct ReportState {
    bool warned = false;
};

// Sums the Expense transactions passing the filters (0 or less = any) per envelope id, in
// ascending id order. Warns through the prompter when fewer than 61 days of data are counted.
std::map<ItemId, Amount> expensesByEnvelope(ReportState& state, Prompter& prompter,
                                            const Budget& budget, int month, int year);

// The days between now and the earliest counted expense (now when none counts), whole part.
int daysOfExpenseData(const Budget& budget, int month, int year);
