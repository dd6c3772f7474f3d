#include "storage/xlsxreader.h"

#include "storage/xlsxpieces.h"
#include "storage/xlsxsheetbuffer.h"
#include "storage/xlsxsheetxml.h"

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QXmlStreamReader>
#include <algorithm>
#include <zip.h>

// The package: its entries, bounded as they inflate; the relationships that name the
// workbook, its sheets and shared strings; and each sheet inflated whole, then read.

namespace {

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

} // namespace

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
        // The bound on cells holds for the whole workbook: each sheet may take what the
        // sheets before it left.
        if (!readSheet(pkg, part, *sheet, limits_.maxCells - totalCells))
            return false;
        sheet->resolveSharedFormulas();
        sheet->indexRows();
        totalCells += sheet->cellCount();
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

bool XlsxReader::readSheet(Package& pkg, const QString& name, XlsxSheet& sheet, qint64 maxCells) {
    const qint64 bytesBefore = totalBytes_;
    for (const bool inPieces : {true, false}) {
        qint64 size = 0;
        zip_file_t* file = openEntry(pkg, name, &size);
        if (!file)
            return false;
        // The sheet is inflated whole (its size was checked above) and parsed in place; a big
        // one in pieces while it inflates.
        SheetBuffer buffer(size);
        if (!buffer.data()) {
            zip_fclose(file);
            throw std::bad_alloc();
        }
        char* const data = buffer.data();
        SheetCells cells(shared_, maxCells);
        SheetPieces pieces(data, size, cells, inPieces && size >= limits_.piecesFrom,
                           limits_.pieceBytes, limits_.maxTreeBytes);
        const qint64 step = std::max<qint64>(limits_.pieceBytes / 2, 1);
        qint64 total = 0;
        while (total < size && !pieces.failed()) {
            const zip_int64_t n =
                zip_fread(file, data + total, zip_uint64_t(std::min(size - total, step)));
            if (n <= 0)
                break;
            total += n;
            pieces.inflated(total);
        }
        char extra = 0;
        const bool exact = pieces.failed() || (total == size && zip_fread(file, &extra, 1) == 0);
        zip_fclose(file);
        if (!exact)
            return fail(QStringLiteral("part %1 is unreadable: inflating failed").arg(name));
        QString why;
        if (pieces.finish(sheet, why))
            return true;
        // Cuts are found by searching, not parsing: in a malformed sheet that a lenient parse
        // still accepts (a "<" inside an attribute value, say) one may fall inside a tag. The
        // sheet is then read again whole, so it reads exactly as it would whole, unless the
        // whole could not be read either.
        if (!pieces.cut() || cells.tooManyCells() || size > limits_.maxTreeBytes)
            return fail(QStringLiteral("part %1 is unreadable: %2").arg(name, why));
        sheet = XlsxSheet();
        totalBytes_ = bytesBefore;
    }
    return false;
}
