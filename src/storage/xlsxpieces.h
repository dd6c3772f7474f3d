#pragma once
// Cutting a big worksheet's rows into pieces while it inflates. Private to the reader.

#include "storage/xlsxreader.h"

#include <QByteArray>
#include <optional>

class SheetCells;

// A big sheet's rows are cut into pieces while the sheet inflates, and each piece is parsed as
// soon as it is whole: only one piece's tree exists at a time (a whole sheet's tree takes about
// ten times its bytes). A cut falls just before a row start tag, and only where everything
// since the last cut is plain elements and text; otherwise cutting stops and the rest is one
// piece (or, with nothing cut yet, the sheet is parsed whole). Each piece's cells become a part
// of the sheet.
class SheetPieces {
public:
    // Cuts only when cutting; a piece holds about pieceBytes. No text longer than maxTreeBytes
    // is parsed at once.
    SheetPieces(char* data, qsizetype size, SheetCells& cells, bool cutting, qsizetype pieceBytes,
                qsizetype maxTreeBytes);
    SheetPieces(const SheetPieces&) = delete;
    SheetPieces& operator=(const SheetPieces&) = delete;

    // The first `available` bytes are inflated: parses the pieces that are whole.
    void inflated(qsizetype available);
    // Whether a piece was cut: a failure may then come from where a cut fell.
    bool cut() const { return cut_; }
    // A piece could not be read: the rest need not be inflated.
    bool failed() const { return !failure_.isEmpty(); }
    // Once every byte is inflated: parses the rest and fills the sheet; false with why when
    // the sheet is unreadable.
    bool finish(XlsxSheet& sheet, QString& why);

private:
    enum class State { Looking, Cutting, Off };
    void findRows(qsizetype available);
    std::optional<qsizetype> nextCut(qsizetype available);
    void parsePiece(qsizetype begin, qsizetype end);
    void assemble(XlsxSheet& sheet);

    char* const data_;
    const qsizetype size_;
    SheetCells& cells_;
    State state_;
    const qsizetype target_;
    const qsizetype maxTreeBytes_;
    bool utf8_ = true;
    bool notText_ = false;
    bool cut_ = false;
    QString failure_; // why a piece could not be read
    QByteArray closeTag_;
    QByteArray rowTag_;
    qsizetype contentStart_ = 0;
    qsizetype lastCut_ = 0;
    qsizetype searchFrom_ = 0; // no usable row tag starts before this, after the last cut
    std::vector<XlsxSheet::Part> parts_;
};
