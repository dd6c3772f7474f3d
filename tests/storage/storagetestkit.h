#pragma once
// Shared by the storage tests: a budget with every kind of content, a structural snapshot that
// ignores ids (the workbook gives fresh ones), and a builder for hand-made workbooks.

#include "model/budget.h"
#include "model/clock.h"
#include "model/transaction.h"
#include "storage/xlsxreader.h"

#include <QDate>
#include <QFile>
#include <QList>
#include <QStringList>
#include <memory>
#include <zip.h>

#include "testdates.h"

namespace kit {

// The whole content of a file, or "<missing>" when it cannot be read.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline void writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(data);
}

inline DateTime date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
    DateTime dt = makeDate(y, m, d, hh, mm, ss);
    dt.dayOfWeek = quint16(QDate(y, m, d).dayOfWeek() % 7);
    return dt;
}

inline QString ymd(const DateTime& dt) {
    return dt.isSet() ? QString::asprintf("%04d-%02d-%02d", dt.year, dt.month, dt.day)
                      : QStringLiteral("unset");
}

inline QString label(const Budget& b, ItemId id) {
    if (id == kNoId)
        return QStringLiteral("none");
    const AccountBase* item = b.findItem(id);
    if (!item)
        return QStringLiteral("missing#%1").arg(id);
    static const char* kinds[] = {"account", "folder", "envelope"};
    return QStringLiteral("%1:%2%3").arg(
        QLatin1String(kinds[int(item->getType())]), item->getName(),
        id == kChargesEnvelopeId ? QStringLiteral("(charges)") : QString());
}

// Everything the workbook keeps, with references by name instead of id.
inline QStringList snapshot(const Budget& b) {
    QStringList out;
    for (const AccountBase* item : b.topLevelItemsForSave()) {
        if (item->getType() == ItemType::Account) {
            auto* a = static_cast<const Account*>(item);
            out << QStringLiteral("account|%1|cc=%2|bal=%3|in=%4|hid=%5|ro=%6|imp=%7|csv=%8")
                           .arg(a->getName())
                           .arg(a->isCCAccount())
                           .arg(a->getBalance())
                           .arg(a->contributesToBudget())
                           .arg(a->isHidden())
                           .arg(a->isReadOnly())
                           .arg(ymd(a->lastImport()), a->statementColumns()) +
                       QStringLiteral("|rec=%1 %2|stmt=%3 %4")
                           .arg(ymd(a->reconciledDate()))
                           .arg(a->reconciledBalance())
                           .arg(ymd(a->statementDate()))
                           .arg(a->statementBalance());
            continue;
        }
        auto* f = static_cast<const AccountGroup*>(item);
        out << QStringLiteral("folder|%1|limit=%2|hid=%3|ro=%4")
                   .arg(f->getName())
                   .arg(f->expenseLimit())
                   .arg(f->isHidden())
                   .arg(f->isReadOnly());
        for (const AccountBase* child : f->children()) {
            auto* e = static_cast<const AccountEnvelope*>(child);
            out << QStringLiteral(
                       "  envelope|%1|bud=%2|bal=%3|hid=%4|ro=%5|payee=%6|from=%7|amt=%8|goal=%9")
                           .arg(e->getName())
                           .arg(e->getBudgeted())
                           .arg(e->getBalance())
                           .arg(e->isHidden())
                           .arg(e->isReadOnly())
                           .arg(e->defaultPayee(), label(b, e->defaultPayFromAccount()))
                           .arg(e->defaultAmount())
                           .arg(e->savingsGoal()) +
                       QStringLiteral("|created=%1|charges=%2|virtual=%3")
                           .arg(ymd(e->createdDate()))
                           .arg(e->id() == kChargesEnvelopeId)
                           .arg(e->virtualAccount());
        }
    }
    for (const auto& t : b.transactions()) {
        out << QStringLiteral("tx|%1|%2|%3|cat=%4|from=%5|to=%6|%7|%8|bank=%9")
                       .arg(ymd(t->transactionTime))
                       .arg(int(t->type))
                       .arg(t->amount)
                       .arg(label(b, t->category), label(b, t->accountFrom), label(b, t->accountTo),
                            t->payee, t->description, t->bankId) +
                   QStringLiteral("|cleared=%1/%2")
                       .arg(int(t->clearedFrom))
                       .arg(int(t->clearedTo)) +
                   (t->split ? QStringLiteral("|split=%1").arg(t->split) : QString());
    }
    for (const PayeeMappingRule& r : b.rules().rules())
        out << QStringLiteral("rule|%1|%2|%3|deposit=%4")
                   .arg(r.match, r.payee, label(b, r.envelopeId))
                   .arg(r.deposit);
    QStringList order;
    for (const Account* a : b.accountOrder())
        order << a->getName();
    for (const AccountGroup* f : b.folderOrder())
        order << f->getName();
    out << QStringLiteral("order|") + order.join(u',');
    out << QStringLiteral("available|%1").arg(b.availableForBudgeting());
    return out;
}

// A budget with every kind of item, hidden ones, the charges envelope, goals, unicode names,
// all transaction types, references to nothing and mapping rules. Times are whole days,
// because the workbook keeps only the date.
inline std::unique_ptr<Budget> richBudget() {
    FixedClock clock(date(2024, 5, 20));
    auto b = std::make_unique<Budget>();
    Budget& budget = *b;

    Account* checking = budget.createAccount();
    checking->setName(QStringLiteral("Checking é"));
    checking->adjustBalance(123456);
    checking->setLastImport(date(2024, 4, 30));
    checking->setStatementColumns(QStringLiteral("delimiter=semicolon header=yes dates=dmy"));
    budget.showTopLevel(checking);

    Account* savings = budget.createAccount();
    savings->setName(QStringLiteral("Savings 中文"));
    savings->adjustBalance(500000);
    savings->setContributesToBudget(false);
    savings->setLastImport(DateTime());
    budget.showTopLevel(savings);

    Account* card = budget.createAccount();
    card->setName(QStringLiteral("Visa 💳"));
    card->adjustBalance(-4321);
    card->setCCAccount(true);
    budget.showTopLevel(card);

    Account* old = budget.createAccount();
    old->setName(QStringLiteral("Old account"));
    old->adjustBalance(-5);
    old->setHidden(true);
    old->setContributesToBudget(false);

    AccountGroup* bills = budget.createFolder();
    bills->setName(QStringLiteral("Bills"));
    bills->setExpenseLimit(-15000);
    budget.showTopLevel(bills);
    AccountGroup* fun = budget.createFolder();
    fun->setName(QStringLiteral("Fun & games"));
    budget.showTopLevel(fun);
    AccountGroup* archive = budget.createFolder();
    archive->setName(QStringLiteral("Archive"));
    archive->setHidden(true);

    auto envelope = [&](AccountGroup* folder, const QString& name) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        e->setVirtualAccount(true);
        e->setCreatedDate(date(2023, 1, 1));
        folder->addChild(e);
        return e;
    };
    AccountEnvelope* rent = envelope(bills, QStringLiteral("Rent"));
    rent->setBudgeted(-150000);
    rent->adjustBalance(50000);
    rent->setDefaultPayee(QStringLiteral("Landlord <Ltd>"));
    rent->setDefaultPayFromAccount(checking->id());
    rent->setDefaultAmount(-120000);
    AccountEnvelope* power = envelope(bills, QStringLiteral("Power ⚡"));
    power->setHidden(true);
    power->adjustBalance(1);
    AccountEnvelope* games = envelope(fun, QStringLiteral("Games 中文"));
    games->setSavingsGoal(20000);
    games->adjustBalance(7350);
    games->setBudgeted(-2500);
    AccountEnvelope* attic = envelope(archive, QStringLiteral("Attic"));
    attic->setHidden(true);

    ensureCardChargesEnvelope(budget, card);
    AccountEnvelope* charges = budget.findEnvelope(kChargesEnvelopeId);
    charges->adjustBalance(4321);
    charges->setCreatedDate(date(2023, 1, 1));

    auto tx = [&](TransactionType type, Amount amount, ItemId from, ItemId to, ItemId category,
                  const QString& payee, const QString& description, const DateTime& when,
                  const QString& bankId = QString()) {
        Transaction t = makeTransaction(type, amount, from, to, category, payee, description, when);
        t.bankId = bankId;
        budget.loadTransaction(t);
    };
    tx(TransactionType::Deposit, 250000, kNoId, checking->id(), kNoId, QStringLiteral("Employer"),
       QStringLiteral("Salary"), date(2024, 1, 31));
    tx(TransactionType::Expense, -120000, checking->id(), kNoId, rent->id(),
       QStringLiteral("Landlord <Ltd>"), QString(), date(2024, 2, 1),
       QStringLiteral("20240201-0001 é"));
    tx(TransactionType::Expense, -4321, card->id(), kNoId, games->id(), QStringLiteral("Shop 💳"),
       QStringLiteral("two \"games\" & more"), date(2024, 2, 1));
    tx(TransactionType::Transfer, 10000, checking->id(), savings->id(), kNoId, QString(),
       QStringLiteral("to savings"), date(2024, 2, 1));
    tx(TransactionType::CCPayment, -2000, checking->id(), card->id(), kChargesEnvelopeId,
       QStringLiteral("Visa"), QString(), date(2024, 3, 15));
    // Charged from an envelope's id, as the writer allows references to any sheet.
    tx(TransactionType::Transfer, 500, rent->id(), kNoId, attic->id(), QStringLiteral("moved"),
       QString(), date(2024, 3, 16));
    // What the bank booked, per side: a deposit's only side is its to-account's.
    const auto& list = budget.transactions();
    budget.setClearedStates({{list[0], checking->id(), ClearedState::Reconciled},
                             {list[1], checking->id(), ClearedState::Cleared},
                             {list[3], checking->id(), ClearedState::Reconciled},
                             {list[3], savings->id(), ClearedState::Cleared},
                             {list[4], card->id(), ClearedState::Reconciled}});
    checking->setReconciled(date(2024, 2, 29), 131456);
    checking->setStatementBalance(date(2024, 3, 31), -129456);

    budget.rules().addMappingRule(QStringLiteral("AMAZON*"), games->id(), false,
                                  QStringLiteral("Amazon"));
    budget.rules().addMappingRule(QStringLiteral("LANDLORD?"), rent->id(), false,
                                  QStringLiteral("Landlord <Ltd>"));
    budget.rules().addMappingRule(QStringLiteral("é-shop"), attic->id(), false,
                                  QStringLiteral("中文 shop"));
    return b;
}

// Every cell of every sheet as text, for comparing two written files.
inline QStringList cellDump(const QString& path) {
    XlsxReader reader;
    if (!reader.open(path))
        return {QStringLiteral("could not open: ") + reader.errorText()};
    QStringList out;
    for (const QString& name : reader.sheetNames()) {
        const XlsxSheet* s = reader.sheet(name);
        out << QStringLiteral("sheet %1 cells=%2").arg(name).arg(s->cellCount());
        for (int row = 1; row <= 400; ++row)
            for (int col = 1; col <= 26; ++col) {
                const XlsxCell c = s->cell(row, col);
                if (c.valueType() == XlsxValueType::Empty && !c.hasFormula())
                    continue;
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(XlsxReader::cellAddress(row, col))
                           .arg(int(c.valueType()))
                           .arg(c.toText(), c.formula());
            }
    }
    return out;
}

// --- hand-made workbooks --------------------------------------------------------------------

inline bool writeZip(const QString& path, const QList<QPair<QString, QByteArray>>& entries) {
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z)
        return false;
    // The entries outlive zip_close, which is when libzip reads them, so no copies are made
    // (libzip never frees the copy of an empty entry).
    for (const auto& [name, data] : entries) {
        zip_source_t* src = zip_source_buffer(z, data.constData(), zip_uint64_t(data.size()), 0);
        if (!src || zip_file_add(z, name.toUtf8().constData(), src, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(src);
            zip_discard(z);
            return false;
        }
    }
    if (zip_close(z) == 0)
        return true;
    zip_discard(z);
    return false;
}

// Flips one byte of an entry's compressed data, as a bad sector or a broken copy would: the
// package still opens, but the part inflates to garbage, fails its deflate stream or its CRC
// (which one depends on where the byte is). Returns the entry's compressed size (nothing is
// flipped when offset lies beyond it), or -1 when the entry is not found.
inline qint64 flipCompressedByte(const QString& path, const QByteArray& entryName, qint64 offset) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return -1;
    QByteArray data = f.readAll();
    auto u16 = [&](qsizetype o) {
        return quint32(uchar(data[o])) | quint32(uchar(data[o + 1])) << 8;
    };
    // Local file header: compressed size at 18, name length at 26, extra length at 28, then
    // the name, the extra field and the data.
    for (qsizetype at = data.indexOf("PK\x03\x04"); at >= 0;
         at = data.indexOf("PK\x03\x04", at + 4)) {
        const quint32 nameLength = u16(at + 26);
        if (data.mid(at + 30, nameLength) != entryName)
            continue;
        const qint64 compressed = u16(at + 18) | qint64(u16(at + 20)) << 16;
        const qsizetype start = at + 30 + nameLength + u16(at + 28);
        if (offset < compressed) {
            data[start + offset] = char(data[start + offset] ^ 0x10);
            if (!f.seek(0) || f.write(data) != data.size())
                return -1;
        }
        return compressed;
    }
    return -1;
}

struct Cell {
    enum Kind { None, Str, Num, Formula, Raw } kind = None;
    QString text;
    double number = 0;
};
inline Cell S(const QString& s) {
    return {Cell::Str, s, 0};
}
inline Cell N(double n) {
    return {Cell::Num, {}, n};
}
inline Cell F(const QString& f) {
    return {Cell::Formula, f, 0};
}
inline Cell X(const QString& rawInnerAndAttrs) {
    return {Cell::Raw, rawInnerAndAttrs, 0};
}
inline Cell E() {
    return {};
}

struct SheetSpec {
    QString name;
    QList<QList<Cell>> rows; // row 1 first; cells from column A
};

inline QString escaped(const QString& s) {
    return s.toHtmlEscaped();
}

inline QByteArray sheetXml(const SheetSpec& spec) {
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>");
    for (int r = 0; r < spec.rows.size(); ++r) {
        xml += QStringLiteral("<row r=\"%1\">").arg(r + 1);
        for (int c = 0; c < spec.rows[r].size(); ++c) {
            const Cell& cell = spec.rows[r][c];
            const QString ref = XlsxReader::cellAddress(r + 1, c + 1);
            switch (cell.kind) {
            case Cell::None:
                break;
            case Cell::Str:
                xml += QStringLiteral("<c r=\"%1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                           .arg(ref, escaped(cell.text));
                break;
            case Cell::Num:
                xml += QStringLiteral("<c r=\"%1\"><v>%2</v></c>")
                           .arg(ref, QString::number(cell.number, 'g', 17));
                break;
            case Cell::Formula:
                xml += QStringLiteral("<c r=\"%1\"><f>%2</f></c>").arg(ref, escaped(cell.text));
                break;
            case Cell::Raw:
                xml += QStringLiteral("<c r=\"%1\" %2</c>").arg(ref, cell.text);
                break;
            }
        }
        xml += QStringLiteral("</row>");
    }
    xml += QStringLiteral("</sheetData></worksheet>");
    return xml.toUtf8();
}

// A minimal package with the given sheets (and optional shared strings part).
inline bool writeWorkbook(const QString& path, const QList<SheetSpec>& sheets,
                          const QByteArray& sharedStrings = {}) {
    QString workbook = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>");
    QString rels =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    QList<QPair<QString, QByteArray>> entries;
    for (int i = 0; i < sheets.size(); ++i) {
        workbook += QStringLiteral("<sheet name=\"%1\" sheetId=\"%2\" r:id=\"rId%2\"/>")
                        .arg(escaped(sheets[i].name))
                        .arg(i + 1);
        rels += QStringLiteral("<Relationship Id=\"rId%1\" "
                               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                               "relationships/worksheet\" "
                               "Target=\"worksheets/sheet%1.xml\"/>")
                    .arg(i + 1);
        entries.append(
            {QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1), sheetXml(sheets[i])});
    }
    if (!sharedStrings.isEmpty()) {
        rels += QStringLiteral("<Relationship Id=\"rIdS\" "
                               "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                               "relationships/sharedStrings\" "
                               "Target=\"sharedStrings.xml\"/>");
        entries.append({QStringLiteral("xl/sharedStrings.xml"), sharedStrings});
    }
    workbook += QStringLiteral("</sheets></workbook>");
    rels += QStringLiteral("</Relationships>");
    entries.append({QStringLiteral("xl/workbook.xml"), workbook.toUtf8()});
    entries.append({QStringLiteral("xl/_rels/workbook.xml.rels"), rels.toUtf8()});
    return writeZip(path, entries);
}

} // namespace kit
