#include "model/budget.h"
#include "model/clock.h"
#include "storage/schedulesheet.h"
#include "storage/workbook.h"
#include "storage/workbooklayout.h"

#include <QDate>
#include <QFile>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <locale.h>
#include <map>
#include <set>
#include <xlsxwriter.h>
#include <zip.h>

namespace {

// A written item's row: the reference formula of its name cell and the name that cell holds
// (stored as the formula's result, so readers that do not recalculate show the name).
struct RowReference {
    QByteArray formula;
    QByteArray name;   // as in the name cell
    QByteArray result; // the name as a formula result: the library writes results as they are
};

// Control characters other than tab and line feed cannot stand in the XML. The library writes
// them in text cells as "_xHHHH_" but formula results unchanged, which made the whole file
// unreadable once a named item with one was referenced; results get the library's own escape.
QByteArray escapeControlCharacters(const QByteArray& utf8) {
    char* escaped = lxw_escape_control_characters(utf8.constData());
    if (!escaped)
        throw std::bad_alloc();
    const QByteArray out(escaped);
    std::free(escaped);
    return out;
}

// By item id. One per save.
using RowReferenceMap = std::map<ItemId, RowReference>;

// libxlsxwriter prints numbers with printf, which follows LC_NUMERIC: a comma-decimal locale
// would corrupt every number. The C locale is used on this thread while the workbook exists.
class CNumericScope {
public:
    CNumericScope() {
        c_ = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        if (c_)
            previous_ = uselocale(c_);
    }
    ~CNumericScope() {
        if (c_) {
            uselocale(previous_);
            freelocale(c_);
        }
    }
    CNumericScope(const CNumericScope&) = delete;
    CNumericScope& operator=(const CNumericScope&) = delete;

private:
    locale_t c_ = locale_t(nullptr);
    locale_t previous_ = locale_t(nullptr);
};

struct DataStyles {
    lxw_format* header;
    lxw_format* text;
    lxw_format* money;
    lxw_format* date;
};

DataStyles addDataStyles(lxw_workbook* wb) {
    DataStyles s;
    s.header = workbook_add_format(wb);
    format_set_bold(s.header);
    format_set_align(s.header, LXW_ALIGN_LEFT);
    format_set_pattern(s.header, LXW_PATTERN_SOLID);
    format_set_bg_color(s.header, 0xC8C8C8);

    s.text = workbook_add_format(wb);
    format_set_align(s.text, LXW_ALIGN_LEFT);
    format_set_pattern(s.text, LXW_PATTERN_SOLID);
    format_set_bg_color(s.text, 0xEEEEEE);

    s.money = workbook_add_format(wb);
    format_set_align(s.money, LXW_ALIGN_CENTER);
    format_set_pattern(s.money, LXW_PATTERN_SOLID);
    format_set_bg_color(s.money, 0xEEEEEE);
    format_set_num_format(s.money, "$#,##0.00");

    s.date = workbook_add_format(wb);
    format_set_align(s.date, LXW_ALIGN_LEFT);
    format_set_pattern(s.date, LXW_PATTERN_SOLID);
    format_set_bg_color(s.date, 0xEEEEEE);
    format_set_num_format(s.date, "m/d/yyyy");
    return s;
}

// Row and column are 1-based here, as in the layout's description.
class SheetWriter {
public:
    // Starts a data sheet: its header row and column widths.
    SheetWriter(lxw_worksheet* ws, const Workbook::SheetLayout& layout, const DataStyles& s)
        : ws_(ws), s_(s) {
        int col = 0;
        for (const char* header : layout.headers)
            check(worksheet_write_string(ws_, 0, lxw_col_t(col++), header, s_.header));
        check(worksheet_set_column(ws_, 0, lxw_col_t(layout.widthColumns() - 1), layout.width,
                                   nullptr));
    }

    void text(int row, int col, const QString& value) {
        const QByteArray utf8 = cellTextUtf8(value);
        check(worksheet_write_string(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), utf8.constData(),
                                     s_.text));
    }
    void latin(int row, int col, const char* value) {
        check(worksheet_write_string(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), value, s_.text));
    }
    void yesNo(int row, int col, bool value) { latin(row, col, value ? "yes" : "no"); }
    void money(int row, int col, qint64 cents) {
        // Cents / 100 is the double nearest to the plain decimal form "%d.%02d".
        check(worksheet_write_number(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1),
                                     double(cents) / 100.0, s_.money));
    }
    void date(int row, int col, const DateTime& dt) {
        check(worksheet_write_number(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), serialDayOf(dt),
                                     s_.date));
    }
    lxw_format* dateStyle() const { return s_.date; }
    void number(int row, int col, double value, lxw_format* style) {
        check(worksheet_write_number(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), value, style));
    }
    void number(int row, int col, double value) {
        check(worksheet_write_number(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), value, s_.text));
    }
    // A reference formula with the name it points at, or a blank text-style cell when there is
    // none.
    void reference(int row, int col, const RowReference* ref) {
        if (ref)
            check(worksheet_write_formula_str(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1),
                                              ref->formula.constData(), s_.text,
                                              ref->result.constData()));
        else
            check(worksheet_write_blank(ws_, lxw_row_t(row - 1), lxw_col_t(col - 1), s_.text));
    }
    lxw_error status() const { return status_; }

private:
    void check(lxw_error e) {
        if (e != LXW_NO_ERROR && status_ == LXW_NO_ERROR)
            status_ = e;
    }
    lxw_worksheet* ws_;
    DataStyles s_;
    lxw_error status_ = LXW_NO_ERROR;
};

// The folders written to "Folders", in order: each folder of the item list followed by any
// folder nested in it. The format has no nesting, so a nested folder becomes a row of its own
// rather than being lost with its envelopes.
std::vector<const AccountGroup*> foldersInSheetOrder(const std::vector<AccountBase*>& items) {
    std::vector<const AccountGroup*> out;
    std::set<const AccountGroup*> seen;
    std::function<void(const AccountGroup*)> add = [&](const AccountGroup* folder) {
        if (!seen.insert(folder).second)
            return;
        out.push_back(folder);
        for (const AccountBase* child : folder->children())
            if (child->getType() == ItemType::Folder)
                add(static_cast<const AccountGroup*>(child));
    };
    for (const AccountBase* item : items)
        if (item->getType() == ItemType::Folder)
            add(static_cast<const AccountGroup*>(item));
    return out;
}

const RowReference* lookup(const RowReferenceMap& map, ItemId id) {
    const auto it = map.find(id);
    return it == map.end() ? nullptr : &it->second;
}

QByteArray formatted(const char* pattern, int a, int b = 0) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, pattern, a, b);
    return QByteArray(buffer);
}

RowReference rowReference(const Workbook::SheetLayout& sheet, int row, const QString& name) {
    RowReference ref{'=' + sheet.rowReference(row).toLatin1(), cellTextUtf8(name), {}};
    ref.result = escapeControlCharacters(ref.name);
    return ref;
}

struct WriteContext {
    lxw_workbook* wb;
    const Budget& budget;
    const std::vector<AccountBase*>& items;
    RowReferenceMap refs;
    lxw_worksheet* budgetSheet = nullptr;
    std::vector<const AccountEnvelope*> categoryRows; // the envelope of each row from row 2
    // The library merges identical formats into one style, but only the first of them learns
    // its style index; cells written with a duplicate pay a hash lookup each. So the data
    // sheets share one set (the file is the same).
    DataStyles dataStyles{};
    DateTime now{};
};

int writeBudgetBanner(WriteContext& c) {
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, Workbook::kOverviewSheet);
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    c.budgetSheet = ws;
    worksheet_set_column(ws, 0, 25, 12, nullptr);

    auto bannerStyle = [&](double size) {
        lxw_format* f = workbook_add_format(c.wb);
        format_set_font_color(f, 0xCCE0F2);
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, 0x334960);
        format_set_font_size(f, size);
        return f;
    };
    lxw_format* banner = bannerStyle(11);
    lxw_format* title = bannerStyle(12);
    format_set_bold(title);
    format_set_italic(title);
    format_set_underline(title, LXW_UNDERLINE_SINGLE);
    lxw_format* blurb = bannerStyle(11);
    format_set_text_wrap(blurb);
    format_set_align(blurb, LXW_ALIGN_VERTICAL_TOP);

    lxw_error status = LXW_NO_ERROR;
    auto check = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && status == LXW_NO_ERROR)
            status = e;
    };
    for (lxw_row_t r = 0; r < 6; ++r)
        for (lxw_col_t col = 0; col < 13; ++col)
            check(worksheet_write_blank(ws, r, col, banner));
    check(worksheet_merge_range(ws, 0, 0, 0, 3, "TALLYKEEP BUDGET", title));
    check(worksheet_merge_range(ws, 0, 7, 0, 12,
                                "THIS BUDGET IS INTENDED TO BE EDITED IN TALLYKEEP", banner));
    check(worksheet_merge_range(
        ws, 2, 0, 3, 12,
        "Tallykeep is a free budget and cash flow tracking application for Linux "
        "that saves its data in the Excel file format. Any spreadsheet program opens this file.",
        blurb));
    // The row kept for a web address stays in the layout, empty: no page is linked.
    check(worksheet_merge_range(ws, 5, 0, 5, 7, "", banner));
    check(worksheet_write_string(ws, 5, 11, "version", banner));
    check(worksheet_write_string(ws, Workbook::kVersionRow - 1, Workbook::kVersionColumn - 1,
                                 Workbook::kVersion, banner));
    return status;
}

int writeAccountsSheet(WriteContext& c) {
    namespace A = Workbook::Accounts;
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, A::kLayout.name);
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    SheetWriter w(ws, A::kLayout, c.dataStyles);
    int row = 2;
    for (AccountBase* item : c.items) {
        if (item->getType() != ItemType::Account)
            continue;
        auto* a = static_cast<const Account*>(item);
        w.text(row, A::Name, a->getName());
        w.latin(row, A::Type, a->isCCAccount() ? "credit card" : "account");
        w.money(row, A::Balance, a->getBalance());
        w.yesNo(row, A::InBudget, a->contributesToBudget());
        w.yesNo(row, A::Hidden, a->isHidden());
        w.date(row, A::LastImport, a->lastImport());
        if (!a->statementColumns().isEmpty())
            w.text(row, A::StatementColumns, a->statementColumns());
        // Empty cells for a checkpoint never made, as a file from before them has.
        if (a->reconciledDate().isSet()) {
            w.date(row, A::ReconciledDate, a->reconciledDate());
            w.money(row, A::ReconciledBalance, a->reconciledBalance());
        }
        if (a->statementDate().isSet()) {
            w.date(row, A::StatementDate, a->statementDate());
            w.money(row, A::StatementBalance, a->statementBalance());
        }
        c.refs[a->id()] = rowReference(A::kLayout, row, a->getName());
        ++row;
    }
    return w.status();
}

int writeFoldersSheet(WriteContext& c) {
    namespace F = Workbook::Folders;
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, F::kLayout.name);
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    SheetWriter w(ws, F::kLayout, c.dataStyles);
    int row = 2;
    for (const AccountGroup* f : foldersInSheetOrder(c.items)) {
        w.text(row, F::Name, f->getName());
        w.money(row, F::Limit, -qint64(f->expenseLimit()));
        w.yesNo(row, F::Hidden, f->isHidden());
        w.yesNo(row, F::ReadOnly, f->isReadOnly());
        c.refs[f->id()] = rowReference(F::kLayout, row, f->getName());
        ++row;
    }
    return w.status();
}

int writeCategoriesSheet(WriteContext& c) {
    namespace C = Workbook::Categories;
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, C::kLayout.name);
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    SheetWriter w(ws, C::kLayout, c.dataStyles);
    int row = 2;
    for (const AccountGroup* item : foldersInSheetOrder(c.items)) {
        const std::vector<AccountBase*> children = item->children();
        for (AccountBase* child : children) {
            if (child->getType() != ItemType::Envelope)
                continue;
            auto* e = static_cast<const AccountEnvelope*>(child);
            w.text(row, C::Name, e->getName());
            w.reference(row, C::Folder, lookup(c.refs, item->id()));
            w.money(row, C::Budgeted, e->getBudgeted());
            w.money(row, C::Balance, e->getBalance());
            w.yesNo(row, C::Hidden, e->isHidden());
            w.yesNo(row, C::ReadOnly, e->isReadOnly());
            w.text(row, C::DefaultPayee, e->defaultPayee());
            w.money(row, C::DefaultAmount, e->defaultAmount());
            const ItemId payer = e->defaultPayFromAccount();
            w.reference(row, C::DefaultPayer, payer == kNoId ? nullptr : lookup(c.refs, payer));
            w.number(row, C::Flags, e->id() == kChargesEnvelopeId ? 1 : 0);
            w.money(row, C::SavingsGoal, e->savingsGoal());
            w.date(row, C::CreatedDate, e->createdDate());
            c.refs[e->id()] = rowReference(C::kLayout, row, e->getName());
            c.categoryRows.push_back(e);
            ++row;
        }
    }
    return w.status();
}

// The type word of the "Type" column; one the sheet does not know is written "Unknown".
const char* typeText(TransactionType type) {
    static const QByteArray names[] = {
        transactionTypeName(TransactionType::Expense).toLatin1(),
        transactionTypeName(TransactionType::Deposit).toLatin1(),
        transactionTypeName(TransactionType::Transfer).toLatin1(),
        transactionTypeName(TransactionType::CCPayment).toLatin1(),
    };
    const auto index = size_t(type);
    return index < std::size(names) ? names[index].constData() : "Unknown";
}

int writeTransactionsSheet(WriteContext& c) {
    namespace T = Workbook::Transactions;
    // This sheet is written row by row, so it is streamed to its part as it is written instead
    // of the library keeping every cell in search trees and every text in a shared table until
    // the end: half of a save's time with 100,000 transactions. Its texts become inline strings.
    // The other sheets stay buffered: the overview writes its cells out of row order.
    c.wb->options.constant_memory = LXW_TRUE;
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, T::kLayout.name);
    c.wb->options.constant_memory = LXW_FALSE;
    if (!ws) // the sheet's temporary file is made here; that, not memory, is what fails
        return LXW_ERROR_CREATING_TMPFILE;
    SheetWriter w(ws, T::kLayout, c.dataStyles);
    const auto& list = c.budget.transactions();
    int row = 2;
    // Newest first: the list is oldest first.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const Transaction& t = **it;
        // A date of 0 ends the sheet for the reader, so a transaction dated 30 December 1899
        // (what an unreadable statement date becomes) or not dated at all would vanish, and
        // every row after it: such a date is written as the day after.
        const int serial = serialDayOf(t.transactionTime);
        w.number(row, T::Date, serial == 0 ? 1 : serial, w.dateStyle());
        w.text(row, T::Payee, t.payee);
        w.money(row, T::Amount, t.amount);
        w.reference(row, T::Envelope, lookup(c.refs, t.category));
        w.reference(row, T::AccountFrom, lookup(c.refs, t.accountFrom));
        w.reference(row, T::AccountTo, lookup(c.refs, t.accountTo));
        w.text(row, T::Description, t.description);
        w.latin(row, T::Type, typeText(t.type));
        if (!t.bankId.isEmpty())
            w.text(row, T::BankId, t.bankId);
        // "Cleared" is the side a deposit or expense has (a deposit's is its to-account's);
        // "Cleared to" the receiving side of a transfer or card payment. Empty: uncleared.
        const bool deposit = t.type == TransactionType::Deposit;
        if (const char* word = clearedStateWord(deposit ? t.clearedTo : t.clearedFrom))
            w.latin(row, T::Cleared, word);
        if (!deposit)
            if (const char* word = clearedStateWord(t.clearedTo))
                w.latin(row, T::ClearedTo, word);
        if (t.split != 0)
            w.number(row, T::Split, double(t.split));
        ++row;
    }
    // The rows went to a temporary file whose write errors the library does not check (a
    // full disk drops a piece from the middle); its error flag keeps them.
    if (ws->optimize_tmpfile &&
        (std::fflush(ws->optimize_tmpfile) != 0 || std::ferror(ws->optimize_tmpfile)))
        return LXW_ERROR_CREATING_TMPFILE;
    return w.status();
}

int writeSettingsSheet(WriteContext& c) {
    namespace S = Workbook::Settings;
    lxw_worksheet* ws = workbook_add_worksheet(c.wb, S::kLayout.name);
    if (!ws)
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    SheetWriter w(ws, S::kLayout, c.dataStyles);
    int row = 2;
    for (const PayeeMappingRule& rule : c.budget.rules().rules()) {
        w.text(row, S::Match, rule.match);
        w.text(row, S::Payee, rule.payee);
        if (!rule.deposit)
            if (const RowReference* ref = lookup(c.refs, rule.envelopeId))
                w.reference(row, S::Envelope, ref);
        w.yesNo(row, S::Deposit, rule.deposit);
        ++row;
    }
    return w.status();
}

int writeSchedules(WriteContext& c) {
    const DataStyles& s = c.dataStyles;
    return writeSchedulesSheet(
        c.wb, c.budget, {s.header, s.text, s.money, s.date},
        [&](lxw_worksheet* ws, int row, int col, ItemId id) {
            const auto r = lxw_row_t(row - 1);
            const auto k = lxw_col_t(col - 1);
            if (const RowReference* ref = lookup(c.refs, id))
                return int(worksheet_write_formula_str(ws, r, k, ref->formula.constData(), s.text,
                                                       ref->result.constData()));
            return int(worksheet_write_blank(ws, r, k, s.text));
        });
}

int writeBudgetOverview(WriteContext& c) {
    lxw_worksheet* ws = c.budgetSheet;
    lxw_format* headingLarge = workbook_add_format(c.wb);
    format_set_font_size(headingLarge, 24);
    format_set_bold(headingLarge);
    format_set_font_color(headingLarge, 0xF56424);
    lxw_format* headingMedium = workbook_add_format(c.wb);
    format_set_font_size(headingMedium, 17);
    format_set_bold(headingMedium);
    format_set_font_color(headingMedium, 0xF56424);
    format_set_align(headingMedium, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* columnHead = workbook_add_format(c.wb);
    format_set_font_size(columnHead, 13);
    format_set_bold(columnHead);
    format_set_align(columnHead, LXW_ALIGN_VERTICAL_CENTER);
    lxw_format* money = workbook_add_format(c.wb);
    format_set_num_format(money, "$#,##0.00");
    lxw_format* alert = workbook_add_format(c.wb);
    format_set_font_color(alert, 0xFF0000);
    format_set_num_format(alert, "$#,##0.00");

    lxw_error status = LXW_NO_ERROR;
    auto check = [&](lxw_error e) {
        if (e != LXW_NO_ERROR && status == LXW_NO_ERROR)
            status = e;
    };
    // 1-based addresses below, as in the layout.
    // Every formula carries the result it has today: spreadsheet programs that do not
    // recalculate on opening show the stored results.
    auto formula = [&](int row, int col, const QByteArray& f, lxw_format* fmt, qint64 cents) {
        check(worksheet_write_formula_num(ws, lxw_row_t(row - 1), lxw_col_t(col - 1), f.constData(),
                                          fmt, double(cents) / 100.0));
    };
    auto nameFormula = [&](int row, int col, const QByteArray& f, const QByteArray& name) {
        check(worksheet_write_formula_str(ws, lxw_row_t(row - 1), lxw_col_t(col - 1), f.constData(),
                                          nullptr, name.constData()));
    };
    auto text = [&](int row, int col, const char* s, lxw_format* fmt) {
        check(worksheet_write_string(ws, lxw_row_t(row - 1), lxw_col_t(col - 1), s, fmt));
    };
    auto merge = [&](int r1, int c1, int r2, int c2, const char* s, lxw_format* fmt) {
        check(worksheet_merge_range(ws, lxw_row_t(r1 - 1), lxw_col_t(c1 - 1), lxw_row_t(r2 - 1),
                                    lxw_col_t(c2 - 1), s, fmt));
    };
    auto negativeAlert = [&](int row, int col) {
        lxw_conditional_format cf = {};
        cf.type = LXW_CONDITIONAL_TYPE_CELL;
        cf.criteria = LXW_CONDITIONAL_CRITERIA_LESS_THAN;
        cf.value = 0;
        cf.format = alert;
        check(worksheet_conditional_format_cell(ws, lxw_row_t(row - 1), lxw_col_t(col - 1), &cf));
    };

    merge(8, 2, 9, 5, "Monthly Budget", headingLarge);
    merge(8, 8, 9, 11, "Monthly Folder", headingLarge);
    merge(12, 2, 13, 6, "Expenses", headingMedium);
    merge(12, 8, 13, 12, "Folder", headingMedium);

    const DateTime now = c.now;
    text(10, 2, "Totals for", nullptr);
    text(10, 3, "Month:", nullptr);
    text(11, 3, "Year:", nullptr);
    check(worksheet_write_number(ws, 9, 3, now.month, nullptr));
    check(worksheet_write_number(ws, 10, 3, now.year, nullptr));

    merge(14, 2, 14, 3, "Category", columnHead);
    text(14, 4, "Budgeted", columnHead);
    text(14, 5, "Actual", columnHead);
    text(14, 6, "Diff.", columnHead);

    // What the month's formulas add up: transactions dated within the month of D10/D11, by
    // the name their "Expense" cell shows (matched without regard to case, as SUMIFS does).
    const QDate monthStart(now.year, now.month, 1);
    const qint64 firstDay = monthStart.toJulianDay() - kSerialDayEpochJulianDay;
    const qint64 nextMonth = monthStart.addMonths(1).toJulianDay() - kSerialDayEpochJulianDay;
    std::map<QString, qint64> spentByName;
    qint64 deposits = 0;
    for (const auto& t : c.budget.transactions()) {
        const int written = serialDayOf(t->transactionTime);
        const qint64 serial = written == 0 ? 1 : written;
        if (serial < firstDay || serial >= nextMonth)
            continue;
        if (t->type == TransactionType::Deposit)
            deposits += t->amount;
        if (const RowReference* ref = lookup(c.refs, t->category))
            spentByName[QString::fromUtf8(ref->name).toCaseFolded()] += t->amount;
    }

    const int n = int(c.budget.itemsOfType(ItemType::Envelope).size());
    qint64 budgetedTotal = 0, actualTotal = 0;
    for (int k = 0; k < n; ++k) {
        const int r = 15 + k;
        const int cat = k + 2;
        // Envelopes whose folder has no row have no "Categories" row either; their lines
        // point at empty cells.
        const AccountEnvelope* e = size_t(k) < c.categoryRows.size() ? c.categoryRows[k] : nullptr;
        const QByteArray name = e ? cellTextUtf8(e->getName()) : QByteArray();
        const qint64 budgeted = e ? -qint64(e->getBudgeted()) : 0;
        const qint64 actual = e ? -spentByName[QString::fromUtf8(name).toCaseFolded()] : 0;
        budgetedTotal += budgeted;
        actualTotal += actual;
        merge(r, 2, r, 3, "", nullptr);
        if (e)
            nameFormula(r, 2, formatted("=Categories!A%d", cat), escapeControlCharacters(name));
        else
            formula(r, 2, formatted("=Categories!A%d", cat), nullptr, 0);
        formula(r, 4, formatted("=-Categories!C%d", cat), money, budgeted);
        formula(
            r, 5,
            formatted(
                "=-SUMIFS(Transactions!C:C, Transactions!D:D, Categories!A%d, Transactions!A:A, "
                "\">= \" & DATE(D11, D10, 1), Transactions!A:A, \"< \" & EDATE(DATE(D11, D10, 1), "
                "1))",
                cat),
            money, actual);
        formula(r, 6, formatted("=D%d-E%d", r, r), money, budgeted - actual);
        negativeAlert(r, 5);
        negativeAlert(r, 6);
    }
    const int t = n + 17;
    text(t, 2, "Totals", columnHead);
    formula(t, 4, formatted("=SUM(D%d:D%d)", 15, n + 14), money, budgetedTotal);
    formula(t, 5, formatted("=SUM(E%d:E%d)", 15, n + 14), money, actualTotal);
    formula(t, 6, formatted("=SUM(F%d:F%d)", 15, n + 14), money, budgetedTotal - actualTotal);
    negativeAlert(t, 4);
    negativeAlert(t, 5);
    negativeAlert(t, 6);

    text(15, 8, "Budgeted", columnHead);
    qint64 limits = 0;
    for (const AccountGroup* f : foldersInSheetOrder(c.items))
        limits += -qint64(f->expenseLimit());
    formula(15, 9, "=SUM(Folders!B:B)", money, limits);
    text(16, 8, "Actual", columnHead);
    formula(16, 9,
            "=SUMIFS(Transactions!C:C, Transactions!H:H, \"Deposit\", Transactions!A:A, \">= \" & "
            "DATE(D11, D10, 1), Transactions!A:A, \"< \" & EDATE(DATE(D11, D10, 1), 1))",
            money, deposits);
    text(17, 8, "Diff.", columnHead);
    formula(17, 9, "=I16-I15", money, deposits - limits);
    negativeAlert(17, 9);
    return status;
}

} // namespace

namespace {

bool isHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Readers turn "_xHHHH_" into the character HHHH (the library writes control characters that
// way), so a text that contains such a sequence literally has its "_" written as "_x005F_".
QString escapeLiteralEscapes(const QString& text) {
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size() + 12);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && isHex(text[i + 2]) &&
            isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == u'_')
            out += QStringLiteral("_x005F_");
        else
            out += text[i];
    }
    return out;
}

} // namespace

QByteArray cellTextUtf8(const QString& text) {
    QByteArray utf8 = escapeLiteralEscapes(text).toUtf8();
    if (utf8.size() > Workbook::kMaxTextBytes) {
        qsizetype cut = Workbook::kMaxTextBytes;
        // Never keep the first bytes of a sequence whose continuation would be cut off.
        while (cut > 0 && (uchar(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        utf8.truncate(cut);
    }
    return utf8;
}

QString saveErrorText(int status) {
    switch (status) {
    case Workbook::SaveTooManyRows:
        return QStringLiteral("The budget has more records than a worksheet can hold (%1 rows); "
                              "the budget file was left as it was.")
            .arg(Workbook::kMaxDataRows);
    case Workbook::SaveOutsideChange:
        return QStringLiteral("The budget file was changed by another program; it is not "
                              "overwritten.");
    case Workbook::SaveReplaceFailed:
        return QStringLiteral("The new budget file could not replace the old one; the old one "
                              "was left as it was.");
    case Workbook::SaveVerifyFailed:
        return QStringLiteral("The new budget file did not read back correctly (is the disk "
                              "full?); the old one was left as it was.");
    case Workbook::SaveDanglingLink:
        return QStringLiteral("The budget file is a link to a file that does not exist (is a "
                              "drive not connected?); the link was left as it was.");
    case Workbook::SaveUnreadableNotKept:
        return QStringLiteral("The unreadable budget file could not be copied to safety, so it "
                              "was not replaced.");
    default:
        break;
    }
    if (status < 0 || status > LXW_MAX_ERRNO)
        status = LXW_MAX_ERRNO;
    return QString::fromUtf8(lxw_strerror(lxw_error(status)));
}

qint64 largestSheetRecordCount(const Budget& budget, const std::vector<AccountBase*>& items) {
    qint64 accounts = 0, folders = 0, envelopes = 0;
    for (const AccountBase* item : items)
        accounts += item->getType() == ItemType::Account;
    for (const AccountGroup* folder : foldersInSheetOrder(items)) {
        ++folders;
        for (const AccountBase* child : folder->children())
            envelopes += child->getType() == ItemType::Envelope;
    }
    // The overview has one line per envelope from row 15 and its totals three rows below.
    const qint64 overview = qint64(budget.itemsOfType(ItemType::Envelope).size()) + 16;
    return std::max({accounts, folders, envelopes, qint64(budget.transactions().size()),
                     qint64(budget.rules().size()), overview});
}

namespace {

// The end of the transactions sheet as written: its last row is the given one, starts with a
// number (the date) in column A, and the document is complete.
bool sheetEndsAtRow(const QByteArray& tail, qint64 lastRow, bool dateInFirstCell) {
    if (!tail.trimmed().endsWith("</worksheet>"))
        return false;
    const qsizetype row = tail.lastIndexOf("<row r=\"");
    if (row < 0)
        return false;
    const qsizetype digits = row + 8;
    const qsizetype quote = tail.indexOf('"', digits);
    bool ok = false;
    if (quote < 0 || tail.mid(digits, quote - digits).toLongLong(&ok) != lastRow || !ok)
        return false;
    if (!dateInFirstCell)
        return true;
    const QByteArray first = "<c r=\"A" + QByteArray::number(lastRow) + '"';
    const qsizetype cellAt = tail.indexOf(first, quote);
    const qsizetype tagEnd = cellAt < 0 ? -1 : tail.indexOf('>', cellAt);
    return tagEnd > 0 && !tail.mid(cellAt, tagEnd - cellAt).contains(" t=\"");
}

// The file just written reads back: every entry of the package inflates to its declared size
// with a matching CRC (the library reports success even when its temporary files could not be
// written, and what it then packs is truncated or garbage), and the transactions sheet ends
// where it should. One pass over the inflated bytes; the sheet's cells are not parsed.
bool writtenWorkbookReadsBack(const QString& path, qint64 transactions) {
    int err = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!zip)
        return false;
    bool ok = true;
    bool sawTransactions = false;
    const QByteArray transactionsPart = Workbook::Transactions::kLayout.partName().toLatin1();
    const zip_int64_t entries = zip_get_num_entries(zip, 0);
    constexpr qsizetype kChunk = 1 << 16;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (zip_int64_t i = 0; ok && i < entries; ++i) {
        zip_stat_t st;
        zip_file_t* file = zip_stat_index(zip, zip_uint64_t(i), 0, &st) == 0
                               ? zip_fopen_index(zip, zip_uint64_t(i), 0)
                               : nullptr;
        if (!file) {
            ok = false;
            break;
        }
        const bool isTransactions = (st.valid & ZIP_STAT_NAME) && st.name == transactionsPart;
        QByteArray tail; // the last two chunks' worth of the transactions sheet
        zip_uint64_t total = 0;
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer.data(), zip_uint64_t(kChunk))) > 0) {
            total += zip_uint64_t(n);
            if (isTransactions) {
                tail.append(buffer.constData(), qsizetype(n));
                if (tail.size() > 2 * kChunk)
                    tail.remove(0, tail.size() - kChunk);
            }
        }
        ok = n == 0 && (!(st.valid & ZIP_STAT_SIZE) || total == st.size);
        if (ok && isTransactions) {
            sawTransactions = true;
            ok = sheetEndsAtRow(tail, transactions + 1, transactions > 0);
        }
        zip_fclose(file);
    }
    zip_discard(zip);
    return ok && sawTransactions;
}

} // namespace

int writeWorkbookFile(const QString& path, const Budget& budget,
                      const std::vector<AccountBase*>& items, const QString& tempFolder,
                      std::optional<DateTime> now) {
    if (largestSheetRecordCount(budget, items) > Workbook::kMaxDataRows)
        return Workbook::SaveTooManyRows;
    CNumericScope cLocale;
    // The library assembles each part in a temporary file; by default those land in the
    // system's temporary folder, which may be full (or small) when the budget's disk is not.
    QByteArray tmpdir = QFile::encodeName(tempFolder);
    lxw_workbook_options options = {};
    options.tmpdir = tmpdir.isEmpty() ? nullptr : tmpdir.data();
    lxw_workbook* wb = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    if (!wb)
        return LXW_ERROR_CREATING_XLSX_FILE;
    int status = 0;
    // Short of memory the library's workbook is still closed (its temporary files with it)
    // and the save fails; the budget file is untouched.
    try {
        WriteContext c{
            wb, budget, items, {}, nullptr, {}, addDataStyles(wb), now ? *now : Clock::now()};
        status = writeBudgetBanner(c);
        if (status == 0)
            status = writeAccountsSheet(c);
        if (status == 0)
            status = writeFoldersSheet(c);
        if (status == 0)
            status = writeCategoriesSheet(c);
        if (status == 0)
            status = writeTransactionsSheet(c);
        if (status == 0)
            status = writeSettingsSheet(c);
        if (status == 0)
            status = writeSchedules(c);
        if (status == 0)
            status = writeBudgetOverview(c);
    } catch (const std::bad_alloc&) {
        status = LXW_ERROR_MEMORY_MALLOC_FAILED;
    }
    const lxw_error closed = workbook_close(wb);
    releaseFreedMemory(); // the library's copy of every cell
    // A sheet step that failed leaves an incomplete workbook: that must not count as saved.
    if (closed != LXW_NO_ERROR)
        return int(closed);
    if (status != 0)
        return status;
    try {
        if (!writtenWorkbookReadsBack(path, qint64(budget.transactions().size())))
            return Workbook::SaveVerifyFailed;
    } catch (const std::bad_alloc&) {
        return LXW_ERROR_MEMORY_MALLOC_FAILED;
    }
    return 0;
}
