#pragma once
// The "Schedules" sheet: one row per scheduled transaction, after "Settings". Its first
// columns are those of the Transactions sheet (the next due date in place of the date);
// the rule, the mode and the count of occurrences done follow. A workbook without the
// sheet simply has no schedules, and programs that do not know it leave it alone.

#include "model/items.h"

#include <functional>
#include <optional>
#include <xlsxwriter.h>

class Budget;
class XlsxReader;
class XlsxSheet;

struct ScheduleSheetStyles {
    lxw_format* header;
    lxw_format* text;
    lxw_format* money;
    lxw_format* date;
};

// Writes the item reference of a 1-based cell (a blank text cell when the item has none);
// 0 or the library's status.
using ReferenceWriter = std::function<int(lxw_worksheet*, int row, int col, ItemId)>;
// The item a reference cell names, as the other sheets were read.
using ReferenceResolver = std::function<std::optional<ItemId>(const XlsxSheet&, int row, int col)>;

// Adds the sheet when the budget has schedules; 0 or the library's status.
int writeSchedulesSheet(lxw_workbook* wb, const Budget& budget, const ScheduleSheetStyles& styles,
                        const ReferenceWriter& reference);
void readSchedulesSheet(const XlsxReader& doc, Budget& budget, const ReferenceResolver& resolve);
