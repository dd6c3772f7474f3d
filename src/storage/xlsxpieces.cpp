#include "storage/xlsxpieces.h"

#include "storage/xlsxsheetxml.h"

#include <cctype>
#include <cstring>

namespace {

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

// Markup between rows that a cut must not fall into: comments, CDATA, processing
// instructions, or the end of the rows themselves.
bool onlyPlainMarkup(const char* begin, const char* end, QByteArrayView closeTag) {
    for (const char* p = begin;
         (p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr; ++p) {
        if (p + 1 >= end)
            return true;
        if (p[1] == '!' || p[1] == '?')
            return false;
        if (p[1] == '/' && QByteArrayView(p, end - p).startsWith(closeTag))
            return false;
    }
    return true;
}

bool inRowOrder(const XlsxSheet::Stored& a, const XlsxSheet::Stored& b) {
    return a.row < b.row || (a.row == b.row && a.col < b.col);
}

} // namespace

SheetPieces::SheetPieces(char* data, qsizetype size, SheetCells& cells, bool cutting,
                         qsizetype pieceBytes, qsizetype maxTreeBytes)
    : data_(data), size_(size), cells_(cells), state_(cutting ? State::Looking : State::Off),
      target_(std::max<qsizetype>(pieceBytes, 1)), maxTreeBytes_(maxTreeBytes) {}

void SheetPieces::inflated(qsizetype available) {
    if (state_ == State::Looking)
        findRows(available);
    while (state_ == State::Cutting && available - lastCut_ > target_) {
        const std::optional<qsizetype> cut = nextCut(available);
        if (!cut)
            break;
        if (state_ == State::Cutting)
            parsePiece(lastCut_, *cut);
    }
}

bool SheetPieces::finish(XlsxSheet& sheet, QString& why) {
    const qsizetype size = size_;
    if (!failure_.isEmpty()) {
        why = failure_;
        return false;
    }
    if (!cut_)
        utf8_ = isUtf8Part(QByteArrayView(data_, size_).first(std::min<qsizetype>(size, 4096)));
    if (notText_ || (utf8_ && !cut_ && !isXmlText(data_, size_t(size))) ||
        (cut_ && !isXmlText(data_ + lastCut_, size_t(size - lastCut_)))) {
        why = QStringLiteral("bytes that are not UTF-8 text");
        return false;
    }
    if (!cut_) {
        if (size > maxTreeBytes_) {
            why = QStringLiteral("too large to read in one piece");
            return false;
        }
        XlsxSheet::Part part;
        if (!cells_.readDocument(data_, size_t(size), utf8_, part)) {
            why = cells_.why();
            return false;
        }
        part.cells.shrink_to_fit();
        sheet.parts_.push_back(std::move(part));
        sheet.cellCount_ = sheet.parts_.back().cells.size();
        return true;
    }
    const qsizetype contentEnd = QByteArrayView(data_, size_).lastIndexOf(closeTag_);
    if (contentEnd < lastCut_) {
        why = QStringLiteral("the rows do not end");
        return false;
    }
    if (contentEnd - lastCut_ > maxTreeBytes_) {
        why = QStringLiteral("too large to read in one piece");
        return false;
    }
    parsePiece(lastCut_, contentEnd);
    if (!failure_.isEmpty()) {
        why = failure_;
        return false;
    }
    // What lies around the rows must pass as it would for the whole sheet: well-formed,
    // and with no second sheetData.
    QByteArray skeleton =
        QByteArray(data_, contentStart_) + QByteArray(data_ + contentEnd, size_ - contentEnd);
    XlsxSheet::Part outside;
    const std::vector<QString> noStrings;
    SheetCells around(noStrings, XlsxSheet::kMaxRow);
    if (!around.readDocument(skeleton.data(), size_t(skeleton.size()), true, outside)) {
        why = around.why();
        return false;
    }
    assemble(sheet);
    return true;
}

// Finds where the rows start, once the bytes up to the sheetData start tag are there.
void SheetPieces::findRows(qsizetype available) {
    const QByteArrayView text(data_, available);
    const bool all = available == size_;
    if (text.size() < 64 && !all)
        return;
    utf8_ = isUtf8Part(text.first(std::min<qsizetype>(text.size(), 4096)));
    const qsizetype declarationClose = text.startsWith("<?xml") ? text.indexOf("?>") : -2;
    const qsizetype declarationEnd = declarationClose == -1 ? -1 : declarationClose + 2;
    qsizetype at = text.indexOf("sheetData");
    while (at >= 0 && !(at + 9 < text.size() && isNameEnd(text[at + 9])))
        at = text.indexOf("sheetData", at + 1);
    const qsizetype open = at < 0 ? -1 : text.lastIndexOf('<', at);
    const qsizetype tagEnd = at < 0 ? -1 : text.indexOf('>', at);
    if (declarationEnd < 0 || open < 0 || tagEnd < 0) {
        // Not there yet; a sheet whose rows start this far in is read whole.
        if (all || available > (qsizetype(1) << 20))
            state_ = State::Off;
        return;
    }
    state_ = State::Off;
    if (!utf8_ || text[open + 1] == '/' || text[tagEnd - 1] == '/' || open < declarationEnd)
        return;
    const QByteArray prefix = text.sliced(open + 1, at - open - 1).toByteArray();
    for (char c : prefix)
        if (!(std::isalnum(uchar(c)) || c == '_' || c == '-' || c == '.' || c == ':'))
            return;
    closeTag_ = "</" + prefix + "sheetData";
    rowTag_ = "<" + prefix + "row";
    const char* begin = data_;
    if (!onlyPlainMarkup(begin + declarationEnd, begin + open, closeTag_))
        return;
    if (!isXmlText(begin, size_t(tagEnd + 1))) {
        notText_ = true;
        return;
    }
    contentStart_ = lastCut_ = tagEnd + 1;
    state_ = State::Cutting;
}

// The next place to cut, at least a piece's length after the last one; none while it is not
// inflated yet. Stops cutting when the rows since the last cut do not allow one.
std::optional<qsizetype> SheetPieces::nextCut(qsizetype available) {
    const QByteArrayView text(data_, available);
    // Bytes already searched are not searched again: a sheet with no row tags for
    // hundreds of megabytes must cost one pass, not one per inflated step.
    const qsizetype from = std::max(lastCut_ + target_, searchFrom_);
    for (qsizetype p = text.indexOf(rowTag_, from); p >= 0; p = text.indexOf(rowTag_, p + 1)) {
        const qsizetype nameEnd = p + rowTag_.size();
        if (nameEnd >= available) {
            searchFrom_ = p;
            return std::nullopt;
        }
        if (!isNameEnd(text[nameEnd]))
            continue;
        const char* const begin = data_;
        if (!onlyPlainMarkup(begin + lastCut_, begin + p, closeTag_)) {
            state_ = State::Off;
            return std::nullopt;
        }
        if (!isXmlText(begin + lastCut_, size_t(p - lastCut_))) {
            notText_ = true;
            state_ = State::Off;
            return std::nullopt;
        }
        return p;
    }
    searchFrom_ = std::max(from, available - rowTag_.size());
    return std::nullopt;
}

void SheetPieces::parsePiece(qsizetype begin, qsizetype end) {
    cut_ = true;
    lastCut_ = end;
    XlsxSheet::Part part;
    part.cells.reserve(size_t(end - begin) / 40);
    if (!cells_.readPiece(data_ + begin, size_t(end - begin), part)) {
        failure_ = cells_.why();
        state_ = State::Off;
        return;
    }
    if (!part.cells.empty())
        parts_.push_back(std::move(part));
}

// The pieces' cells as the sheet's parts; copied into one part and sorted only when
// their rows are out of order or one row spans two pieces.
void SheetPieces::assemble(XlsxSheet& sheet) {
    bool ordered = true;
    for (size_t i = 1; i < parts_.size(); ++i)
        if (parts_[i - 1].cells.back().row >= parts_[i].cells.front().row)
            ordered = false;
    sheet.cellCount_ = size_t(cells_.cellCount());
    if (ordered) {
        sheet.parts_ = std::move(parts_);
        return;
    }
    XlsxSheet::Part whole;
    whole.cells.reserve(sheet.cellCount_);
    for (XlsxSheet::Part& p : parts_) {
        const quint32 offset = quint32(whole.strings.size());
        for (XlsxSheet::Stored c : p.cells) {
            if (c.text != XlsxSheet::kNone)
                c.text += offset;
            if (c.formula != XlsxSheet::kNone)
                c.formula += offset;
            whole.cells.push_back(c);
        }
        for (QString& str : p.strings)
            whole.strings.push_back(std::move(str));
        p = XlsxSheet::Part();
    }
    std::stable_sort(whole.cells.begin(), whole.cells.end(), inRowOrder);
    sheet.parts_.push_back(std::move(whole));
}
