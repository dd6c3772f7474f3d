#include "storage/schedulesheet.h"

#include "model/budget.h"
#include "storage/workbook.h"
#include "storage/xlsxreader.h"

#include <cmath>

namespace {
enum Column {
    kNextDue = 1,
    kPayee,
    kAmount,
    kExpense,
    kFrom,
    kTo,
    kDescription,
    kType,
    kEvery,
    kUnit,
    kDay,
    kFirst,
    kUntil,
    kCount,
    kWeekend,
    kAbout,
    kMode,
    kDone,
};

const char* const kUnits[] = {"days", "weeks", "months", "years"};
const char* const kWeekends[] = {"keep", "before", "after"};
const char* const kModes[] = {"automatic", "ask me"};

template <std::size_t N>
int indexOf(const char* const (&words)[N], const QString& text, int fallback) {
    for (std::size_t i = 0; i < N; ++i)
        if (text.compare(QLatin1StringView(words[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    return fallback;
}

class Cells {
public:
    Cells(lxw_worksheet* ws, const ScheduleSheetStyles& s) : ws_(ws), s_(s) {}
    void text(int row, int col, const QString& value) {
        check(worksheet_write_string(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1),
                                     cellTextUtf8(value).constData(), s_.text));
    }
    void number(int row, int col, double value, lxw_format* style) {
        check(worksheet_write_number(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), value, style));
    }
    void date(int row, int col, const QDate& day) {
        if (day.isValid())
            number(row, col, double(day.toJulianDay() - 2415019), s_.date);
    }
    void check(lxw_error e) {
        if (e != LXW_NO_ERROR && status == LXW_NO_ERROR)
            status = e;
    }
    lxw_error status = LXW_NO_ERROR;

private:
    lxw_worksheet* ws_;
    ScheduleSheetStyles s_;
};

QDate dateCell(const XlsxSheet& s, int row, int col) {
    const XlsxCell c = s.cell(row, col);
    if (!c.isNumber() || !std::isfinite(c.toDouble()))
        return {};
    const double serial = std::trunc(c.toDouble());
    // Years 1 to 9999, as the other sheets' dates.
    if (serial < -693593 || serial > 2958465 || serial == 0)
        return {};
    return QDate::fromJulianDay(qint64(serial) + 2415019);
}

int wholeCell(const XlsxSheet& s, int row, int col, int low, int high, int fallback) {
    const XlsxCell c = s.cell(row, col);
    if (!c.isNumber() || !std::isfinite(c.toDouble()))
        return fallback;
    return int(std::clamp(std::trunc(c.toDouble()), double(low), double(high)));
}

bool rowEmpty(const XlsxSheet& s, int row) {
    for (int col = kNextDue; col <= kDone; ++col) {
        const XlsxCell c = s.cell(row, col);
        if (c.valueType() != XlsxValueType::Empty || c.hasFormula())
            return false;
    }
    return true;
}
} // namespace

int writeSchedulesSheet(lxw_workbook* wb, const Budget& budget, const ScheduleSheetStyles& styles,
                        const ReferenceWriter& reference) {
    if (budget.schedules().empty())
        return 0;
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Schedules");
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    Cells w(ws, styles);
    const char* headers[] = {"Next due",   "Payee",       "Amount", "Expense", "Account From",
                             "Account To", "Description", "Type",   "Every",   "Unit",
                             "Day",        "First",       "Until",  "Count",   "Weekend",
                             "About %",    "Mode",        "Done"};
    int col = 0;
    for (const char* h : headers)
        w.check(worksheet_write_string(ws, 0, lxw_col_t(col++), h, styles.header));
    w.check(worksheet_set_column(ws, 0, lxw_col_t(kDone - 1), 15, nullptr));
    int row = 2;
    for (const Schedule& s : budget.schedules()) {
        w.date(row, kNextDue, nextOccurrence(s).date);
        w.text(row, kPayee, s.payee);
        w.number(row, kAmount, double(s.amount) / 100.0, styles.money);
        w.check(lxw_error(reference(ws, row, kExpense, s.category)));
        w.check(lxw_error(reference(ws, row, kFrom, s.accountFrom)));
        w.check(lxw_error(reference(ws, row, kTo, s.accountTo)));
        w.text(row, kDescription, s.description);
        w.text(row, kType, transactionTypeName(s.type));
        w.number(row, kEvery, s.every, styles.text);
        w.text(row, kUnit, QLatin1StringView(kUnits[int(s.unit)]));
        if (s.lastDayOfMonth)
            w.text(row, kDay, QStringLiteral("last"));
        w.date(row, kFirst, s.first);
        w.date(row, kUntil, s.until);
        if (s.count > 0)
            w.number(row, kCount, s.count, styles.text);
        w.text(row, kWeekend, QLatin1StringView(kWeekends[int(s.weekend)]));
        w.number(row, kAbout, s.aboutPercent, styles.text);
        w.text(row, kMode, QLatin1StringView(kModes[int(s.mode)]));
        w.number(row, kDone, s.done, styles.text);
        ++row;
    }
    return w.status;
}

void readSchedulesSheet(const XlsxReader& doc, Budget& budget, const ReferenceResolver& resolve) {
    const XlsxSheet* sheet = doc.sheet(QStringLiteral("Schedules"));
    if (!sheet)
        return;
    const XlsxSheet& s = *sheet;
    for (int row = 2; row <= int(Workbook::kMaxDataRows) && !rowEmpty(s, row); ++row) {
        Schedule d;
        d.first = dateCell(s, row, kFirst);
        if (!d.first.isValid())
            continue; // no rule can be made of it
        d.payee = s.cell(row, kPayee).toText();
        d.amount = readMoneyCell(s, row, kAmount);
        d.category = resolve(s, row, kExpense).value_or(kNoId);
        d.accountFrom = resolve(s, row, kFrom).value_or(kNoId);
        d.accountTo = resolve(s, row, kTo).value_or(kNoId);
        d.description = s.cell(row, kDescription).toText();
        d.type =
            transactionTypeFromName(s.cell(row, kType).toText()).value_or(TransactionType::Expense);
        d.every = wholeCell(s, row, kEvery, 1, 1000, 1);
        d.unit = RepeatUnit(indexOf(kUnits, s.cell(row, kUnit).toText(), int(RepeatUnit::Months)));
        d.lastDayOfMonth = s.cell(row, kDay).toText().compare(u"last", Qt::CaseInsensitive) == 0;
        d.until = dateCell(s, row, kUntil);
        d.count = wholeCell(s, row, kCount, 0, 100000, 0);
        d.weekend = WeekendRule(indexOf(kWeekends, s.cell(row, kWeekend).toText(), 0));
        d.aboutPercent = wholeCell(s, row, kAbout, 0, 100, 0);
        d.mode = ScheduleMode(indexOf(kModes, s.cell(row, kMode).toText(), 1));
        if (s.cell(row, kDone).isNumber()) {
            d.done = wholeCell(s, row, kDone, 0, 100000, 0);
        } else if (const QDate next = dateCell(s, row, kNextDue); next.isValid()) {
            // A row edited by hand without the count: the first occurrence on or after the
            // next due date is the next one.
            while (d.done < 100000) {
                const QDate at = occurrenceDate(d, d.done);
                if (!at.isValid() || at >= next)
                    break;
                ++d.done;
            }
        }
        budget.schedules().push_back(std::move(d));
    }
}
