#include "checks.h"

#include "import/csvreader.h"
#include "import/ofxreader.h"
#include "import/qifreader.h"
#include "import/statementreader.h"
#include "model/budget.h"
#include "storage/legacybudget.h"
#include "storage/workbook.h"
#include "storage/workbooklayout.h"
#include "storage/xlsxreader.h"
#include "storagetestkit.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

namespace fuzzcheck {

namespace {

// One scratch folder per process; the readers take paths.
QString scratchFile(const char* name) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tallykeep-fuzz-XXXXXX"));
    return dir.filePath(QString::fromLatin1(name));
}

QString write(const char* name, const QByteArray& bytes) {
    const QString path = scratchFile(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("fuzz: cannot write %s", qPrintable(path));
    return path;
}

// Loads as the budget file does at start-up; status 0 when it loaded.
WorkbookLoad loadInto(const QString& path, Budget& budget) {
    WorkbookLoad r = loadWorkbook(path, budget);
    if (r.status == 0)
        for (AccountBase* item : r.items)
            budget.showTopLevel(item);
    return r;
}

// Whether a record's key cell ends its sheet: no value (a blank), an empty text, or a number
// whose whole part is 0 (a date key).
bool endsSheet(const XlsxCell& key) {
    switch (key.valueType()) {
    case XlsxValueType::Empty:
        return true;
    case XlsxValueType::Text:
        return key.toText().trimmed().isEmpty();
    case XlsxValueType::Integer:
    case XlsxValueType::Float:
        return std::trunc(key.toDouble()) == 0;
    default:
        return false;
    }
}

// Every row up to the first empty key cell is a record or is reported: no row is lost
// without a word. Rules are left out: a rule without its envelope is dropped by design.
QString rowsAccountedFor(const QString& path, const Budget& budget, const WorkbookLoad& load) {
    XlsxReader doc;
    if (!doc.open(path))
        return QStringLiteral("the loaded workbook does not open again");
    const std::pair<const Workbook::SheetLayout*, size_t> sheets[] = {
        {&Workbook::Accounts::kLayout, budget.itemsOfType(ItemType::Account).size()},
        {&Workbook::Folders::kLayout, budget.itemsOfType(ItemType::Folder).size()},
        {&Workbook::Categories::kLayout, budget.itemsOfType(ItemType::Envelope).size()},
        {&Workbook::Transactions::kLayout, budget.transactions().size()},
    };
    for (const auto& [layout, records] : sheets) {
        const XlsxSheet* s = doc.sheet(QLatin1StringView(layout->name));
        if (!s)
            continue;
        qint64 rows = 0;
        for (int row = 2; row <= Workbook::kMaxDataRows + 1 && !endsSheet(s->cell(row, 1)); ++row)
            ++rows;
        const auto leftOut = load.rowsLeftOut.find(QString::fromLatin1(layout->name));
        if (leftOut != load.rowsLeftOut.end())
            rows -= leftOut->second;
        if (qint64(records) < rows)
            return QStringLiteral("%1: %2 records for %3 rows not reported")
                .arg(QLatin1StringView(layout->name))
                .arg(records)
                .arg(rows);
    }
    return {};
}

QString firstDifference(const QStringList& before, const QStringList& after) {
    for (qsizetype i = 0; i < std::max(before.size(), after.size()); ++i) {
        const QString a = i < before.size() ? before[i] : QStringLiteral("<none>");
        const QString b = i < after.size() ? after[i] : QStringLiteral("<none>");
        if (a != b)
            return QStringLiteral("line %1: '%2' became '%3'").arg(i).arg(a, b);
    }
    return {};
}

QString sheetPackage(const QByteArray& sheetXml) {
    const QByteArray workbook =
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheets><sheet name=\"S\" sheetId=\"1\"/></sheets></workbook>";
    const QByteArray shared =
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<si><t>zero</t></si><si><t>one</t></si><si><r><t>t</t></r><r><t>wo</t></r></si></sst>";
    const QString path = scratchFile("sheet.xlsx");
    if (!kit::writeZip(path, {{QStringLiteral("xl/workbook.xml"), workbook},
                              {QStringLiteral("xl/sharedStrings.xml"), shared},
                              {QStringLiteral("xl/worksheets/sheet1.xml"), sheetXml}}))
        qFatal("fuzz: cannot write %s", qPrintable(path));
    return path;
}

// Every cell in the area a small input can reach, and the count of all cells.
QStringList cellsOf(const XlsxReader& reader) {
    const XlsxSheet* s = reader.sheet(QStringLiteral("S"));
    if (!s)
        return {QStringLiteral("no sheet")};
    QStringList out{QStringLiteral("cells=%1").arg(s->cellCount())};
    for (int row = 1; row <= 300; ++row)
        for (int col = 1; col <= 40; ++col) {
            const XlsxCell c = s->cell(row, col);
            if (c.valueType() != XlsxValueType::Empty || c.hasFormula())
                out << QStringLiteral("%1 %2 %3 =%4")
                           .arg(XlsxReader::cellAddress(row, col))
                           .arg(int(c.valueType()))
                           .arg(c.toText(), c.formula());
        }
    return out;
}

} // namespace

// What every statement reader promises of the rows it gives.
static QString recordsCheck(quint32 status, const std::vector<ImportRecord>& records) {
    if (status != 0)
        return records.empty() ? QString()
                               : QStringLiteral("records kept after status %1").arg(status);
    if (records.size() > size_t(kMaxQifRecords))
        return QStringLiteral("%1 records").arg(records.size());
    for (const ImportRecord& r : records) {
        // A record without a payee line or memo is imported with an empty payee.
        if (r.incomingPayee.size() > kMaxQifValueLength)
            return QStringLiteral("payee of length %1").arg(r.incomingPayee.size());
        if (r.amount == 0)
            return QStringLiteral("zero amount");
        const DateTime& d = r.date;
        if (!QDate(d.year, d.month, d.day).isValid() || d.hour || d.minute || d.second ||
            d.milliseconds)
            return QStringLiteral("date %1-%2-%3 %4:%5:%6")
                .arg(d.year)
                .arg(d.month)
                .arg(d.day)
                .arg(d.hour)
                .arg(d.minute)
                .arg(d.second);
    }
    return {};
}

QString qif(const QByteArray& bytes) {
    std::vector<ImportRecord> records;
    return recordsCheck(readQifBytes(bytes, records), records);
}

QString ofx(const QByteArray& bytes) {
    std::vector<ImportRecord> records;
    const QString fault =
        recordsCheck(readOfxBytesUnguarded(ofxWithAccountBlock(bytes), records), records);
    if (!fault.isEmpty())
        return fault;
    for (const ImportRecord& r : records)
        if (r.memo.size() > kMaxQifValueLength || r.bankId.size() > kMaxQifValueLength)
            return QStringLiteral("memo or bank id too long");
    return {};
}

QString csv(const QByteArray& bytes) {
    const CsvColumns columns = detectCsvColumns(bytes);
    // The mapping is kept in the budget file and must come back as it was.
    if (columns.usable() && CsvColumns::fromText(columns.toText()) != columns)
        return QStringLiteral("mapping text does not read back: %1").arg(columns.toText());
    if (csvRows(bytes, columns.delimiter, 20).size() > 20)
        return QStringLiteral("preview longer than asked");
    std::vector<ImportRecord> records;
    return recordsCheck(readCsvBytes(bytes, columns, records), records);
}

QString workbook(const QByteArray& bytes) {
    Budget budget;
    const QString path = write("load.xlsx", bytes);
    const WorkbookLoad r = loadInto(path, budget);
    if (r.status != 0)
        return {};
    kit::snapshot(budget); // walks every item and sums every balance
    return rowsAccountedFor(path, budget, r);
}

QString sheetPaths(const QByteArray& sheetXml) {
    const QString path = sheetPackage(sheetXml);
    XlsxReader whole;
    XlsxReader::Limits inOne;
    inOne.piecesFrom = std::numeric_limits<qint64>::max();
    whole.setLimits(inOne);
    XlsxReader pieces;
    XlsxReader::Limits inPieces;
    inPieces.piecesFrom = 0;
    inPieces.pieceBytes = 64; // pieces of about 64 bytes, cut while the sheet inflates
    pieces.setLimits(inPieces);
    const bool wholeOpen = whole.open(path);
    const bool piecesOpen = pieces.open(path);
    if (wholeOpen != piecesOpen)
        return QStringLiteral("whole %1, in pieces %2 (%3)")
            .arg(wholeOpen ? "opened" : "refused", piecesOpen ? "opened" : "refused",
                 wholeOpen ? pieces.errorText() : whole.errorText());
    if (!wholeOpen)
        return {};
    return firstDifference(cellsOf(whole), cellsOf(pieces));
}

QString legacy(const QByteArray& bytes) {
    Budget budget;
    LegacyLoad r = loadLegacyBudget(write("load.xml", bytes), budget);
    if (r.status != 0)
        return {};
    for (AccountBase* item : r.items)
        budget.showTopLevel(item);
    kit::snapshot(budget);
    return {};
}

QString roundTrip(const QByteArray& bytes) {
    Budget first;
    const QString firstPath = write("first.xlsx", bytes);
    const WorkbookLoad firstLoad = loadInto(firstPath, first);
    if (firstLoad.status != 0)
        return {};
    if (const QString lost = rowsAccountedFor(firstPath, first, firstLoad); !lost.isEmpty())
        return lost;
    const std::vector<AccountBase*> items = first.topLevelItemsForSave();
    if (largestSheetRecordCount(first, items) > Workbook::kMaxDataRows)
        return {};
    const QString saved = scratchFile("second.xlsx");
    const int status = writeWorkbookFile(saved, first, items);
    if (status != 0)
        return QStringLiteral("saving failed: %1").arg(saveErrorText(status));
    Budget second;
    const WorkbookLoad secondLoad = loadInto(saved, second);
    if (secondLoad.status != 0)
        return QStringLiteral("the saved budget does not load");
    // What the program writes it reads whole.
    if (!secondLoad.unreadable.empty())
        return QStringLiteral("the saved budget has unreadable rows: %1")
            .arg(describeUnreadableRows(secondLoad.unreadable, secondLoad.unreadableTotal, 3));
    return firstDifference(kit::snapshot(first), kit::snapshot(second));
}

Check byTarget(const QString& target) {
    if (target == u"qif")
        return qif;
    if (target == u"ofx")
        return ofx;
    if (target == u"csv")
        return csv;
    if (target == u"workbook")
        return workbook;
    if (target == u"sheet")
        return sheetPaths;
    if (target == u"legacy")
        return legacy;
    if (target == u"roundtrip")
        return roundTrip;
    return nullptr;
}

} // namespace fuzzcheck
