#pragma once
// The "State of the Budget" report as styled runs, built fresh from the budget.

#include "model/styledtext.h"

class Budget;

StyledText buildBudgetHealth(const Budget& budget);
