#include "storage/xlsxreader.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <zip.h>

namespace {

constexpr quint32 kMaxRow = 1048576;
constexpr quint32 kMaxCol = 16384;

// One inflating entry of the package as a sequential device, refusing to deliver more bytes
// than the entry declared.
class ZipEntryDevice : public QIODevice {
public:
    ZipEntryDevice(zip_file_t* file, qint64 declared) : file_(file), declared_(declared)
    {
        QIODevice::open(QIODevice::ReadOnly);
    }
    ~ZipEntryDevice() override
    {
        if (file_)
            zip_fclose(file_);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return QIODevice::bytesAvailable() + std::max<qint64>(0, declared_ - total_);
    }
    bool atEnd() const override { return total_ >= declared_ && QIODevice::bytesAvailable() == 0; }
    bool failed() const { return failed_; }

protected:
    qint64 readData(char* data, qint64 maxlen) override
    {
        if (failed_)
            return -1;
        const qint64 want = std::min(maxlen, declared_ - total_ + 1);
        if (want <= 0)
            return 0;
        const zip_int64_t n = zip_fread(file_, data, zip_uint64_t(want));
        if (n < 0) {
            failed_ = true;
            return -1;
        }
        total_ += n;
        if (total_ > declared_) {
            failed_ = true;
            return -1;
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    zip_file_t* file_;
    qint64 declared_;
    qint64 total_ = 0;
    bool failed_ = false;
};

bool parseCellReference(QStringView ref, quint32& row, quint32& col)
{
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

bool isRelationshipId(const QXmlStreamAttribute& a)
{
    return a.name() == u"id" && !a.namespaceUri().isEmpty();
}

QString resolveTarget(const QString& baseDir, const QString& target)
{
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    return QDir::cleanPath(baseDir.isEmpty() ? target : baseDir + u'/' + target);
}

// The text of the current element (which must hold no elements of its own) into out.
void readTextInto(QXmlStreamReader& xml, QString& out)
{
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

struct Relationship {
    QString type;
    QString target;
};

} // namespace

QString decodeXlsxEscapes(const QString& text)
{
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

QString XlsxCell::toText() const
{
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

qint64 XlsxCell::toInteger() const
{
    if (!isNumber() || !std::isfinite(number_))
        return 0;
    if (number_ >= 9.2e18 || number_ <= -9.2e18)
        return 0;
    return qint64(number_);
}

double XlsxCell::toDouble() const
{
    if (isNumber() || type_ == XlsxValueType::Boolean)
        return number_;
    return 0;
}

XlsxCell XlsxSheet::cell(int row, int col) const
{
    XlsxCell out;
    if (row < 1 || col < 1)
        return out;
    const auto it = std::lower_bound(cells_.begin(), cells_.end(), std::pair(quint32(row), quint32(col)),
                                     [](const Stored& s, const std::pair<quint32, quint32>& key) {
                                         return s.row < key.first
                                             || (s.row == key.first && s.col < key.second);
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
    ~Package()
    {
        if (zip)
            zip_discard(zip);
    }
    bool has(const QString& name) const
    {
        return zip_name_locate(zip, name.toUtf8().constData(), 0) >= 0
            || zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
    }
};

XlsxReader::XlsxReader() = default;
XlsxReader::~XlsxReader() = default;

bool XlsxReader::fail(const QString& why)
{
    error_ = why;
    close();
    return false;
}

void XlsxReader::close()
{
    open_ = false;
    shared_.clear();
    order_.clear();
    sheets_.clear();
}

bool XlsxReader::hasSheet(const QString& name) const
{
    return sheets_.count(name) != 0;
}

const XlsxSheet* XlsxReader::sheet(const QString& name) const
{
    const auto it = sheets_.find(name);
    return it == sheets_.end() ? nullptr : it->second.get();
}

QString XlsxReader::cellAddress(int row, int col)
{
    QString letters;
    for (int c = col; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

bool XlsxReader::readPart(Package& pkg, const QString& name,
                          const std::function<bool(QXmlStreamReader&)>& parse)
{
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(pkg.zip, utf8.constData(), 0);
    if (index < 0)
        index = zip_name_locate(pkg.zip, utf8.constData(), ZIP_FL_NOCASE);
    if (index < 0)
        return fail(QStringLiteral("missing part %1").arg(name));
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(pkg.zip, zip_uint64_t(index), 0, &st) != 0
        || !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE))
        return fail(QStringLiteral("unreadable part %1").arg(name));
    const qint64 size = qint64(std::min<zip_uint64_t>(st.size, zip_uint64_t(1) << 62));
    const qint64 compressed = qint64(std::min<zip_uint64_t>(st.comp_size, zip_uint64_t(1) << 62));
    if (size > limits_.maxPartBytes)
        return fail(QStringLiteral("part %1 is too large").arg(name));
    if (size > limits_.ratioCheckFrom && size > compressed * limits_.maxInflateRatio)
        return fail(QStringLiteral("part %1 inflates suspiciously").arg(name));
    zip_file_t* file = zip_fopen_index(pkg.zip, zip_uint64_t(index), 0);
    if (!file)
        return fail(QStringLiteral("cannot inflate part %1").arg(name));
    ZipEntryDevice device(file, size);
    QXmlStreamReader xml(&device);
    error_.clear();
    const bool ok = parse(xml);
    if (!ok || xml.hasError() || device.failed()) {
        const QString why = !error_.isEmpty() ? error_
            : xml.hasError()                ? xml.errorString()
                                            : QStringLiteral("inflating failed");
        return fail(QStringLiteral("part %1 is unreadable: %2").arg(name, why));
    }
    return true;
}

bool XlsxReader::open(const QString& path)
{
    close();
    error_.clear();
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
                if (xml.isStartElement() && xml.name() == u"Relationship"
                    && xml.attributes().value(QLatin1String("Type")).endsWith(u"/officeDocument"))
                    found = resolveTarget(QString(), xml.attributes().value(QLatin1String("Target")).toString());
            }
            return true;
        });
        if (!ok)
            return false;
        if (!found.isEmpty())
            workbookPart = found;
    }
    const QString baseDir = workbookPart.contains(u'/')
        ? workbookPart.left(workbookPart.lastIndexOf(u'/'))
        : QString();

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
    const QString relsPart = (baseDir.isEmpty() ? QString() : baseDir + u'/') + QStringLiteral("_rels/")
        + workbookPart.mid(workbookPart.lastIndexOf(u'/') + 1) + QStringLiteral(".rels");
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
                            resolveTarget(baseDir, attrs.value(QLatin1String("Target")).toString())};
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
        const QString guess = (baseDir.isEmpty() ? QString() : baseDir + u'/') + QStringLiteral("sharedStrings.xml");
        if (pkg.has(guess))
            sharedPart = guess;
    }
    if (!sharedPart.isEmpty()
        && !readPart(pkg, sharedPart, [&](QXmlStreamReader& xml) { return parseSharedStrings(xml); }))
        return false;

    for (size_t i = 0; i < sheetEntries.size(); ++i) {
        const SheetEntry& e = sheetEntries[i];
        QString part;
        const auto rel = rels.find(e.relId);
        if (rel != rels.end()) {
            if (!rel->second.type.endsWith(u"/worksheet"))
                continue; // chart sheets and the like hold no cells
            part = rel->second.target;
        } else {
            part = (baseDir.isEmpty() ? QString() : baseDir + u'/')
                + QStringLiteral("worksheets/sheet%1.xml").arg(i + 1);
        }
        if (e.name.isEmpty() || sheets_.count(e.name))
            continue;
        auto sheet = std::make_unique<XlsxSheet>();
        if (!readPart(pkg, part, [&](QXmlStreamReader& xml) { return parseSheet(xml, *sheet); }))
            return false;
        order_.append(e.name);
        sheets_[e.name] = std::move(sheet);
    }
    open_ = true;
    return true;
}

bool XlsxReader::parseSharedStrings(QXmlStreamReader& xml)
{
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

bool XlsxReader::parseSheet(QXmlStreamReader& xml, XlsxSheet& sheet)
{
    using Stored = XlsxSheet::Stored;
    quint32 row = 0;
    quint32 col = 0;
    bool sorted = true;
    QString value;
    QString formula;
    QString inlineText;
    auto addString = [&](const QString& s) {
        sheet.strings_.push_back(s);
        return quint32(sheet.strings_.size() - 1);
    };

    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"row") {
            const QStringView r = xml.attributes().value(QLatin1String("r"));
            bool ok = false;
            const uint n = r.isEmpty() ? row + 1 : r.toUInt(&ok);
            if ((!r.isEmpty() && !ok) || n < 1 || n > kMaxRow) {
                error_ = QStringLiteral("bad row number");
                return false;
            }
            row = n;
            col = 0;
            continue;
        }
        if (xml.name() != u"c")
            continue;

        const QXmlStreamAttributes attrs = xml.attributes();
        const QStringView ref = attrs.value(QLatin1String("r"));
        quint32 cellRow = row == 0 ? 1 : row;
        quint32 cellCol = col + 1;
        if (!ref.isEmpty()) {
            quint32 r = 0;
            if (!parseCellReference(ref, r, cellCol)) {
                error_ = QStringLiteral("bad cell reference");
                return false;
            }
            if (r != 0)
                cellRow = r;
        }
        if (cellCol > kMaxCol) {
            error_ = QStringLiteral("bad cell reference");
            return false;
        }
        if (row == 0)
            row = cellRow;
        col = cellCol;
        enum class Kind { Number, Shared, Inline, Str, Boolean, Error } kind = Kind::Number;
        const QStringView t = attrs.value(QLatin1String("t"));
        if (t == u"s")
            kind = Kind::Shared;
        else if (t == u"inlineStr")
            kind = Kind::Inline;
        else if (t == u"str" || t == u"d")
            kind = Kind::Str;
        else if (t == u"b")
            kind = Kind::Boolean;
        else if (t == u"e")
            kind = Kind::Error;

        value.clear();
        double number = 0;
        bool numberOk = false;
        bool integral = false;
        formula.clear();
        inlineText.clear();
        bool hasValue = false;
        bool hasFormula = false;
        bool hasInline = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isEndElement() && xml.name() == u"c")
                break;
            if (!xml.isStartElement())
                continue;
            if (xml.name() == u"v" && (kind == Kind::Number || kind == Kind::Shared || kind == Kind::Boolean)) {
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
                        integral = numberOk && !t.contains(u'.') && !t.contains(u'e') && !t.contains(u'E')
                            && std::fabs(number) < 9.0e15;
                        if (!numberOk && kind == Kind::Number)
                            value = t.toString();
                    } else if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::EntityReference) {
                        numberOk = false; // a number is never split by references
                    }
                }
            } else if (xml.name() == u"v") {
                readTextInto(xml, value);
                hasValue = true;
            } else if (xml.name() == u"f") {
                readTextInto(xml, formula);
                hasFormula = true;
            } else if (xml.name() == u"is") {
                hasInline = true;
                while (!xml.atEnd()) {
                    xml.readNext();
                    if (xml.isEndElement() && xml.name() == u"is")
                        break;
                    if (!xml.isStartElement())
                        continue;
                    if (xml.name() == u"t")
                        inlineText += xml.readElementText();
                    else if (xml.name() == u"rPh" || xml.name() == u"phoneticPr")
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
        if (hasFormula)
            s.formula = addString(formula);
        if (s.type == XlsxValueType::Empty && !hasFormula)
            continue;
        if (qint64(sheet.cells_.size()) >= limits_.maxCellsPerSheet) {
            error_ = QStringLiteral("too many cells");
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
        std::stable_sort(sheet.cells_.begin(), sheet.cells_.end(), [](const Stored& a, const Stored& b) {
            return a.row < b.row || (a.row == b.row && a.col < b.col);
        });
    }
    sheet.cells_.shrink_to_fit();
    return true;
}
