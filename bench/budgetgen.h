#pragma once
// A deterministic, realistically shaped large budget for benchmarks: 10 accounts (one a credit
// card), 20 folders, 250 envelopes, ~40 mapping rules and the given number of transactions of
// all four types over the three years before Clock::now(), with balances applied.

#include "model/budget.h"

#include <memory>

std::unique_ptr<Budget> generateBudget(int transactionCount, quint32 seed = 1);
