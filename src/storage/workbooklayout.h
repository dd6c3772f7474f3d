#pragma once
// The workbook's sheets and columns, shared by the writer and the reader.
//
// Each data sheet is one line of TALLYKEEP_DATA_SHEETS (in workbook order, after the overview)
// and each of its columns one line of its TALLYKEEP_<Sheet>_COLUMNS list (in column order:
// the name the code uses, then the header text the file shows). Appending a column or a sheet
// is one line here; the writer then fills the new column and the reader reads it.

#include <QString>
#include <span>

// Sheet(identifier, sheet name, column width)
#define TALLYKEEP_DATA_SHEETS(SHEET)                                                               \
    SHEET(Accounts, "Accounts", 15)                                                                \
    SHEET(Folders, "Folders", 15)                                                                  \
    SHEET(Categories, "Categories", 15)                                                            \
    SHEET(Transactions, "Transactions", 15)                                                        \
    SHEET(Settings, "Settings", 25)

#define TALLYKEEP_Accounts_COLUMNS(COLUMN)                                                         \
    COLUMN(Name, "Account name")                                                                   \
    COLUMN(Type, "Type")                                                                           \
    COLUMN(Balance, "Balance")                                                                     \
    COLUMN(InBudget, "InBudget")                                                                   \
    COLUMN(Hidden, "Hidden")                                                                       \
    COLUMN(LastImport, "Last import")                                                              \
    COLUMN(StatementColumns, "Statement columns")                                                  \
    COLUMN(ReconciledDate, "Reconciled")                                                           \
    COLUMN(ReconciledBalance, "Reconciled balance")                                                \
    COLUMN(StatementDate, "Statement date")                                                        \
    COLUMN(StatementBalance, "Statement balance")

#define TALLYKEEP_Folders_COLUMNS(COLUMN)                                                          \
    COLUMN(Name, "Folder name")                                                                    \
    COLUMN(Limit, "Folder")                                                                        \
    COLUMN(Hidden, "Hidden")                                                                       \
    COLUMN(ReadOnly, "Read Only")

#define TALLYKEEP_Categories_COLUMNS(COLUMN)                                                       \
    COLUMN(Name, "Expense name")                                                                   \
    COLUMN(Folder, "Folder Id")                                                                    \
    COLUMN(Budgeted, "Budgeted")                                                                   \
    COLUMN(Balance, "Balance")                                                                     \
    COLUMN(Hidden, "Hidden")                                                                       \
    COLUMN(ReadOnly, "Read Only")                                                                  \
    COLUMN(DefaultPayee, "default Payee")                                                          \
    COLUMN(DefaultAmount, "default Amount")                                                        \
    COLUMN(DefaultPayer, "default Payer Id")                                                       \
    COLUMN(Flags, "Flags")                                                                         \
    COLUMN(SavingsGoal, "Savings goal")                                                            \
    COLUMN(CreatedDate, "Created Date")

#define TALLYKEEP_Transactions_COLUMNS(COLUMN)                                                     \
    COLUMN(Date, "Date")                                                                           \
    COLUMN(Payee, "Payee")                                                                         \
    COLUMN(Amount, "Amount")                                                                       \
    COLUMN(Envelope, "Expense")                                                                    \
    COLUMN(AccountFrom, "Account From")                                                            \
    COLUMN(AccountTo, "Account To")                                                                \
    COLUMN(Description, "Description")                                                             \
    COLUMN(Type, "Type")                                                                           \
    COLUMN(BankId, "Bank Id")                                                                      \
    COLUMN(Cleared, "Cleared")                                                                     \
    COLUMN(ClearedTo, "Cleared to")                                                                \
    COLUMN(Split, "Split")

#define TALLYKEEP_Settings_COLUMNS(COLUMN)                                                         \
    COLUMN(Match, "Imported payee")                                                                \
    COLUMN(Payee, "Maps to payee")                                                                 \
    COLUMN(Envelope, "Maps to expense")                                                            \
    COLUMN(Deposit, "Deposit")

namespace Workbook {

// The overview sheet comes first; its version cell is M6.
inline constexpr char kOverviewSheet[] = "Budget";
inline constexpr int kVersionRow = 6;
inline constexpr int kVersionColumn = 13;

struct SheetLayout {
    const char* name;
    double width;                         // of every column up to widthColumns()
    std::span<const char* const> headers; // column A first
    int position;                         // 1-based place among all sheets

    int columns() const { return int(headers.size()); }
    // At least A to I, and every column the sheet has.
    int widthColumns() const { return columns() > 9 ? columns() : 9; }
    // The part a writer of this workbook stores the sheet in.
    QString partName() const { return QStringLiteral("xl/worksheets/sheet%1.xml").arg(position); }
    // What a reference formula to this sheet's row holds, without its "=": Folders!A3.
    QString rowReference(int row) const {
        return QStringLiteral("%1!A%2").arg(QLatin1StringView(name)).arg(row);
    }
};

namespace detail {
enum SheetIndex : int {
#define TALLYKEEP_SHEET_INDEX(id, sheetName, width) id##Index,
    TALLYKEEP_DATA_SHEETS(TALLYKEEP_SHEET_INDEX)
#undef TALLYKEEP_SHEET_INDEX
};
} // namespace detail

// Per sheet: Workbook::Accounts::Balance is the 1-based column number, Workbook::Accounts::kLayout
// the sheet's name, width and headers.
#define TALLYKEEP_COLUMN_ENUM(id, header) id,
#define TALLYKEEP_COLUMN_HEADER(id, header) header,
#define TALLYKEEP_SHEET_NAMESPACE(id, sheetName, width)                                            \
    namespace id {                                                                                 \
    enum Column : int { BeforeFirstColumn, TALLYKEEP_##id##_COLUMNS(TALLYKEEP_COLUMN_ENUM) };      \
    inline constexpr const char* kHeaders[] = {TALLYKEEP_##id##_COLUMNS(TALLYKEEP_COLUMN_HEADER)}; \
    inline constexpr SheetLayout kLayout{sheetName, width, kHeaders, detail::id##Index + 2};       \
    }
TALLYKEEP_DATA_SHEETS(TALLYKEEP_SHEET_NAMESPACE)
#undef TALLYKEEP_SHEET_NAMESPACE
#undef TALLYKEEP_COLUMN_HEADER
#undef TALLYKEEP_COLUMN_ENUM

// Every data sheet in workbook order.
inline constexpr const SheetLayout* kDataSheets[] = {
#define TALLYKEEP_SHEET_POINTER(id, sheetName, width) &id::kLayout,
    TALLYKEEP_DATA_SHEETS(TALLYKEEP_SHEET_POINTER)
#undef TALLYKEEP_SHEET_POINTER
};

} // namespace Workbook
