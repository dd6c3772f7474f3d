#pragma once
// A small reader for .xlsx workbooks: the zip package through libzip, its small XML parts
// through QXmlStreamReader and its worksheets through pugixml, in place in the inflated bytes. It
// reads cell values and formula texts (it never evaluates formulas) and accepts the variations
// other spreadsheet programs write. Everything it inflates is bounded, so a broken or hostile file
// simply fails to open.
//
// xlsxreader.cpp: the package, its relationships and shared strings; xlsxsheetxml.cpp: a
// worksheet's XML into cells; xlsxpieces.cpp: a big sheet cut into pieces as it inflates;
// xlsxcells.cpp: looking cells up once read.

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QXmlStreamReader;
struct zip_file;

enum class XlsxValueType { Empty, Integer, Float, Text, Boolean, Error };

// One cell's content as read; an absent cell reads as Empty without a formula.
class XlsxCell {
public:
    XlsxValueType valueType() const { return type_; }
    bool isNumber() const {
        return type_ == XlsxValueType::Integer || type_ == XlsxValueType::Float;
    }
    // Numbers as their shortest text, booleans "true"/"false", empty cells "".
    QString toText() const;
    qint64 toInteger() const; // numbers truncated toward zero, anything else 0
    double toDouble() const;  // numbers and booleans; anything else 0
    bool hasFormula() const { return hasFormula_; }
    QString formula() const { return formula_; } // as stored, without a leading "="

private:
    friend class XlsxSheet;
    XlsxValueType type_ = XlsxValueType::Empty;
    double number_ = 0;
    QString text_;
    QString formula_;
    bool hasFormula_ = false;
};

class XlsxSheet {
public:
    static constexpr quint32 kMaxRow = 1048576;
    static constexpr quint32 kMaxCol = 16384;

    // 1-based row and column.
    XlsxCell cell(int row, int col) const;
    int cellCount() const { return int(cellCount_); }

    // How the reader keeps the cells.
    static constexpr quint32 kNone = 0xFFFFFFFFu;
    struct Stored {
        quint32 row;
        quint32 col;
        double number;
        quint32 text;    // index into its part's strings, or kNone
        quint32 formula; // index into its part's strings, or kNone
        XlsxValueType type;
        quint32 sharedGroup = kNone; // the shared formula group ("si") the cell belongs to
    };
    // A big sheet is read in pieces; each piece stays a part of its own (copying them into one
    // would cost a tenth of a load). Parts follow each other in row order and no row spans two.
    struct Part {
        std::vector<Stored> cells; // sorted by row, then column
        std::vector<QString> strings;
    };

private:
    friend class XlsxReader;
    friend class SheetPieces;
    // Gives every cell of a shared formula group its own formula text: the group's first
    // formula with its relative references moved by the cell's distance from it.
    void resolveSharedFormulas();
    // Called once the cells are complete, so that a look-up searches one row, not the sheet.
    void indexRows();
    std::vector<Part> parts_;
    size_t cellCount_ = 0;
    // Row -> position of its first cell counted over all parts; one past the last row.
    std::vector<quint32> rowStart_;
    std::vector<quint32> partStart_; // position of each part's first cell
};

class XlsxReader {
public:
    // Bounds that keep a hostile package from exhausting memory.
    struct Limits {
        qint64 maxEntries = 10000;
        qint64 maxPartBytes = qint64(512) << 20; // inflated size of one XML part
        qint64 maxTotalBytes = qint64(1) << 30;  // of all parts read
        qint64 ratioCheckFrom = qint64(1) << 20; // parts smaller than this may compress freely
        qint64 maxInflateRatio = 200;
        // Of the whole workbook: a full transactions sheet (12 columns of 1,048,576 rows) and
        // room for the items and settings.
        qint64 maxCells = 14 * 1048576;
        qint64 maxSharedStrings = 4 * 1048576;
        qint64 piecesFrom = qint64(4) << 20; // sheets this big are parsed in pieces
        qint64 pieceBytes = qint64(2) << 20; // about what a piece holds
        // The most bytes parsed into one tree, which takes about ten times as much memory: a
        // bigger sheet that cannot be cut into pieces is refused.
        qint64 maxTreeBytes = qint64(32) << 20;
    };

    XlsxReader();
    ~XlsxReader();
    XlsxReader(const XlsxReader&) = delete;
    XlsxReader& operator=(const XlsxReader&) = delete;

    void setLimits(const Limits& limits) { limits_ = limits; }
    // Reads the package and every worksheet; false (and not open) on any failure.
    bool open(const QString& path);
    bool isOpen() const { return open_; }
    void close();
    QString errorText() const { return error_; }
    bool ranOutOfMemory() const { return outOfMemory_; } // why the last open failed

    QStringList sheetNames() const { return order_; }
    bool hasSheet(const QString& name) const;
    const XlsxSheet* sheet(const QString& name) const; // none when absent

    // "A1"-style address of a 1-based row and column.
    static QString cellAddress(int row, int col);

private:
    struct Package;
    bool fail(const QString& why);
    bool openPackage(const QString& path);
    // Streams one part of the package through the parser; false when it is absent, too
    // big, inflates suspiciously or is not well-formed.
    bool readPart(Package& pkg, const QString& name,
                  const std::function<bool(QXmlStreamReader&)>& parse);
    zip_file* openEntry(Package& pkg, const QString& name, qint64* size);
    // Reads one worksheet of at most maxCells cells.
    bool readSheet(Package& pkg, const QString& name, XlsxSheet& sheet, qint64 maxCells);
    bool parseSharedStrings(QXmlStreamReader& xml);

    Limits limits_;
    bool open_ = false;
    qint64 totalBytes_ = 0;
    QString error_;
    bool outOfMemory_ = false;
    std::vector<QString> shared_;
    QStringList order_;
    std::map<QString, std::unique_ptr<XlsxSheet>> sheets_;
};

// Decodes the "_xHHHH_" escapes the format uses for characters XML cannot carry.
QString decodeXlsxEscapes(const QString& text);

// The formula with its relative cell references (A1, $A1, A$1, Sheet!B2) moved down by rows and
// right by cols; absolute parts, texts in quotes and references that would leave the sheet
// stay as they are.
QString shiftFormulaReferences(const QString& formula, int rows, int cols);
