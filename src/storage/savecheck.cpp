#include "storage/savecheck.h"

#include "model/budget.h"
#include "storage/workbook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QXmlStreamReader>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

void SheetDigest::add(qint64 serial, qint64 cents) {
    // Each row's values are mixed with its position, so rows that trade places, vanish or
    // repeat change the sum.
    quint64 x = quint64(rows + 1) * 0x9E3779B97F4A7C15ULL;
    x ^= quint64(serial) * 0xC2B2AE3D27D4EB4FULL;
    x = (x ^ (x >> 31)) * 0xBF58476D1CE4E5B9ULL;
    x ^= quint64(cents) * 0x94D049BB133111EBULL;
    x ^= x >> 29;
    sum += x;
    ++rows;
}

SheetDigest expectedTransactionsDigest(const Budget& budget) {
    SheetDigest digest;
    const auto& list = budget.transactions();
    // Written newest first, the list being oldest first; a date of 0 is written as 1.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const int serial = serialDayOf((*it)->transactionTime);
        digest.add(serial == 0 ? 1 : serial, (*it)->amount);
    }
    return digest;
}

namespace {

constexpr qsizetype kChunk = 1 << 16;
// workbook.xml and its relations are a few hundred bytes; anything near this is not ours.
constexpr zip_uint64_t kSmallPartLimit = 1 << 20;

QByteArray readSmallPart(zip_t* zip, const char* name) {
    zip_stat_t st;
    if (zip_stat(zip, name, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        st.size > kSmallPartLimit)
        return {};
    zip_file_t* file = zip_fopen(zip, name, 0);
    if (!file)
        return {};
    QByteArray data(qsizetype(st.size), Qt::Uninitialized);
    const zip_int64_t n = zip_fread(file, data.data(), st.size);
    zip_fclose(file);
    return n == zip_int64_t(st.size) ? data : QByteArray();
}

// The part that holds the sheet of that name, found the way a reader finds it.
QByteArray sheetPartName(zip_t* zip, QStringView sheetName) {
    QString relationId;
    QXmlStreamReader book(readSmallPart(zip, "xl/workbook.xml"));
    while (relationId.isEmpty() && !book.atEnd()) {
        book.readNext();
        if (book.isStartElement() && book.name() == u"sheet" &&
            book.attributes().value(QLatin1StringView("name")) == sheetName)
            for (const QXmlStreamAttribute& a : book.attributes())
                if (a.name() == u"id")
                    relationId = a.value().toString();
    }
    if (relationId.isEmpty())
        return {};
    QXmlStreamReader rels(readSmallPart(zip, "xl/_rels/workbook.xml.rels"));
    while (!rels.atEnd()) {
        rels.readNext();
        if (rels.isStartElement() && rels.name() == u"Relationship" &&
            rels.attributes().value(QLatin1StringView("Id")) == relationId) {
            const QString target = rels.attributes().value(QLatin1StringView("Target")).toString();
            return (target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target)
                .toUtf8();
        }
    }
    return {};
}

bool parseNumber(const char* begin, const char* end, double& out) {
    const auto [ptr, ec] = std::from_chars(begin, end, out);
    return ec == std::errc() && ptr == end && std::isfinite(out);
}

// Reads the transactions sheet as it streams out of the package: each row from <row> to
// </row>, its number, and the date and amount cells, whose columns the header row names.
class TransactionsScan {
public:
    bool feed(const char* data, qsizetype size) {
        if (!ok_)
            return false;
        pending_.append(data, size);
        qsizetype from = 0;
        for (;;) {
            const qsizetype end = pending_.indexOf("</row>", from);
            if (end < 0)
                break;
            if (!row(from, end)) {
                ok_ = false;
                return false;
            }
            from = end + 6;
        }
        pending_.remove(0, from);
        // Between rows there is nothing but whitespace; a long run without a row end is a
        // sheet torn apart.
        if (sawHeader_ && pending_.size() > 4 * kChunk && !pending_.contains("</sheetData>"))
            ok_ = false;
        return ok_;
    }
    SheetDigest finish() {
        // The document goes on to its end after the last row.
        if (!ok_ || !sawHeader_ || !pending_.contains("</sheetData>") ||
            !pending_.trimmed().endsWith("</worksheet>") || pending_.contains("<row"))
            digest_.rows = -1;
        return digest_;
    }

private:
    // One row, pending_[from, end) with end at its "</row>".
    bool row(qsizetype from, qsizetype end) {
        const char* text = pending_.constData();
        const QByteArray open = "<row r=\"";
        const qsizetype at = pending_.indexOf(open, from);
        if (at < 0 || at >= end)
            return false;
        // Only the sheet's preamble stands before the first row; whitespace before the others.
        if (sawHeader_)
            for (qsizetype i = from; i < at; ++i)
                if (!std::isspace(static_cast<unsigned char>(text[i])))
                    return false;
        const qint64 expectedRow = sawHeader_ ? digest_.rows + 2 : 1;
        qint64 number = 0;
        const char* digits = text + at + open.size();
        const auto [after, ec] = std::from_chars(digits, text + end, number);
        if (ec != std::errc() || *after != '"' || number != expectedRow)
            return false;
        // A second row start inside this one: the end of a row went missing.
        if (pending_.indexOf("<row", at + 1) < end && pending_.indexOf("<row", at + 1) >= 0)
            return false;
        if (!sawHeader_)
            return header(at, end);
        double serial = 0, amount = 0;
        bool haveDate = false, haveAmount = false;
        for (qsizetype c = pending_.indexOf("<c r=\"", at); c >= 0 && c < end;
             c = pending_.indexOf("<c r=\"", c + 1)) {
            const qsizetype column = c + 6;
            qsizetype letters = column;
            while (letters < end && text[letters] >= 'A' && text[letters] <= 'Z')
                ++letters;
            const QByteArrayView name(text + column, letters - column);
            const bool isDate = name == dateColumn_, isAmount = name == amountColumn_;
            if (!isDate && !isAmount)
                continue;
            const qsizetype tagEnd = pending_.indexOf('>', c);
            if (tagEnd < 0 || tagEnd >= end || text[tagEnd - 1] == '/')
                return false;
            const qsizetype cellEnd = pending_.indexOf("</c>", tagEnd);
            const qsizetype v = pending_.indexOf("<v>", tagEnd);
            const qsizetype vEnd = pending_.indexOf("</v>", tagEnd);
            if (cellEnd < 0 || cellEnd > end || v < 0 || vEnd < 0 || vEnd > cellEnd)
                return false;
            double& target = isDate ? serial : amount;
            if (!parseNumber(text + v + 3, text + vEnd, target))
                return false;
            (isDate ? haveDate : haveAmount) = true;
        }
        if (!haveDate || !haveAmount || std::fabs(amount) > 1e12)
            return false;
        digest_.add(qint64(std::llround(serial)), qint64(std::llround(amount * 100.0)));
        return true;
    }

    // The header row names the columns; the writer's own layout is the fallback.
    bool header(qsizetype at, qsizetype end) {
        sawHeader_ = true;
        const QByteArray headerRow = pending_.mid(at, end - at);
        auto columnOf = [&headerRow](const QByteArray& title, const QByteArray& fallback) {
            const qsizetype t = headerRow.indexOf(">" + title + "</t>");
            const qsizetype c = t < 0 ? -1 : headerRow.lastIndexOf("<c r=\"", t);
            if (c < 0)
                return fallback;
            qsizetype letters = c + 6;
            while (letters < headerRow.size() && headerRow[letters] >= 'A' &&
                   headerRow[letters] <= 'Z')
                ++letters;
            return headerRow.mid(c + 6, letters - c - 6);
        };
        dateColumn_ = columnOf("Date", "A");
        amountColumn_ = columnOf("Amount", "C");
        return true;
    }

    QByteArray pending_;
    QByteArray dateColumn_;
    QByteArray amountColumn_;
    bool sawHeader_ = false;
    bool ok_ = true;
    SheetDigest digest_;
};

bool wellFormed(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

} // namespace

bool writtenWorkbookIsWhole(const QString& path, const SheetDigest& expected) {
    int err = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!zip)
        return false;
    const QByteArray transactionsPart = sheetPartName(zip, u"Transactions");
    bool ok = !transactionsPart.isEmpty();
    bool sawTransactions = false;
    const zip_int64_t entries = zip_get_num_entries(zip, 0);
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (zip_int64_t i = 0; ok && i < entries; ++i) {
        zip_stat_t st;
        zip_file_t* file = zip_stat_index(zip, zip_uint64_t(i), 0, &st) == 0
                               ? zip_fopen_index(zip, zip_uint64_t(i), 0)
                               : nullptr;
        if (!file || !(st.valid & ZIP_STAT_NAME) || !(st.valid & ZIP_STAT_SIZE)) {
            if (file)
                zip_fclose(file);
            ok = false;
            break;
        }
        const bool isTransactions = transactionsPart == st.name;
        const bool isXml =
            QByteArrayView(st.name).endsWith(".xml") || QByteArrayView(st.name).endsWith(".rels");
        TransactionsScan scan;
        QByteArray whole;
        zip_uint64_t total = 0;
        zip_int64_t n = 0;
        // libzip compares the CRC once the last byte is read, and fails that read on a mismatch.
        while (ok && (n = zip_fread(file, buffer.data(), zip_uint64_t(kChunk))) > 0) {
            total += zip_uint64_t(n);
            if (isTransactions)
                ok = scan.feed(buffer.constData(), qsizetype(n));
            else if (isXml)
                whole.append(buffer.constData(), qsizetype(n));
        }
        ok = ok && n == 0 && total == st.size;
        if (ok && isTransactions) {
            sawTransactions = true;
            ok = scan.finish() == expected;
        } else if (ok && isXml) {
            ok = wellFormed(whole);
        }
        zip_fclose(file);
    }
    zip_discard(zip);
    return ok && sawTransactions;
}

qint64 freeBytesIn(const QString& folder) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

SaveRoom roomForSave(const QString& budgetFile, const Budget& budget) {
    // A packed transaction takes about 60 bytes, the other sheets some tens of kilobytes. The
    // library holds the transactions sheet's XML twice at its peak (the rows as written, then
    // the part being packed): about 330 bytes a row besides its texts.
    SaveRoom room;
    qint64 sheet = 64 << 10;
    for (const auto& t : budget.transactions()) {
        sheet += 330 + 3 * (t->payee.size() + t->description.size() + t->bankId.size()) / 2;
        // A cleared or reconciled side is one more inline text cell.
        sheet += 48 * ((t->clearedFrom != ClearedState::Uncleared) +
                       (t->clearedTo != ClearedState::Uncleared));
    }
    room.temporary = 2 * sheet;
    room.file = std::max(QFileInfo(budgetFile).size(),
                         64 * qint64(budget.transactions().size()) + (64 << 10));
    return room;
}

namespace {
bool sameFileSystem(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev;
}
} // namespace

QString libraryTempFolder(const QString& budgetFolder, const SaveRoom& room) {
    const QString system = QDir::tempPath();
    // Room to spare there: the estimate is rough, and others use that folder too.
    if (!sameFileSystem(system, budgetFolder) && freeBytesIn(system) > 2 * room.temporary &&
        QFileInfo(system).isWritable())
        return system;
    return budgetFolder;
}

QString shortOfRoomNote(const QString& budgetFolder, const QString& tempFolder,
                        const SaveRoom& room) {
    const bool together = sameFileSystem(budgetFolder, tempFolder);
    const qint64 needHere = together ? room.file + room.temporary : room.file;
    const qint64 freeHere = freeBytesIn(budgetFolder);
    const QLocale locale;
    if (freeHere >= 0 && freeHere < needHere)
        return QStringLiteral("Saving this budget needs about %1 free in %2%3, and only %4 is "
                              "free.")
            .arg(locale.formattedDataSize(needHere), budgetFolder,
                 together ? QStringLiteral(" (the file and the writer's temporary files)")
                          : QString(),
                 locale.formattedDataSize(freeHere));
    if (together)
        return {};
    const qint64 freeThere = freeBytesIn(tempFolder);
    if (freeThere >= 0 && freeThere < room.temporary)
        return QStringLiteral("Saving this budget needs about %1 free in %2 for the writer's "
                              "temporary files, and only %3 is free.")
            .arg(locale.formattedDataSize(room.temporary), tempFolder,
                 locale.formattedDataSize(freeThere));
    return {};
}

std::vector<int> openDeletedFilesIn(const QString& folder) {
    std::vector<int> found;
    const QString prefix = QDir(folder).canonicalPath() + u'/';
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(name));
        if (target.startsWith(prefix) && target.endsWith(QStringLiteral(" (deleted)")) &&
            !target.mid(prefix.size()).contains(u'/'))
            found.push_back(name.toInt());
    }
    return found;
}

void closeLeftOpenSince(const QString& folder, const std::vector<int>& before) {
    for (const int fd : openDeletedFilesIn(folder))
        if (std::find(before.begin(), before.end(), fd) == before.end())
            ::close(fd);
}
