#include "storage/xlsxreader.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <map>

// What the reader holds once a workbook is read: cell values, the sheet's index of its rows and
// the formula texts it gives the cells of a shared formula.

namespace {

bool isNamePart(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.';
}

constexpr quint32 kMaxRow = XlsxSheet::kMaxRow;
constexpr quint32 kMaxCol = XlsxSheet::kMaxCol;

} // namespace

QString shiftFormulaReferences(const QString& formula, int rows, int cols) {
    QString out;
    out.reserve(formula.size());
    const qsizetype n = formula.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = formula[i];
        // Texts and quoted sheet names are copied whole ("" and '' stand for the quote).
        if (c == u'"' || c == u'\'') {
            qsizetype j = i + 1;
            while (j < n && !(formula[j] == c && (j + 1 >= n || formula[j + 1] != c)))
                j += formula[j] == c ? 2 : 1;
            out += QStringView(formula).mid(i, j + 1 - i);
            i = j + 1;
            continue;
        }
        if (!(c == u'$' || c.isLetter()) || (i > 0 && isNamePart(formula[i - 1]))) {
            out += c;
            ++i;
            continue;
        }
        // [$]letters[$]digits, not followed by a name character or "(".
        qsizetype j = i;
        const bool colAbsolute = formula[j] == u'$';
        if (colAbsolute)
            ++j;
        const qsizetype lettersFrom = j;
        while (j < n && j - lettersFrom < 4 && formula[j].isLetter() && formula[j].unicode() < 128)
            ++j;
        const qsizetype lettersTo = j;
        const bool rowAbsolute = j < n && formula[j] == u'$';
        if (rowAbsolute)
            ++j;
        const qsizetype digitsFrom = j;
        while (j < n && formula[j].isDigit())
            ++j;
        const bool isReference = lettersTo > lettersFrom && lettersTo - lettersFrom <= 3 &&
                                 j > digitsFrom &&
                                 (j >= n || (!isNamePart(formula[j]) && formula[j] != u'('));
        if (!isReference) {
            // Copy the whole name, so its tail is never taken for a reference.
            qsizetype k = i + 1;
            while (k < n && isNamePart(formula[k]))
                ++k;
            out += QStringView(formula).mid(i, k - i);
            i = k;
            continue;
        }
        qint64 col = 0;
        for (qsizetype k = lettersFrom; k < lettersTo; ++k)
            col = col * 26 + (formula[k].toUpper().unicode() - u'A' + 1);
        qint64 row = QStringView(formula).mid(digitsFrom, j - digitsFrom).toLongLong();
        const qint64 newCol = colAbsolute ? col : col + cols;
        const qint64 newRow = rowAbsolute ? row : row + rows;
        if (newCol < 1 || newCol > kMaxCol || newRow < 1 || newRow > kMaxRow) {
            out += QStringView(formula).mid(i, j - i);
        } else {
            QString letters;
            for (qint64 k = newCol; k > 0; k = (k - 1) / 26)
                letters.prepend(QChar(char16_t(u'A' + (k - 1) % 26)));
            out += (colAbsolute ? QStringLiteral("$") : QString()) + letters +
                   (rowAbsolute ? QStringLiteral("$") : QString()) + QString::number(newRow);
        }
        i = j;
    }
    return out;
}

void XlsxSheet::resolveSharedFormulas() {
    struct Master {
        quint32 row, col;
        QString formula;
    };
    std::map<quint32, Master> masters;
    for (const Part& part : parts_)
        for (const Stored& c : part.cells)
            if (c.sharedGroup != kNone && c.formula != kNone && !masters.count(c.sharedGroup))
                masters[c.sharedGroup] = {c.row, c.col, part.strings[c.formula]};
    if (masters.empty())
        return;
    for (Part& part : parts_)
        for (Stored& c : part.cells) {
            if (c.sharedGroup == kNone || c.formula != kNone)
                continue;
            const auto it = masters.find(c.sharedGroup);
            if (it == masters.end())
                continue;
            const Master& m = it->second;
            part.strings.push_back(shiftFormulaReferences(m.formula, int(c.row) - int(m.row),
                                                          int(c.col) - int(m.col)));
            c.formula = quint32(part.strings.size() - 1);
        }
}

QString decodeXlsxEscapes(const QString& text) {
    if (!text.contains(u"_x"))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const uint code = QStringView(text).mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

QString XlsxCell::toText() const {
    switch (type_) {
    case XlsxValueType::Text:
    case XlsxValueType::Error:
        return text_;
    case XlsxValueType::Integer:
        return QString::number(qint64(number_));
    case XlsxValueType::Float:
        return QString::number(number_, 'g', QLocale::FloatingPointShortest);
    case XlsxValueType::Boolean:
        return number_ != 0 ? QStringLiteral("true") : QStringLiteral("false");
    case XlsxValueType::Empty:
        break;
    }
    return {};
}

qint64 XlsxCell::toInteger() const {
    if (!isNumber() || !std::isfinite(number_))
        return 0;
    if (number_ >= 9.2e18 || number_ <= -9.2e18)
        return 0;
    return qint64(number_);
}

double XlsxCell::toDouble() const {
    if (isNumber() || type_ == XlsxValueType::Boolean)
        return number_;
    return 0;
}

void XlsxSheet::indexRows() {
    quint32 rows = 0;
    for (const Part& part : parts_)
        if (!part.cells.empty())
            rows = std::max(rows, part.cells.back().row);
    rowStart_.assign(size_t(rows) + 2, 0);
    partStart_.clear();
    // Counts per row, then running sums: rowStart_[r] is where row r begins.
    quint32 position = 0;
    for (const Part& part : parts_) {
        partStart_.push_back(position);
        position += quint32(part.cells.size());
        for (const Stored& c : part.cells)
            ++rowStart_[c.row + 1];
    }
    for (size_t r = 1; r < rowStart_.size(); ++r)
        rowStart_[r] += rowStart_[r - 1];
}

XlsxCell XlsxSheet::cell(int row, int col) const {
    XlsxCell out;
    if (row < 1 || col < 1 || size_t(row) + 1 >= rowStart_.size())
        return out;
    const quint32 begin = rowStart_[size_t(row)];
    const quint32 end = rowStart_[size_t(row) + 1];
    if (begin == end)
        return out;
    // The part holding the row: the last one starting at or before it.
    const size_t p = size_t(std::upper_bound(partStart_.begin(), partStart_.end(), begin) -
                            partStart_.begin() - 1);
    const Part& part = parts_[p];
    const auto first = part.cells.begin() + (begin - partStart_[p]);
    const auto last = part.cells.begin() + (end - partStart_[p]);
    const auto it = std::lower_bound(first, last, quint32(col),
                                     [](const Stored& s, quint32 c) { return s.col < c; });
    if (it == last || it->col != quint32(col))
        return out;
    out.type_ = it->type;
    out.number_ = it->number;
    if (it->text != kNone)
        out.text_ = part.strings[it->text];
    if (it->formula != kNone) {
        out.formula_ = part.strings[it->formula];
        out.hasFormula_ = true;
    }
    return out;
}
