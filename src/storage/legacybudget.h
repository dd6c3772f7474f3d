#pragma once
// The XML budget of older versions: read once when no workbook exists, never written.

#include <QString>
#include <vector>

class AccountBase;
class Budget;

struct LegacyLoad {
    int status = 1;                  // 0 read; anything else: the file could not be read or parsed
    std::vector<AccountBase*> items; // top-level items in document order
    QString error;
};

// Adds the file's items (with their stored ids), transactions and rules to an empty budget.
LegacyLoad loadLegacyBudget(const QString& path, Budget& budget);
