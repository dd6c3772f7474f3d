#pragma once
// Which budget file the program opens, and the one name that every spelling of it shares.

#include <QString>

// The budget to open, as an absolute path. A non-empty argument names it (relative to the
// working folder); an argument naming a legacy ".xml" budget opens the workbook beside it, so
// the old file is read but never replaced. Without an argument: the workbook beside the
// program when the user may write in that folder and it is not the folder the program was
// installed into, else userDataBudgetPath().
QString chooseBudgetPath(const QString& argument, const QString& executablePath);

// $XDG_DATA_HOME/tallykeep/tallykeep.xlsx, or ~/.local/share/tallykeep/tallykeep.xlsx when
// that variable is unset, empty or not an absolute path.
QString userDataBudgetPath();

// The name of the one instance that may hold a budget: the same for every spelling of one
// file (relative, through a link, with ".."), whether or not the file exists yet.
QString budgetIdentity(const QString& budgetPath);
