#pragma once
// Reading a worksheet's XML into cells: the whole document, or its rows piece after piece.
// Private to the reader.

#include "storage/xlsxreader.h"

#include <QByteArrayView>
#include <string_view>
#include <unordered_map>

namespace pugi {
class xml_node;
}

// Whether the bytes are UTF-8 text without NUL (other control characters pass: earlier versions
// of this program wrote them into formula results).
bool isXmlText(const char* data, size_t size);

// Whether a part's bytes are UTF-8, judged from its first bytes.
bool isUtf8Part(QByteArrayView start);

// Reads the cells of one worksheet into parts of it. Each text is parsed in place, so its bytes
// change and must outlive the parse; names and values are read from them, and only text cells
// become QStrings.
class SheetCells {
public:
    // maxCells bounds the cells of all parts read together.
    SheetCells(const std::vector<QString>& shared, qint64 maxCells)
        : shared_(shared), maxCells_(maxCells) {}

    // A whole worksheet document; utf8 when its bytes are known to be UTF-8, else pugixml
    // converts them from the encoding they declare.
    bool readDocument(char* data, size_t size, bool utf8, XlsxSheet::Part& part);
    // Rows cut out of a sheetData (UTF-8), the pieces in document order: a row without a
    // number follows the last row of the piece before.
    bool readPiece(char* data, size_t size, XlsxSheet::Part& part);

    QString why() const { return why_; }
    // The last read stopped at the bound on cells, which reading the sheet again whole would
    // only meet later.
    bool tooManyCells() const { return tooMany_; }
    qint64 cellCount() const { return count_; }

private:
    using Stored = XlsxSheet::Stored;
    bool parse(char* data, size_t size, bool piece, bool utf8, XlsxSheet::Part& part);
    bool readRows(const pugi::xml_node& sheetData);
    bool readCell(const pugi::xml_node& c);
    quint32 addString(const QString& s);
    quint32 internFormula(const char* text);
    quint32 internText(const char* text);

    const std::vector<QString>& shared_;
    const qint64 maxCells_;
    qint64 count_ = 0; // in the parts finished before the current one
    XlsxSheet::Part* part_ = nullptr;
    // Texts already stored in the current part, by their bytes in the parsed text.
    std::unordered_map<std::string_view, quint32> formulas_;
    std::unordered_map<std::string_view, quint32> texts_;
    quint32 row_ = 0;
    quint32 col_ = 0;
    bool sorted_ = true;
    bool tooMany_ = false;
    QString why_;
};
