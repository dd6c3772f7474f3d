#include "storage/xlsxreader.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTime>
#include <QXmlStreamReader>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>
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

// The text of the current element (which must hold no elements of its own) into out.
void readTextInto(QXmlStreamReader& xml, QString& out) {
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::EntityReference:
            out += xml.text();
            break;
        case QXmlStreamReader::StartElement:
            xml.skipCurrentElement();
            break;
        case QXmlStreamReader::EndElement:
            return;
        default:
            break;
        }
    }
}

// The element's name without its prefix, whether or not namespaces are being processed.
QStringView localName(const QXmlStreamReader& xml) {
    const QStringView q = xml.qualifiedName();
    for (qsizetype i = 0; i < q.size(); ++i)
        if (q[i] == u':')
            return q.mid(i + 1);
    return q;
}

// Name comparisons in the cell loop run millions of times; these stay inline.
template <qsizetype N> bool is(QStringView name, const char16_t (&literal)[N]) {
    if (name.size() != N - 1)
        return false;
    for (qsizetype i = 0; i < N - 1; ++i)
        if (name[i] != literal[i])
            return false;
    return true;
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
        quint32 row, col, formula;
    };
    std::map<quint32, Master> masters;
    for (const Stored& c : cells_)
        if (c.sharedGroup != kNone && c.formula != kNone && !masters.count(c.sharedGroup))
            masters[c.sharedGroup] = {c.row, c.col, c.formula};
    if (masters.empty())
        return;
    for (Stored& c : cells_) {
        if (c.sharedGroup == kNone || c.formula != kNone)
            continue;
        const auto it = masters.find(c.sharedGroup);
        if (it == masters.end())
            continue;
        const Master& m = it->second;
        strings_.push_back(shiftFormulaReferences(strings_[m.formula], int(c.row) - int(m.row),
                                                  int(c.col) - int(m.col)));
        c.formula = quint32(strings_.size() - 1);
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

XlsxCell XlsxSheet::cell(int row, int col) const {
    XlsxCell out;
    if (row < 1 || col < 1)
        return out;
    const auto it =
        std::lower_bound(cells_.begin(), cells_.end(), std::pair(quint32(row), quint32(col)),
                         [](const Stored& s, const std::pair<quint32, quint32>& key) {
                             return s.row < key.first || (s.row == key.first && s.col < key.second);
                         });
    if (it == cells_.end() || it->row != quint32(row) || it->col != quint32(col))
        return out;
    out.type_ = it->type;
    out.number_ = it->number;
    if (it->text != kNone)
        out.text_ = strings_[it->text];
    if (it->formula != kNone) {
        out.formula_ = strings_[it->formula];
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

bool XlsxReader::parseSheet(QXmlStreamReader& xml, XlsxSheet& sheet, QString& why) const {
    using Stored = XlsxSheet::Stored;
    quint32 row = 0;
    quint32 col = 0;
    bool sorted = true;
    QString value;
    QString formula;
    QString inlineText;
    // About one stored cell per 40 bytes of sheet XML; the size is only declared, so the
    // guess is capped and the vector grows from there if the content is real.
    if (xml.device() && xml.device()->bytesAvailable() > 0)
        sheet.cells_.reserve(
            size_t(std::min<qint64>(xml.device()->bytesAvailable() / 40, 1 << 20)));
    auto addString = [&](const QString& s) {
        sheet.strings_.push_back(s);
        return quint32(sheet.strings_.size() - 1);
    };

    // Rows count only inside the one sheetData element; a second one is a broken sheet,
    // whether the sheet is read by one reader or in pieces.
    bool inSheetData = false;
    bool sawSheetData = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && is(localName(xml), u"sheetData"))
            inSheetData = false;
        if (!xml.isStartElement())
            continue;
        if (is(localName(xml), u"sheetData")) {
            if (sawSheetData) {
                why = QStringLiteral("more than one sheetData");
                return false;
            }
            sawSheetData = inSheetData = true;
            continue;
        }
        if (!inSheetData)
            continue;
        if (is(localName(xml), u"row")) {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            bool ok = false;
            const uint n = r.isEmpty() ? row + 1 : r.toUInt(&ok);
            if ((!r.isEmpty() && !ok) || n < 1 || n > kMaxRow) {
                why = QStringLiteral("bad row number");
                return false;
            }
            row = n;
            col = 0;
            continue;
        }
        if (!is(localName(xml), u"c"))
            continue;

        const QXmlStreamAttributes attrs = xml.attributes();
        QStringView ref;
        QStringView t;
        for (const QXmlStreamAttribute& a : attrs) {
            const QStringView attribute = a.qualifiedName();
            if (is(attribute, u"r"))
                ref = a.value();
            else if (is(attribute, u"t"))
                t = a.value();
        }
        quint32 cellRow = row == 0 ? 1 : row;
        quint32 cellCol = col + 1;
        if (!ref.isEmpty()) {
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
        if (row == 0)
            row = cellRow;
        col = cellCol;
        enum class Kind { Number, Shared, Inline, Str, Date, Boolean, Error } kind = Kind::Number;
        if (is(t, u"s"))
            kind = Kind::Shared;
        else if (is(t, u"inlineStr"))
            kind = Kind::Inline;
        else if (is(t, u"str"))
            kind = Kind::Str;
        else if (is(t, u"d"))
            kind = Kind::Date;
        else if (is(t, u"b"))
            kind = Kind::Boolean;
        else if (is(t, u"e"))
            kind = Kind::Error;

        value.clear();
        double number = 0;
        bool numberOk = false;
        bool integral = false;
        formula.clear();
        inlineText.clear();
        bool hasValue = false;
        bool hasFormula = false;
        quint32 sharedGroup = XlsxSheet::kNone;
        bool hasInline = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && is(localName(xml), u"c"))
                break;
            if (!xml.isStartElement())
                continue;
            if (is(localName(xml), u"v") &&
                (kind == Kind::Number || kind == Kind::Shared || kind == Kind::Boolean)) {
                // Numbers are parsed straight from the reader's buffer: no copy per cell.
                hasValue = true;
                numberOk = false;
                int pieces = 0;
                while (!xml.atEnd()) {
                    const auto token = xml.readNext();
                    if (token == QXmlStreamReader::EndElement)
                        break;
                    if (token == QXmlStreamReader::StartElement) {
                        xml.skipCurrentElement();
                    } else if (token == QXmlStreamReader::Characters && ++pieces == 1) {
                        const QStringView t = xml.text().trimmed();
                        number = t.toDouble(&numberOk);
                        integral = numberOk && !t.contains(u'.') && !t.contains(u'e') &&
                                   !t.contains(u'E') && std::fabs(number) < 9.0e15;
                        if (!numberOk && kind == Kind::Number)
                            value = t.toString();
                    } else if (token == QXmlStreamReader::Characters ||
                               token == QXmlStreamReader::EntityReference) {
                        numberOk = false; // a number is never split by references
                    }
                }
            } else if (is(localName(xml), u"v")) {
                readTextInto(xml, value);
                hasValue = true;
            } else if (is(localName(xml), u"f")) {
                // A shared formula's other cells carry only its group number; they are
                // resolved from the group's first cell once the whole sheet is read.
                const QXmlStreamAttributes f = xml.attributes();
                if (f.value(QLatin1String("t")) == u"shared") {
                    bool ok = false;
                    const uint group = f.value(QLatin1String("si")).toUInt(&ok);
                    if (ok && group < XlsxSheet::kNone)
                        sharedGroup = group;
                }
                readTextInto(xml, formula);
                hasFormula = true;
            } else if (is(localName(xml), u"is")) {
                hasInline = true;
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isEndElement() && is(localName(xml), u"is"))
                        break;
                    if (!xml.isStartElement())
                        continue;
                    if (is(localName(xml), u"t"))
                        inlineText += xml.readElementText();
                    else if (is(localName(xml), u"rPh") || is(localName(xml), u"phoneticPr"))
                        xml.skipCurrentElement();
                }
            } else {
                xml.skipCurrentElement();
            }
        }
        if (xml.hasError())
            return false;

        Stored s{cellRow, cellCol, 0, XlsxSheet::kNone, XlsxSheet::kNone, XlsxValueType::Empty};
        switch (kind) {
        case Kind::Shared: {
            const double index = number;
            if (hasValue && numberOk && integral && index >= 0 && index < double(shared_.size())) {
                s.type = XlsxValueType::Text;
                s.text = addString(shared_[size_t(index)]);
            }
            break;
        }
        case Kind::Inline:
            if (hasInline) {
                s.type = XlsxValueType::Text;
                s.text = addString(decodeXlsxEscapes(inlineText));
            }
            break;
        case Kind::Str:
            if (hasValue) {
                s.type = XlsxValueType::Text;
                s.text = addString(decodeXlsxEscapes(value));
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
                s.number = numberOk && number != 0 ? 1 : 0;
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
            if (numberOk) {
                s.type = integral ? XlsxValueType::Integer : XlsxValueType::Float;
                s.number = number;
            } else if (!value.isEmpty()) {
                s.type = XlsxValueType::Text;
                s.text = addString(value);
            }
            break;
        }
        if (hasFormula && (!formula.isEmpty() || sharedGroup == XlsxSheet::kNone))
            s.formula = addString(formula);
        s.sharedGroup = sharedGroup;
        if (s.type == XlsxValueType::Empty && !hasFormula)
            continue;
        if (qint64(sheet.cells_.size()) >= limits_.maxCellsPerSheet) {
            why = QStringLiteral("too many cells");
            return false;
        }
        if (!sheet.cells_.empty()) {
            const Stored& last = sheet.cells_.back();
            if (last.row > s.row || (last.row == s.row && last.col >= s.col))
                sorted = false;
        }
        sheet.cells_.push_back(s);
    }
    if (xml.hasError())
        return false;
    if (!sorted) {
        std::stable_sort(sheet.cells_.begin(), sheet.cells_.end(),
                         [](const Stored& a, const Stored& b) {
                             return a.row < b.row || (a.row == b.row && a.col < b.col);
                         });
    }
    sheet.cells_.shrink_to_fit();
    return true;
}

namespace {

// Where the rows of a worksheet can be cut into pieces that parse on their own: the byte
// offsets of the sheetData content and of row start tags between. Empty when the text has
// anything that would make a cut unsafe (a DTD, CDATA, comments, processing instructions) or
// a piece would start with a row that does not carry its number.
struct RowCuts {
    QByteArray prefix;           // "x:" or empty
    std::vector<qsizetype> cuts; // first is the content's start, last its end
};

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

RowCuts findRowCuts(const QByteArray& data, int pieces) {
    RowCuts out;
    const qsizetype declarationEnd = data.startsWith("<?xml") ? data.indexOf("?>") + 2 : 0;
    // One pass over the markup: no "<!" and no "<?" after the declaration.
    const char* const begin = data.constData();
    const char* const end = begin + data.size();
    for (const char* p = begin + std::max<qsizetype>(declarationEnd, 0);
         (p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr; ++p) {
        if (p + 1 < end && (p[1] == '!' || p[1] == '?'))
            return {};
    }
    // The element's prefix, if any, is whatever stands between "<" and "sheetData".
    qsizetype at = data.indexOf("sheetData");
    while (at >= 0 && !(at + 9 < data.size() && isNameEnd(data[at + 9])))
        at = data.indexOf("sheetData", at + 1);
    if (at < 0)
        return {};
    const qsizetype open = data.lastIndexOf('<', at);
    if (open < 0 || data[open + 1] == '/')
        return {};
    out.prefix = data.mid(open + 1, at - open - 1);
    for (char c : out.prefix)
        if (!(std::isalnum(uchar(c)) || c == '_' || c == '-' || c == '.' || c == ':'))
            return {};
    const qsizetype contentStart = data.indexOf('>', at) + 1;
    if (contentStart <= 0 || data[contentStart - 2] == '/')
        return {};
    const qsizetype contentEnd = data.lastIndexOf("</" + out.prefix + "sheetData");
    if (contentEnd < contentStart)
        return {};
    const QByteArray rowTag = "<" + out.prefix + "row";
    out.cuts.push_back(contentStart);
    for (int k = 1; k < pieces; ++k) {
        qsizetype p = contentStart + (contentEnd - contentStart) * k / pieces;
        for (p = data.indexOf(rowTag, p); p >= 0 && p < contentEnd; p = data.indexOf(rowTag, p + 1))
            if (isNameEnd(data[p + rowTag.size()]))
                break;
        if (p < 0 || p >= contentEnd || p <= out.cuts.back())
            continue;
        // The piece's first row must say which row it is; rows without "r" count on.
        const qsizetype tagEnd = data.indexOf('>', p);
        const QByteArray tag = data.mid(p, tagEnd - p);
        if (!tag.contains(" r=") && !tag.contains("\tr=") && !tag.contains("\nr=") &&
            !tag.contains("\rr="))
            return {};
        out.cuts.push_back(p);
    }
    out.cuts.push_back(contentEnd);
    return out;
}

} // namespace

bool XlsxReader::readSheet(Package& pkg, const QString& name, XlsxSheet& sheet) {
    qint64 size = 0;
    zip_file_t* file = openEntry(pkg, name, &size);
    if (!file)
        return false;
    const int threads = int(std::min(std::thread::hardware_concurrency(), 4u));
    if (size < limits_.parallelFrom || threads < 2) {
        zip_fclose(file);
        QString why;
        return readPart(pkg, name, [&](QXmlStreamReader& xml) {
            const bool ok = parseSheet(xml, sheet, why);
            if (!ok)
                error_ = why;
            return ok;
        });
    }

    // A big sheet is inflated whole (its size was checked above) and its rows are parsed in
    // pieces on several threads, each piece by its own XML reader.
    QByteArray data(size, Qt::Uninitialized);
    qint64 total = 0;
    while (total < size) {
        const zip_int64_t n = zip_fread(file, data.data() + total, zip_uint64_t(size - total));
        if (n <= 0)
            break;
        total += n;
    }
    char extra = 0;
    const bool exact = total == size && zip_fread(file, &extra, 1) == 0;
    zip_fclose(file);
    if (!exact)
        return fail(QStringLiteral("part %1 is unreadable: inflating failed").arg(name));

    const RowCuts cuts = findRowCuts(data, threads * 4);
    if (cuts.cuts.size() < 3) {
        QXmlStreamReader xml(data);
        QString why;
        if (!parseSheet(xml, sheet, why) || xml.hasError())
            return fail(QStringLiteral("part %1 is unreadable: %2")
                            .arg(name, why.isEmpty() ? xml.errorString() : why));
        return true;
    }
    // What lies around the rows must pass as it would for a single reader: well-formed, and
    // with no second sheetData.
    {
        QXmlStreamReader skeleton(data.left(cuts.cuts.front()) + data.mid(cuts.cuts.back()));
        XlsxSheet outside;
        QString why;
        if (!parseSheet(skeleton, outside, why) || skeleton.hasError())
            return fail(QStringLiteral("part %1 is unreadable: %2")
                            .arg(name, why.isEmpty() ? skeleton.errorString() : why));
    }
    const size_t count = cuts.cuts.size() - 1;
    std::vector<XlsxSheet> pieces(count);
    std::vector<QString> errors(count);
    auto parsePiece = [&](size_t i) {
        const QByteArray open = "<" + cuts.prefix + "sheetData>";
        const QByteArray close = "</" + cuts.prefix + "sheetData>";
        QByteArray text = open;
        text.append(data.constData() + cuts.cuts[i], cuts.cuts[i + 1] - cuts.cuts[i]);
        text.append(close);
        pieces[i].cells_.reserve(size_t(text.size() / 40));
        QXmlStreamReader xml(text);
        xml.setNamespaceProcessing(false); // the prefix's declaration stayed with the root
        if (!parseSheet(xml, pieces[i], errors[i]) && errors[i].isEmpty())
            errors[i] = xml.errorString();
        else if (xml.hasError())
            errors[i] = xml.errorString();
    };
    // More pieces than threads, handed out in turn, so a slower thread does less of the work.
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < count; i = next++)
            parsePiece(i);
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& t : workers)
        t.join();
    for (size_t i = 0; i < count; ++i)
        if (!errors[i].isEmpty())
            return fail(QStringLiteral("part %1 is unreadable: %2").arg(name, errors[i]));

    size_t cells = 0;
    size_t strings = 0;
    for (const XlsxSheet& p : pieces) {
        cells += p.cells_.size();
        strings += p.strings_.size();
    }
    if (qint64(cells) > limits_.maxCellsPerSheet)
        return fail(QStringLiteral("part %1 is unreadable: too many cells").arg(name));
    sheet.cells_.reserve(cells);
    sheet.strings_.reserve(strings);
    for (XlsxSheet& p : pieces) {
        const quint32 offset = quint32(sheet.strings_.size());
        for (XlsxSheet::Stored c : p.cells_) {
            if (c.text != XlsxSheet::kNone)
                c.text += offset;
            if (c.formula != XlsxSheet::kNone)
                c.formula += offset;
            sheet.cells_.push_back(c);
        }
        for (QString& str : p.strings_)
            sheet.strings_.push_back(std::move(str));
        p = XlsxSheet();
    }
    const auto before = [](const XlsxSheet::Stored& a, const XlsxSheet::Stored& b) {
        return a.row < b.row || (a.row == b.row && a.col < b.col);
    };
    if (!std::is_sorted(sheet.cells_.begin(), sheet.cells_.end(), before))
        std::stable_sort(sheet.cells_.begin(), sheet.cells_.end(), before);
    return true;
}
