#pragma once
// Keeps a statement's closing balance on the account it was imported into, so that the next
// reconcile of the account can start from it.

#include "import/statementreader.h"

#include <optional>

class Account;

// Keeps closing (in the account's own sign, as the review compares it with the balance) unless
// the account already holds a later statement's. Nothing happens without a dated balance.
void keepStatementBalance(Account& account, const std::optional<StatementBalance>& closing);
