#include "storage/xlsxreader.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QScopeGuard>
#include <QTime>
#include <QXmlStreamReader>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fast_float/fast_float.h>
#include <mutex>
#include <optional>
#include <pugixml.hpp>
#include <string_view>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <zip.h>

namespace {

constexpr quint32 kMaxRow = 1048576;
constexpr quint32 kMaxCol = 16384;

// One inflating entry of the package as a sequential device, refusing to deliver more bytes
// than the entry declared. A failed inflate (a CRC mismatch, a broken stream) or one that ends
// short of the declared size ends the device: the XML reader then meets the end of its input
// and stops with an error, instead of asking again for bytes that will never come.
class ZipEntryDevice : public QIODevice {
public:
    ZipEntryDevice(zip_file_t* file, qint64 declared) : file_(file), declared_(declared) {
        QIODevice::open(QIODevice::ReadOnly);
    }
    ~ZipEntryDevice() override {
        if (file_)
            zip_fclose(file_);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        if (failed_)
            return QIODevice::bytesAvailable();
        return QIODevice::bytesAvailable() + std::max<qint64>(0, declared_ - total_);
    }
    bool atEnd() const override {
        return (failed_ || total_ >= declared_) && QIODevice::bytesAvailable() == 0;
    }
    bool failed() const { return failed_; }
    // Inflates whatever the parser left unread; true when the entry ends exactly at its
    // declared size and its CRC matched (libzip checks it when the end is reached).
    bool readToEnd() {
        char buffer[16384];
        while (!failed_ && readData(buffer, sizeof buffer) > 0) {
        }
        return !failed_;
    }

protected:
    qint64 readData(char* data, qint64 maxlen) override {
        if (failed_)
            return -1;
        const qint64 want = std::min(maxlen, declared_ - total_ + 1);
        if (want <= 0)
            return 0;
        const zip_int64_t n = zip_fread(file_, data, zip_uint64_t(want));
        // Reading one byte past the declared size also checks the entry's CRC at its end.
        if (n < 0 || (n == 0 && total_ < declared_) || total_ + n > declared_) {
            failed_ = true;
            return -1;
        }
        total_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip_file_t* file_;
    qint64 declared_;
    qint64 total_ = 0;
    bool failed_ = false;
};

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

bool isRelationshipId(const QXmlStreamAttribute& a) {
    return a.name() == u"id" && !a.namespaceUri().isEmpty();
}

QString resolveTarget(const QString& baseDir, const QString& target) {
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(baseDir.isEmpty() ? target : baseDir + u'/' + target);
}

struct Relationship {
    QString type;
    QString target;
};

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

bool isNamePart(QChar c) {
    return c.isLetterOrNumber() || c == u'_' || c == u'.';
}

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

// ---------------------------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------------------------

struct XlsxReader::Package {
    zip_t* zip = nullptr;
    ~Package() {
        if (zip)
            zip_discard(zip);
    }
    bool has(const QString& name) const {
        return zip_name_locate(zip, name.toUtf8().constData(), 0) >= 0 ||
               zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
    }
};

XlsxReader::XlsxReader() = default;
XlsxReader::~XlsxReader() = default;

bool XlsxReader::fail(const QString& why) {
    error_ = why;
    close();
    return false;
}

void XlsxReader::close() {
    open_ = false;
    shared_.clear();
    order_.clear();
    sheets_.clear();
}

bool XlsxReader::hasSheet(const QString& name) const {
    return sheets_.count(name) != 0;
}

const XlsxSheet* XlsxReader::sheet(const QString& name) const {
    const auto it = sheets_.find(name);
    return it == sheets_.end() ? nullptr : it->second.get();
}

QString XlsxReader::cellAddress(int row, int col) {
    QString letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

zip_file_t* XlsxReader::openEntry(Package& pkg, const QString& name, qint64* size) {
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(pkg.zip, utf8.constData(), 0);
    if (index < 0)
        index = zip_name_locate(pkg.zip, utf8.constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        fail(QStringLiteral("missing part %1").arg(name));
        return nullptr;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(pkg.zip, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        !(st.valid & ZIP_STAT_COMP_SIZE)) {
        fail(QStringLiteral("unreadable part %1").arg(name));
        return nullptr;
    }
    *size = qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(1) << 62));
    const qint64 compressed = qint64(std::min<zip_uint64_t>(st.comp_size, zip_uint64_t(1) << 62));
    totalBytes_ += *size;
    if (*size > limits_.maxPartBytes || totalBytes_ > limits_.maxTotalBytes) {
        fail(QStringLiteral("part %1 is too large").arg(name));
        return nullptr;
    }
    if (*size > limits_.ratioCheckFrom && *size > compressed * limits_.maxInflateRatio) {
        fail(QStringLiteral("part %1 inflates suspiciously").arg(name));
        return nullptr;
    }
    zip_file_t* file = zip_fopen_index(pkg.zip, zip_uint64_t(index), 0);
    if (!file)
        fail(QStringLiteral("cannot inflate part %1").arg(name));
    return file;
}

bool XlsxReader::readPart(Package& pkg, const QString& name,
                          const std::function<bool(QXmlStreamReader&)>& parse) {
    qint64 size = 0;
    zip_file_t* file = openEntry(pkg, name, &size);
    if (!file)
        return false;
    ZipEntryDevice device(file, size);
    QXmlStreamReader xml(&device);
    error_.clear();
    const bool ok = parse(xml);
    if (!ok || xml.hasError() || !device.readToEnd()) {
        const QString why = !error_.isEmpty() ? error_
                            : xml.hasError()  ? xml.errorString()
                                              : QStringLiteral("inflating failed");
        return fail(QStringLiteral("part %1 is unreadable: %2").arg(name, why));
    }
    return true;
}

bool XlsxReader::open(const QString& path) {
    // A big workbook on a machine short of memory is refused, not the end of the program.
    outOfMemory_ = false;
    try {
        return openPackage(path);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return fail(QStringLiteral("not enough memory to read it"));
    }
}

bool XlsxReader::openPackage(const QString& path) {
    close();
    error_.clear();
    totalBytes_ = 0;
    Package pkg;
    int err = 0;
    pkg.zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!pkg.zip)
        return fail(QStringLiteral("not a zip package"));
    const zip_int64_t entries = zip_get_num_entries(pkg.zip, 0);
    if (entries < 0 || entries > limits_.maxEntries)
        return fail(QStringLiteral("too many entries in the package"));

    // The package's own relationships name the workbook part; most writers use xl/workbook.xml.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (pkg.has(QStringLiteral("_rels/.rels"))) {
        QString found;
        const bool ok = readPart(pkg, QStringLiteral("_rels/.rels"), [&](QXmlStreamReader& xml) {
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == u"Relationship" &&
                    xml.attributes().value(QLatin1String("Type")).endsWith(u"/officeDocument"))
                    found = resolveTarget(
                        QString(), xml.attributes().value(QLatin1String("Target")).toString());
            }
            return true;
        });
        if (!ok)
            return false;
        if (!found.isEmpty())
            workbookPart = found;
    }
    const QString baseDir =
        workbookPart.contains(u'/') ? workbookPart.left(workbookPart.lastIndexOf(u'/')) : QString();

    struct SheetEntry {
        QString name;
        QString relId;
    };
    std::vector<SheetEntry> sheetEntries;
    if (!readPart(pkg, workbookPart, [&](QXmlStreamReader& xml) {
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == u"sheet") {
                    SheetEntry e;
                    e.name = xml.attributes().value(QLatin1String("name")).toString();
                    for (const QXmlStreamAttribute& a : xml.attributes())
                        if (isRelationshipId(a))
                            e.relId = a.value().toString();
                    if (sheetEntries.size() >= 4096)
                        return false;
                    sheetEntries.push_back(e);
                }
            }
            return true;
        }))
        return false;

    std::map<QString, Relationship> rels;
    const QString relsPart =
        (baseDir.isEmpty() ? QString() : baseDir + u'/') + QStringLiteral("_rels/") +
        workbookPart.mid(workbookPart.lastIndexOf(u'/') + 1) + QStringLiteral(".rels");
    if (pkg.has(relsPart)) {
        if (!readPart(pkg, relsPart, [&](QXmlStreamReader& xml) {
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isStartElement() && xml.name() == u"Relationship") {
                        const auto attrs = xml.attributes();
                        if (rels.size() >= 8192)
                            return false;
                        rels[attrs.value(QLatin1String("Id")).toString()] = {
                            attrs.value(QLatin1String("Type")).toString(),
                            resolveTarget(baseDir,
                                          attrs.value(QLatin1String("Target")).toString())};
                    }
                }
                return true;
            }))
            return false;
    }

    QString sharedPart;
    for (const auto& [id, rel] : rels)
        if (rel.type.endsWith(u"/sharedStrings"))
            sharedPart = rel.target;
    if (sharedPart.isEmpty()) {
        const QString guess =
            (baseDir.isEmpty() ? QString() : baseDir + u'/') + QStringLiteral("sharedStrings.xml");
        if (pkg.has(guess))
            sharedPart = guess;
    }
    if (!sharedPart.isEmpty() &&
        !readPart(pkg, sharedPart, [&](QXmlStreamReader& xml) { return parseSharedStrings(xml); }))
        return false;

    qint64 totalCells = 0;
    for (size_t i = 0; i < sheetEntries.size(); ++i) {
        const SheetEntry& e = sheetEntries[i];
        QString part;
        const auto rel = rels.find(e.relId);
        if (rel != rels.end()) {
            if (!rel->second.type.endsWith(u"/worksheet"))
                continue; // chart sheets and the like hold no cells
            part = rel->second.target;
        } else {
            part = (baseDir.isEmpty() ? QString() : baseDir + u'/') +
                   QStringLiteral("worksheets/sheet%1.xml").arg(i + 1);
        }
        if (e.name.isEmpty() || sheets_.count(e.name))
            continue;
        auto sheet = std::make_unique<XlsxSheet>();
        if (!readSheet(pkg, part, *sheet))
            return false;
        sheet->resolveSharedFormulas();
        sheet->indexRows();
        totalCells += sheet->cellCount();
        if (totalCells > limits_.maxCellsPerSheet)
            return fail(QStringLiteral("too many cells in the workbook"));
        order_.append(e.name);
        sheets_[e.name] = std::move(sheet);
    }
    open_ = true;
    return true;
}

bool XlsxReader::parseSharedStrings(QXmlStreamReader& xml) {
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != u"si")
            continue;
        if (qint64(shared_.size()) >= limits_.maxSharedStrings) {
            error_ = QStringLiteral("too many shared strings");
            return false;
        }
        QString text;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"si")
                break;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"t")
                text += xml.readElementText();
            else if (xml.name() == u"rPh" || xml.name() == u"phoneticPr")
                xml.skipCurrentElement(); // pronunciation hints are not part of the text
        }
        shared_.push_back(decodeXlsxEscapes(text));
    }
    return !xml.hasError();
}

namespace {

// Worksheets are parsed with pugixml, in place in the inflated bytes: names and texts are
// pointers into the buffer, numbers are converted straight from those bytes, and only text
// cells become QStrings. The walk below follows the same rules the cells had when they were
// read as a stream: rows and cells count only inside the one sheetData, at any depth.

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

constexpr unsigned kParseOptions =
    (pugi::parse_default | pugi::parse_ws_pcdata_single) & ~pugi::parse_wnorm_attribute;

} // namespace

// Reads the cells of one worksheet (or one piece of its rows) from a parsed tree.
class SheetCells {
public:
    SheetCells(const std::vector<QString>& shared, XlsxSheet::Part& part, qint64 maxCells)
        : shared_(shared), part_(part), maxCells_(maxCells) {}

    QString why;

    // A whole worksheet document: its one sheetData holds the rows.
    bool readDocument(const pugi::xml_node& root) {
        bool sawSheetData = false;
        const bool ok = walkElements(root, [&](const pugi::xml_node& n) {
            if (!named(n, "sheetData"))
                return Step::Descend;
            if (sawSheetData) {
                why = QStringLiteral("more than one sheetData");
                return Step::Stop;
            }
            sawSheetData = true;
            return readRows(n) ? Step::Skip : Step::Stop;
        });
        return ok && finish();
    }

    // Rows cut out of a sheetData, parsed as a fragment.
    bool readPiece(const pugi::xml_node& fragment) { return readRows(fragment) && finish(); }

private:
    using Stored = XlsxSheet::Stored;

    bool readRows(const pugi::xml_node& sheetData) {
        return walkElements(sheetData, [&](const pugi::xml_node& n) {
            const char* name = localName(n.name());
            if (std::strcmp(name, "c") == 0)
                return readCell(n) ? Step::Skip : Step::Stop;
            if (std::strcmp(name, "row") == 0) {
                const char* r = n.attribute("r").value();
                bool ok = false;
                const uint number = *r ? readUnsigned(r, &ok) : row_ + 1;
                if ((*r && !ok) || number < 1 || number > kMaxRow) {
                    why = QStringLiteral("bad row number");
                    return Step::Stop;
                }
                row_ = number;
                col_ = 0;
                return Step::Descend;
            }
            if (std::strcmp(name, "sheetData") == 0) {
                why = QStringLiteral("more than one sheetData");
                return Step::Stop;
            }
            return Step::Descend;
        });
    }

    quint32 addString(const QString& s) {
        part_.strings.push_back(s);
        return quint32(part_.strings.size() - 1);
    }

    // A budget's reference formulas repeat a few hundred texts over hundreds of thousands of
    // cells: each distinct text is converted and stored once. The keys point into the parsed
    // document, which outlives this object.
    quint32 internFormula(const char* text) {
        const auto [it, added] = formulas_.try_emplace(std::string_view(text), 0);
        if (added)
            it->second = addString(QString::fromUtf8(text, qsizetype(it->first.size())));
        return it->second;
    }
    // The same for texts: payees and types repeat, and every reference cell carries its
    // item's name as its result.
    quint32 internText(const char* text) {
        const auto [it, added] = texts_.try_emplace(std::string_view(text), 0);
        if (added)
            it->second =
                addString(decodeXlsxEscapes(QString::fromUtf8(text, qsizetype(it->first.size()))));
        return it->second;
    }

    bool readCell(const pugi::xml_node& c) {
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
                why = QStringLiteral("bad cell reference");
                return false;
            }
            if (r != 0)
                cellRow = r;
        }
        if (cellCol > kMaxCol) {
            why = QStringLiteral("bad cell reference");
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
                            value =
                                number.viaQt ? number.trimmed : QString::fromUtf8(text).trimmed();
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
                    for (pugi::xml_node inner = n.first_child(); inner;
                         inner = inner.next_sibling())
                        if (inner.type() == pugi::node_element) {
                            why = QStringLiteral("an element inside a text run");
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
                    s.type = *serial == std::trunc(*serial) ? XlsxValueType::Integer
                                                            : XlsxValueType::Float;
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
            s.formula = formulaPieces <= 1
                            ? internFormula(firstFormulaPiece)
                            : addString(QString::fromUtf8(firstFormulaPiece) + formula);
        s.sharedGroup = sharedGroup;
        if (s.type == XlsxValueType::Empty && !hasFormula)
            return true;
        if (qint64(part_.cells.size()) >= maxCells_) {
            why = QStringLiteral("too many cells");
            return false;
        }
        if (!part_.cells.empty()) {
            const Stored& last = part_.cells.back();
            if (last.row > s.row || (last.row == s.row && last.col >= s.col))
                sorted_ = false;
        }
        part_.cells.push_back(s);
        return true;
    }

    bool finish() {
        if (!sorted_)
            std::stable_sort(part_.cells.begin(), part_.cells.end(),
                             [](const Stored& a, const Stored& b) {
                                 return a.row < b.row || (a.row == b.row && a.col < b.col);
                             });
        return true;
    }

    const std::vector<QString>& shared_;
    std::unordered_map<std::string_view, quint32> formulas_;
    std::unordered_map<std::string_view, quint32> texts_;
    XlsxSheet::Part& part_;
    qint64 maxCells_;
    quint32 row_ = 0;
    quint32 col_ = 0;
    bool sorted_ = true;
};

namespace {

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
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

// Parses a whole worksheet document, or rows cut out of one (a piece, always UTF-8), held in
// data (which it modifies) into part.
bool readSheetText(char* data, size_t size, bool piece, bool utf8,
                   const std::vector<QString>& shared, qint64 maxCells, XlsxSheet::Part& part,
                   QString& why) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer_inplace(
        data, size, kParseOptions | (piece ? pugi::parse_fragment : pugi::parse_doctype),
        utf8 || piece ? pugi::encoding_utf8 : pugi::encoding_auto);
    if (parsed.status == pugi::status_out_of_memory)
        throw std::bad_alloc();
    if (!parsed) {
        why = QString::fromUtf8(parsed.description());
        return false;
    }
    // A worksheet never needs a DTD, and its entities could expand without bound.
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_doctype) {
            why = QStringLiteral("a document type declaration");
            return false;
        }
    SheetCells cells(shared, part, maxCells);
    if (!(piece ? cells.readPiece(doc) : cells.readDocument(doc))) {
        why = cells.why;
        return false;
    }
    return true;
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

} // namespace

namespace {

// The bytes of one inflated sheet. A big one is mapped in huge pages where the system offers
// them: filling 40 MB page by page took longer than inflating it.
class SheetBuffer {
public:
    explicit SheetBuffer(qint64 size) : size_(size_t(std::max<qint64>(size, 1))) {
        if (size_ < kHuge) {
            small_.resize(size_);
            data_ = small_.data();
            return;
        }
        mapped_ = (size_ + kHuge - 1) / kHuge * kHuge + kHuge;
        void* map =
            mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            mapped_ = 0;
            return;
        }
        map_ = static_cast<char*>(map);
        // Huge pages must start on a huge page boundary.
        data_ =
            reinterpret_cast<char*>((reinterpret_cast<quintptr>(map_) + kHuge - 1) / kHuge * kHuge);
#ifdef MADV_HUGEPAGE
        madvise(data_, mapped_ - size_t(data_ - map_), MADV_HUGEPAGE);
#endif
    }
    ~SheetBuffer() {
        if (map_)
            munmap(map_, mapped_);
    }
    SheetBuffer(const SheetBuffer&) = delete;
    SheetBuffer& operator=(const SheetBuffer&) = delete;
    char* data() {
        return data_;
    }

private:
    static constexpr size_t kHuge = size_t(2) << 20;
    size_t size_;
    size_t mapped_ = 0;
    char* map_ = nullptr;
    char* data_ = nullptr;
    std::vector<char> small_;
};

} // namespace

// A big sheet's rows are cut into pieces while the sheet inflates; each whole piece is parsed
// in place on a worker thread, so parsing overlaps inflating. A cut falls just before a row
// start tag that carries its number, and only where everything since the last cut is plain
// elements and text; otherwise cutting stops and the rest is one piece (or, with nothing cut
// yet, the sheet is parsed whole). Each piece's cells become a part of the sheet.
class SheetPieces {
public:
    SheetPieces(char* data, qsizetype size, const std::vector<QString>& shared, qint64 maxCells,
                int threads, qint64 pieceBytes)
        : data_(data), size_(size), shared_(shared), maxCells_(maxCells),
          state_(threads > 0 ? State::Looking : State::Off),
          target_(std::clamp<qsizetype>(size / (qsizetype(threads) * 4 + 1),
                                        std::max<qsizetype>(pieceBytes / 8, 1),
                                        std::max<qsizetype>(pieceBytes, 1))) {
        // Threads that cannot be started leave their share to the others and to this one.
        try {
            for (int t = 1; t < threads; ++t)
                workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
        }
    }
    ~SheetPieces() { stop(); }

    // Pieces not yet taken are left; returns once no thread parses any more.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            abandoned_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
    }
    SheetPieces(const SheetPieces&) = delete;
    SheetPieces& operator=(const SheetPieces&) = delete;

    // The first `available` bytes are inflated: hands out the pieces that are whole.
    void inflated(qsizetype available) {
        if (state_ == State::Looking)
            findRows(available);
        while (state_ == State::Cutting && available - lastCut_ > target_) {
            const std::optional<qsizetype> cut = nextCut(available);
            if (!cut)
                break;
            if (state_ == State::Cutting)
                addPiece(lastCut_, *cut);
        }
    }

    bool cut() const { return !pieces_.empty(); }

    // Once every byte is inflated: parses the rest and fills the sheet; false with why when
    // the sheet is unreadable.
    bool finish(XlsxSheet& sheet, QString& why) {
        const qsizetype size = size_;
        const auto stopAfter = qScopeGuard([this] { stop(); });
        if (pieces_.empty())
            utf8_ = isUtf8Part(QByteArrayView(data_, size_).first(std::min<qsizetype>(size, 4096)));
        if (notText_ || (utf8_ && pieces_.empty() && !isXmlText(data_, size_t(size))) ||
            (!pieces_.empty() && !isXmlText(data_ + lastCut_, size_t(size - lastCut_)))) {
            why = QStringLiteral("bytes that are not UTF-8 text");
            return false;
        }
        if (pieces_.empty()) {
            XlsxSheet::Part part;
            if (!readSheetText(data_, size_t(size), false, utf8_, shared_, maxCells_, part, why))
                return false;
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
        addPiece(lastCut_, contentEnd);
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        wake_.notify_all();
        work();
        stop();
        for (const Piece& p : pieces_)
            if (!p.error.isEmpty()) {
                why = p.error;
                return false;
            }
        // What lies around the rows must pass as it would for the whole sheet: well-formed,
        // and with no second sheetData.
        QByteArray skeleton =
            QByteArray(data_, contentStart_) + QByteArray(data_ + contentEnd, size_ - contentEnd);
        XlsxSheet::Part outside;
        if (!readSheetText(skeleton.data(), size_t(skeleton.size()), false, true, shared_,
                           maxCells_, outside, why))
            return false;
        return assemble(sheet, why);
    }

private:
    enum class State { Looking, Cutting, Off };
    struct Piece {
        qsizetype begin;
        qsizetype end;
        XlsxSheet::Part part;
        QString error;
    };

    // Finds where the rows start, once the bytes up to the sheetData start tag are there.
    void findRows(qsizetype available) {
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
    std::optional<qsizetype> nextCut(qsizetype available) {
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
            // No row start tag is anywhere near this long.
            constexpr qsizetype kLongestTag = qsizetype(64) << 10;
            const qsizetype tagEnd =
                text.sliced(nameEnd, std::min(available - nameEnd, kLongestTag)).indexOf('>');
            if (tagEnd < 0) {
                if (available - nameEnd >= kLongestTag)
                    state_ = State::Off;
                searchFrom_ = p;
                return std::nullopt;
            }
            // The piece's first row must say which row it is; rows without "r" count on.
            const QByteArrayView tag = text.sliced(p, nameEnd + tagEnd - p);
            const char* const begin = data_;
            if (!(tag.contains(" r=") || tag.contains("\tr=") || tag.contains("\nr=") ||
                  tag.contains("\rr=")) ||
                !onlyPlainMarkup(begin + lastCut_, begin + p, closeTag_)) {
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

    void addPiece(qsizetype begin, qsizetype end) {
        {
            std::lock_guard lock(mutex_);
            pieces_.push_back({begin, end, {}, {}});
        }
        lastCut_ = end;
        wake_.notify_one();
    }

    void parse(Piece& piece) {
        try {
            parseInPlace(piece);
        } catch (const std::bad_alloc&) {
            piece.part = XlsxSheet::Part();
            piece.error = QStringLiteral("not enough memory");
        }
    }

    void parseInPlace(Piece& piece) {
        // The pieces lie side by side in data, so each is parsed in place by its own thread.
        piece.part.cells.reserve(size_t(piece.end - piece.begin) / 40);
        readSheetText(data_ + piece.begin, size_t(piece.end - piece.begin), true, true, shared_,
                      maxCells_, piece.part, piece.error);
    }

    void work() {
        for (;;) {
            Piece* piece = nullptr;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return next_ < pieces_.size() || closed_; });
                if (abandoned_ || next_ >= pieces_.size())
                    return;
                piece = &pieces_[next_++];
            }
            parse(*piece);
        }
    }

    // The pieces' cells as the sheet's parts; copied into one part and sorted only when
    // their rows are out of order or one row spans two pieces.
    bool assemble(XlsxSheet& sheet, QString& why) {
        size_t cells = 0;
        bool ordered = true;
        const XlsxSheet::Stored* previousLast = nullptr;
        for (const Piece& p : pieces_) {
            cells += p.part.cells.size();
            if (p.part.cells.empty())
                continue;
            if (previousLast && previousLast->row >= p.part.cells.front().row)
                ordered = false;
            previousLast = &p.part.cells.back();
        }
        if (qint64(cells) > maxCells_) {
            why = QStringLiteral("too many cells");
            return false;
        }
        sheet.cellCount_ = cells;
        if (ordered) {
            for (Piece& p : pieces_)
                if (!p.part.cells.empty())
                    sheet.parts_.push_back(std::move(p.part));
            return true;
        }
        XlsxSheet::Part whole;
        whole.cells.reserve(cells);
        for (Piece& p : pieces_) {
            const quint32 offset = quint32(whole.strings.size());
            for (XlsxSheet::Stored c : p.part.cells) {
                if (c.text != XlsxSheet::kNone)
                    c.text += offset;
                if (c.formula != XlsxSheet::kNone)
                    c.formula += offset;
                whole.cells.push_back(c);
            }
            for (QString& str : p.part.strings)
                whole.strings.push_back(std::move(str));
            p.part = XlsxSheet::Part();
        }
        std::stable_sort(whole.cells.begin(), whole.cells.end(),
                         [](const XlsxSheet::Stored& a, const XlsxSheet::Stored& b) {
                             return a.row < b.row || (a.row == b.row && a.col < b.col);
                         });
        sheet.parts_.push_back(std::move(whole));
        return true;
    }

    char* const data_;
    const qsizetype size_;
    const std::vector<QString>& shared_;
    const qint64 maxCells_;
    State state_;
    const qsizetype target_;
    bool utf8_ = true;
    bool notText_ = false;
    QByteArray closeTag_;
    QByteArray rowTag_;
    qsizetype contentStart_ = 0;
    qsizetype lastCut_ = 0;
    qsizetype searchFrom_ = 0; // no usable row tag starts before this, after the last cut

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Piece> pieces_; // elements stay in place while more are added
    size_t next_ = 0;          // the first piece no thread has taken
    bool closed_ = false;      // no more pieces will come
    bool abandoned_ = false;   // the rest is not wanted
    std::vector<std::thread> workers_;
};

bool XlsxReader::readSheet(Package& pkg, const QString& name, XlsxSheet& sheet) {
    const qint64 bytesBefore = totalBytes_;
    const int threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    for (const bool inPieces : {true, false}) {
        qint64 size = 0;
        zip_file_t* file = openEntry(pkg, name, &size);
        if (!file)
            return false;
        // The sheet is inflated whole (its size was checked above) and parsed in place; a big
        // one in pieces, on several threads, while it inflates.
        SheetBuffer buffer(size);
        if (!buffer.data()) {
            zip_fclose(file);
            throw std::bad_alloc();
        }
        char* const data = buffer.data();
        SheetPieces pieces(data, size, shared_, limits_.maxCellsPerSheet,
                           inPieces && size >= limits_.parallelFrom ? threads : 0,
                           limits_.pieceBytes);
        const qint64 step = std::max<qint64>(limits_.pieceBytes / 2, 1);
        qint64 total = 0;
        while (total < size) {
            const zip_int64_t n =
                zip_fread(file, data + total, zip_uint64_t(std::min(size - total, step)));
            if (n <= 0)
                break;
            total += n;
            pieces.inflated(total);
        }
        char extra = 0;
        const bool exact = total == size && zip_fread(file, &extra, 1) == 0;
        zip_fclose(file);
        if (!exact) {
            pieces.stop(); // before fail() clears the shared strings the pieces read
            return fail(QStringLiteral("part %1 is unreadable: inflating failed").arg(name));
        }
        QString why;
        if (pieces.finish(sheet, why))
            return true;
        if (!pieces.cut())
            return fail(QStringLiteral("part %1 is unreadable: %2").arg(name, why));
        // Cuts are found by searching, not parsing: in a malformed sheet that a lenient parse
        // still accepts (a "<" inside an attribute value, say) one may fall inside a tag. The
        // sheet is then read again whole, so it reads exactly as it would whole.
        sheet = XlsxSheet();
        totalBytes_ = bytesBefore;
    }
    return false;
}
