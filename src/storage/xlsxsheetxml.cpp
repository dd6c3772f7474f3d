#include "storage/xlsxsheetxml.h"

#include <QDate>
#include <QTime>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fast_float/fast_float.h>
#include <optional>
#include <pugixml.hpp>
#include <system_error>

// Worksheets are parsed with pugixml, in place in the inflated bytes: names and texts are
// pointers into the buffer, numbers are converted straight from those bytes, and only text
// cells become QStrings. The walk below follows the same rules the cells had when they were
// read as a stream: rows and cells count only inside the one sheetData, at any depth.

namespace {

constexpr quint32 kMaxRow = XlsxSheet::kMaxRow;
constexpr quint32 kMaxCol = XlsxSheet::kMaxCol;

bool parseCellReference(QStringView ref, quint32& row, quint32& col) {
    quint32 c = 0;
    qsizetype i = 0;
    while (i < ref.size() && ref[i].isLetter()) {
        const char16_t ch = ref[i].toUpper().unicode();
        if (ch < u'A' || ch > u'Z')
            return false;
        c = c * 26 + (ch - u'A' + 1);
        if (c > kMaxCol)
            return false;
        ++i;
    }
    quint32 r = 0;
    bool anyDigit = false;
    for (; i < ref.size(); ++i) {
        if (ref[i] == u'$')
            continue;
        if (!ref[i].isDigit())
            return false;
        r = r * 10 + quint32(ref[i].digitValue());
        anyDigit = true;
        if (r > kMaxRow)
            return false;
    }
    if (c == 0)
        return false;
    col = c;
    row = anyDigit ? r : 0;
    return true;
}

// Serial day number (days since 30 December 1899, the time as a fraction) of an ISO 8601 date
// or date-time such as 2024-03-15 or 2024-03-15T08:30:00.
std::optional<double> serialOfIsoDate(const QString& text) {
    const qsizetype t = text.indexOf(u'T');
    const QDate date = QDate::fromString(t < 0 ? text : text.left(t), Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    double serial = double(date.toJulianDay() - 2415019);
    if (t >= 0) {
        const QTime time = QTime::fromString(text.mid(t + 1), Qt::ISODateWithMs);
        if (!time.isValid())
            return std::nullopt;
        serial += time.msecsSinceStartOfDay() / 86400000.0;
    }
    return serial;
}

const char* localName(const char* qualified) {
    const char* colon = std::strchr(qualified, ':');
    return colon ? colon + 1 : qualified;
}

bool named(const pugi::xml_node& node, const char* local) {
    return std::strcmp(localName(node.name()), local) == 0;
}

enum class Step { Descend, Skip, Stop };

// Visits the elements below root in document order without recursion (a hostile file may nest
// deeply); false when a visit stopped the walk.
template <typename Visit> bool walkElements(const pugi::xml_node& root, Visit&& visit) {
    pugi::xml_node n = root.first_child();
    while (n) {
        const Step step = n.type() == pugi::node_element ? visit(n) : Step::Skip;
        if (step == Step::Stop)
            return false;
        if (step == Step::Descend && n.first_child()) {
            n = n.first_child();
            continue;
        }
        while (!n.next_sibling()) {
            n = n.parent();
            if (!n || n == root)
                return true;
        }
        n = n.next_sibling();
    }
    return true;
}

// The character data directly inside an element, in pieces (comments split it).
template <typename Piece> void forEachText(const pugi::xml_node& element, Piece&& piece) {
    for (pugi::xml_node n = element.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata)
            piece(n.value());
}

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A number as the stream reader's conversion read it: the trimmed text as a double, integral
// when written without a point or exponent and exactly representable. Plain decimal forms are
// converted from the bytes; anything else (other blanks, signs, words) takes Qt's conversion.
struct NumberText {
    double value = 0;
    bool ok = false;
    bool integral = false;
    bool viaQt = false;
    QString trimmed; // only set when viaQt
};

NumberText readNumber(const char* text) {
    NumberText out;
    const char* begin = text;
    const char* end = text + std::strlen(text);
    while (begin < end && isAsciiSpace(*begin))
        ++begin;
    while (end > begin && isAsciiSpace(end[-1]))
        --end;
    // -digits[.digits][(e|E)[+-]digits]
    const char* p = begin;
    if (p < end && *p == '-')
        ++p;
    const char* digits = p;
    bool nonZero = false;
    while (p < end && *p >= '0' && *p <= '9')
        nonZero |= *p++ != '0';
    bool plain = p > digits;
    bool pointOrExponent = false;
    if (plain && p < end && *p == '.') {
        pointOrExponent = true;
        const char* fraction = ++p;
        while (p < end && *p >= '0' && *p <= '9')
            nonZero |= *p++ != '0';
        plain = p > fraction;
    }
    if (plain && p < end && (*p == 'e' || *p == 'E')) {
        pointOrExponent = true;
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        const char* exponent = p;
        while (p < end && *p >= '0' && *p <= '9')
            ++p;
        plain = p > exponent;
    }
    if (plain && p == end) {
        double value = 0;
        const auto r = fast_float::from_chars(begin, end, value);
        // Overflow and underflow keep Qt's own verdict.
        if (r.ec == std::errc() && r.ptr == end && std::isfinite(value) &&
            (value != 0 || !nonZero)) {
            out.value = value;
            out.ok = true;
            out.integral = !pointOrExponent && std::fabs(value) < 9.0e15;
            return out;
        }
    }
    out.viaQt = true;
    out.trimmed = QString::fromUtf8(text).trimmed();
    out.value = out.trimmed.toDouble(&out.ok);
    out.integral = out.ok && !out.trimmed.contains(u'.') && !out.trimmed.contains(u'e') &&
                   !out.trimmed.contains(u'E') && std::fabs(out.value) < 9.0e15;
    return out;
}

// An unsigned attribute such as a row number, as QString::toUInt reads it.
uint readUnsigned(const char* text, bool* ok) {
    uint value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9' && p - text < 9; ++p)
        value = value * 10 + uint(*p - '0');
    if (*p == 0 && p > text) {
        *ok = true;
        return value;
    }
    return QString::fromUtf8(text).toUInt(ok);
}

bool parseCellReference(const char* ref, quint32& row, quint32& col) {
    for (const char* p = ref; *p; ++p)
        if (uchar(*p) >= 0x80)
            return parseCellReference(QString::fromUtf8(ref), row, col);
    quint32 c = 0;
    const char* p = ref;
    for (; std::isalpha(uchar(*p)); ++p) {
        c = c * 26 + quint32(std::toupper(uchar(*p)) - 'A' + 1);
        if (c > kMaxCol)
            return false;
    }
    quint32 r = 0;
    bool anyDigit = false;
    for (; *p; ++p) {
        if (*p == '$')
            continue;
        if (*p < '0' || *p > '9')
            return false;
        r = r * 10 + quint32(*p - '0');
        anyDigit = true;
        if (r > kMaxRow)
            return false;
    }
    if (c == 0)
        return false;
    col = c;
    row = anyDigit ? r : 0;
    return true;
}

} // namespace

// Bytes that are not UTF-8 are refused (pugixml would pass them through), and NUL, which would
// end a text early. Other control characters are read as text although XML does not allow
// them: earlier versions of this program wrote them into formula results. Checked eight bytes
// at a time while the text is plain ASCII.
bool isXmlText(const char* data, size_t size) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    const auto* end = p + size;
    while (p < end) {
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            // No byte has its high bit set and none is zero.
            const quint64 high = word & 0x8080808080808080ull;
            const quint64 zero = (word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull;
            if ((high | zero) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        char32_t code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (p[k] & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
            code == 0xFFFE || code == 0xFFFF)
            return false;
        p += 1 + extra;
    }
    return true;
}

// Whether the part's bytes are UTF-8 (as they are in every workbook seen so far), judged from
// its first bytes; other encodings are left to pugixml's conversion and never cut into pieces.
bool isUtf8Part(QByteArrayView start) {
    if (start.startsWith("\xEF\xBB\xBF"))
        return true;
    if (start.size() >= 2 &&
        (uchar(start[0]) == 0xFE || uchar(start[0]) == 0xFF || start[0] == 0 || start[1] == 0))
        return false;
    if (!start.startsWith("<?xml"))
        return true;
    const qsizetype end = start.indexOf("?>");
    const QByteArray declaration =
        start.first(end < 0 ? start.size() : end).toByteArray().toLower();
    const qsizetype at = declaration.indexOf("encoding");
    return at < 0 || declaration.indexOf("utf-8", at) >= 0 || declaration.indexOf("utf8", at) >= 0;
}

namespace {

constexpr unsigned kParseOptions =
    (pugi::parse_default | pugi::parse_ws_pcdata_single) & ~pugi::parse_wnorm_attribute;

} // namespace

bool SheetCells::readDocument(char* data, size_t size, bool utf8, XlsxSheet::Part& part) {
    return parse(data, size, false, utf8, part);
}

bool SheetCells::readPiece(char* data, size_t size, XlsxSheet::Part& part) {
    return parse(data, size, true, true, part);
}

bool SheetCells::parse(char* data, size_t size, bool piece, bool utf8, XlsxSheet::Part& part) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(
        data, size, kParseOptions | (piece ? pugi::parse_fragment : pugi::parse_doctype),
        utf8 || piece ? pugi::encoding_utf8 : pugi::encoding_auto);
    if (parsed.status == pugi::status_out_of_memory)
        throw std::bad_alloc();
    if (!parsed) {
        why_ = QString::fromUtf8(parsed.description());
        return false;
    }
    // A worksheet never needs a DTD, and its entities could expand without bound.
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_doctype) {
            why_ = QStringLiteral("a document type declaration");
            return false;
        }
    part_ = &part;
    formulas_.clear();
    texts_.clear();
    sorted_ = true;
    bool ok = true;
    if (piece) {
        ok = readRows(doc);
    } else {
        // The one sheetData holds the rows.
        bool sawSheetData = false;
        ok = walkElements(doc, [&](const pugi::xml_node& n) {
            if (!named(n, "sheetData"))
                return Step::Descend;
            if (sawSheetData) {
                why_ = QStringLiteral("more than one sheetData");
                return Step::Stop;
            }
            sawSheetData = true;
            return readRows(n) ? Step::Skip : Step::Stop;
        });
    }
    // The interned texts point into this text.
    formulas_.clear();
    texts_.clear();
    part_ = nullptr;
    if (!ok)
        return false;
    if (!sorted_)
        std::stable_sort(part.cells.begin(), part.cells.end(),
                         [](const Stored& a, const Stored& b) {
                             return a.row < b.row || (a.row == b.row && a.col < b.col);
                         });
    count_ += qint64(part.cells.size());
    return true;
}

bool SheetCells::readRows(const pugi::xml_node& sheetData) {
    return walkElements(sheetData, [&](const pugi::xml_node& n) {
        const char* name = localName(n.name());
        if (std::strcmp(name, "c") == 0)
            return readCell(n) ? Step::Skip : Step::Stop;
        if (std::strcmp(name, "row") == 0) {
            const char* r = n.attribute("r").value();
            bool ok = false;
            const uint number = *r ? readUnsigned(r, &ok) : row_ + 1;
            if ((*r && !ok) || number < 1 || number > kMaxRow) {
                why_ = QStringLiteral("bad row number");
                return Step::Stop;
            }
            row_ = number;
            col_ = 0;
            return Step::Descend;
        }
        if (std::strcmp(name, "sheetData") == 0) {
            why_ = QStringLiteral("more than one sheetData");
            return Step::Stop;
        }
        return Step::Descend;
    });
}

quint32 SheetCells::addString(const QString& s) {
    part_->strings.push_back(s);
    return quint32(part_->strings.size() - 1);
}

// A budget's reference formulas repeat a few hundred texts over hundreds of thousands of
// cells: each distinct text is converted and stored once. The keys point into the parsed
// document, which outlives this object.
quint32 SheetCells::internFormula(const char* text) {
    const auto [it, added] = formulas_.try_emplace(std::string_view(text), 0);
    if (added)
        it->second = addString(QString::fromUtf8(text, qsizetype(it->first.size())));
    return it->second;
}
// The same for texts: payees and types repeat, and every reference cell carries its
// item's name as its result.
quint32 SheetCells::internText(const char* text) {
    const auto [it, added] = texts_.try_emplace(std::string_view(text), 0);
    if (added)
        it->second =
            addString(decodeXlsxEscapes(QString::fromUtf8(text, qsizetype(it->first.size()))));
    return it->second;
}

bool SheetCells::readCell(const pugi::xml_node& c) {
    const char* ref = "";
    const char* t = "";
    for (pugi::xml_attribute a = c.first_attribute(); a; a = a.next_attribute()) {
        if (std::strcmp(a.name(), "r") == 0)
            ref = a.value();
        else if (std::strcmp(a.name(), "t") == 0)
            t = a.value();
    }
    quint32 cellRow = row_ == 0 ? 1 : row_;
    quint32 cellCol = col_ + 1;
    if (*ref) {
        quint32 r = 0;
        if (!parseCellReference(ref, r, cellCol)) {
            why_ = QStringLiteral("bad cell reference");
            return false;
        }
        if (r != 0)
            cellRow = r;
    }
    if (cellCol > kMaxCol) {
        why_ = QStringLiteral("bad cell reference");
        return false;
    }
    if (row_ == 0)
        row_ = cellRow;
    col_ = cellCol;
    enum class Kind { Number, Shared, Inline, Str, Date, Boolean, Error } kind = Kind::Number;
    if (std::strcmp(t, "s") == 0)
        kind = Kind::Shared;
    else if (std::strcmp(t, "inlineStr") == 0)
        kind = Kind::Inline;
    else if (std::strcmp(t, "str") == 0)
        kind = Kind::Str;
    else if (std::strcmp(t, "d") == 0)
        kind = Kind::Date;
    else if (std::strcmp(t, "b") == 0)
        kind = Kind::Boolean;
    else if (std::strcmp(t, "e") == 0)
        kind = Kind::Error;
    const bool numeric = kind == Kind::Number || kind == Kind::Shared || kind == Kind::Boolean;

    QString value;
    QString formula; // the pieces after the first
    const char* firstFormulaPiece = "";
    int formulaPieces = 0;
    // Texts in one piece (nearly all) are kept as pointers into the document.
    const char* firstValuePiece = "";
    int valuePieces = 0;
    QString inlineText;
    const char* firstInlinePiece = "";
    int inlinePieces = 0;
    NumberText number;
    bool hasValue = false;
    bool hasFormula = false;
    bool hasInline = false;
    quint32 sharedGroup = XlsxSheet::kNone;
    for (pugi::xml_node child = c.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const char* name = localName(child.name());
        if (std::strcmp(name, "v") == 0 && numeric) {
            // Only the first piece of text counts; a number is never split.
            hasValue = true;
            number = NumberText();
            int pieces = 0;
            forEachText(child, [&](const char* text) {
                if (++pieces == 1) {
                    number = readNumber(text);
                    if (!number.ok && kind == Kind::Number)
                        value = number.viaQt ? number.trimmed : QString::fromUtf8(text).trimmed();
                } else {
                    number.ok = false;
                }
            });
        } else if (std::strcmp(name, "v") == 0) {
            forEachText(child, [&](const char* text) {
                if (++valuePieces == 1) {
                    firstValuePiece = text;
                    return;
                }
                if (valuePieces == 2)
                    value = QString::fromUtf8(firstValuePiece);
                value += QString::fromUtf8(text);
            });
            hasValue = true;
        } else if (std::strcmp(name, "f") == 0) {
            // A shared formula's other cells carry only its group number; they are
            // resolved from the group's first cell once the whole sheet is read.
            if (std::strcmp(child.attribute("t").value(), "shared") == 0) {
                bool ok = false;
                const uint group = QString::fromUtf8(child.attribute("si").value()).toUInt(&ok);
                if (ok && group < XlsxSheet::kNone)
                    sharedGroup = group;
            }
            forEachText(child, [&](const char* text) {
                if (++formulaPieces == 1)
                    firstFormulaPiece = text;
                else
                    formula += QString::fromUtf8(text);
            });
            hasFormula = true;
        } else if (std::strcmp(name, "is") == 0) {
            hasInline = true;
            const bool ok = walkElements(child, [&](const pugi::xml_node& n) {
                if (named(n, "rPh") || named(n, "phoneticPr"))
                    return Step::Skip; // pronunciation hints are not part of the text
                if (!named(n, "t"))
                    return Step::Descend;
                for (pugi::xml_node inner = n.first_child(); inner; inner = inner.next_sibling())
                    if (inner.type() == pugi::node_element) {
                        why_ = QStringLiteral("an element inside a text run");
                        return Step::Stop;
                    }
                forEachText(n, [&](const char* text) {
                    if (++inlinePieces == 1) {
                        firstInlinePiece = text;
                        return;
                    }
                    if (inlinePieces == 2)
                        inlineText = QString::fromUtf8(firstInlinePiece);
                    inlineText += QString::fromUtf8(text);
                });
                return Step::Skip;
            });
            if (!ok)
                return false;
        }
    }

    if (!numeric && valuePieces == 1 && kind != Kind::Str)
        value = QString::fromUtf8(firstValuePiece);
    Stored s{cellRow, cellCol, 0, XlsxSheet::kNone, XlsxSheet::kNone, XlsxValueType::Empty};
    switch (kind) {
    case Kind::Shared: {
        const double index = number.value;
        if (hasValue && number.ok && number.integral && index >= 0 &&
            index < double(shared_.size())) {
            s.type = XlsxValueType::Text;
            s.text = addString(shared_[size_t(index)]);
        }
        break;
    }
    case Kind::Inline:
        if (hasInline) {
            s.type = XlsxValueType::Text;
            s.text = inlinePieces <= 1 ? internText(firstInlinePiece)
                                       : addString(decodeXlsxEscapes(inlineText));
        }
        break;
    case Kind::Str:
        if (hasValue) {
            s.type = XlsxValueType::Text;
            s.text = valuePieces <= 1 ? internText(firstValuePiece)
                                      : addString(decodeXlsxEscapes(value));
        }
        break;
    case Kind::Date:
        if (hasValue) {
            // An ISO 8601 date or date-time, kept as the serial day number a date cell
            // holds; a text that is not one stays text.
            const std::optional<double> serial = serialOfIsoDate(value.trimmed());
            if (serial) {
                s.type =
                    *serial == std::trunc(*serial) ? XlsxValueType::Integer : XlsxValueType::Float;
                s.number = *serial;
            } else {
                s.type = XlsxValueType::Text;
                s.text = addString(value);
            }
        }
        break;
    case Kind::Boolean:
        if (hasValue) {
            s.type = XlsxValueType::Boolean;
            s.number = number.ok && number.value != 0 ? 1 : 0;
        }
        break;
    case Kind::Error:
        if (hasValue) {
            s.type = XlsxValueType::Error;
            s.text = addString(value);
        }
        break;
    case Kind::Number:
        if (!hasValue)
            break;
        if (number.ok) {
            s.type = number.integral ? XlsxValueType::Integer : XlsxValueType::Float;
            s.number = number.value;
        } else if (!value.isEmpty()) {
            s.type = XlsxValueType::Text;
            s.text = addString(value);
        }
        break;
    }
    const bool formulaEmpty = !*firstFormulaPiece && formula.isEmpty();
    if (hasFormula && (!formulaEmpty || sharedGroup == XlsxSheet::kNone))
        s.formula = formulaPieces <= 1 ? internFormula(firstFormulaPiece)
                                       : addString(QString::fromUtf8(firstFormulaPiece) + formula);
    s.sharedGroup = sharedGroup;
    if (s.type == XlsxValueType::Empty && !hasFormula)
        return true;
    if (count_ + qint64(part_->cells.size()) >= maxCells_) {
        why_ = QStringLiteral("too many cells");
        tooMany_ = true;
        return false;
    }
    if (!part_->cells.empty()) {
        const Stored& last = part_->cells.back();
        if (last.row > s.row || (last.row == s.row && last.col >= s.col))
            sorted_ = false;
    }
    part_->cells.push_back(s);
    return true;
}
