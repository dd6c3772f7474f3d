#include "model/budget.h"
#include "model/clock.h"
#include "storage/schedulesheet.h"
#include "storage/workbook.h"
#include "storage/xlsxreader.h"

#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <malloc.h>
#include <map>

namespace {

// Reading direction: the reference text of a record's name cell (Folders!A3) to the item id.
using RowReferenceMap = QHash<QString, ItemId>;

constexpr int kA = 1, kB = 2, kC = 3, kD = 4, kE = 5, kF = 6, kG = 7, kH = 8, kI = 9, kJ = 10,
              kK = 11, kL = 12;

QString textCell(const XlsxSheet& s, int row, int col) {
    return s.cell(row, col).toText();
}

bool yesNoCell(const XlsxSheet& s, int row, int col) {
    const QString t = textCell(s, row, col);
    return t == u"yes" || t == u"true";
}

// The key under which a formula such as Folders!A3 (or, from other programs, 'Folders'!$A$3)
// finds its record.
QString referenceKey(QString formula) {
    formula = formula.trimmed();
    if (formula.startsWith(u'='))
        formula.remove(0, 1);
    formula.remove(u'$');
    const qsizetype bang = formula.lastIndexOf(u'!');
    if (bang > 1 && formula.startsWith(u'\'') && formula[bang - 1] == u'\'')
        formula = formula.mid(1, bang - 2) + formula.mid(bang);
    return formula;
}

std::optional<ItemId> resolve(const RowReferenceMap& refs, const XlsxSheet& s, int row, int col) {
    const XlsxCell cell = s.cell(row, col);
    if (!cell.hasFormula())
        return std::nullopt;
    const auto it = refs.find(referenceKey(cell.formula()));
    if (it == refs.end())
        return std::nullopt;
    return it.value();
}

// A row of a name-keyed sheet exists while its name is there. A record whose name is empty
// still carries its other cells, so such a row does not end the sheet; only a wholly empty
// row does. (Otherwise one unnamed item would silently drop every record after it.)
bool rowPresent(const XlsxSheet& s, int row, int lastCol) {
    if (!textCell(s, row, kA).isEmpty())
        return true;
    for (int col = kB; col <= lastCol; ++col) {
        const XlsxCell c = s.cell(row, col);
        if (c.valueType() != XlsxValueType::Empty || c.hasFormula())
            return true;
    }
    return false;
}

unsigned leadingUnsigned(QStringView text) {
    // The usual leading-digits conversion: blanks, an optional sign, then digits.
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > INT32_MAX)
            value = INT32_MAX;
    }
    return unsigned(negative ? -value : value);
}

struct Reader {
    Budget& budget;
    const XlsxReader& doc;
    WorkbookLoad& result;
    RowReferenceMap refs;
    AccountGroup* unfiled = nullptr;

    void readVersionCell() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Budget"));
        if (!s)
            return;
        const QString text = textCell(*s, 6, 13);
        result.versionText = text;
        if (text.isEmpty())
            return;
        const QStringList parts = text.split(u'.');
        for (int i = 0; i < 3 && i < parts.size() - 1; ++i)
            result.version[i] = leadingUnsigned(parts[i]);
        if (parts.size() > 1)
            result.version[3] = leadingUnsigned(parts.last());
    }

    void readAccountsSheet() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Accounts"));
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, kG); ++row) {
            Account* a = budget.createAccount();
            a->setName(textCell(*s, row, kA));
            a->setCCAccount(textCell(*s, row, kB) == u"credit card");
            a->adjustBalance(readMoneyCell(*s, row, kC));
            a->setContributesToBudget(yesNoCell(*s, row, kD));
            a->setHidden(yesNoCell(*s, row, kE));
            a->setLastImport(readDateCell(*s, row, kF));
            a->setStatementColumns(textCell(*s, row, kG));
            refs[QStringLiteral("Accounts!A%1").arg(row)] = a->id();
            result.items.push_back(a);
        }
    }

    void readFoldersSheet() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Folders"));
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, kD); ++row) {
            AccountGroup* f = budget.createFolder();
            f->setName(textCell(*s, row, kA));
            f->setExpenseLimit(clampAmount(-qint64(readMoneyCell(*s, row, kB))));
            f->setHidden(yesNoCell(*s, row, kC));
            f->setReadOnly(yesNoCell(*s, row, kD));
            refs[QStringLiteral("Folders!A%1").arg(row)] = f->id();
            result.items.push_back(f);
        }
    }

    AccountGroup* folderForOrphans() {
        if (!unfiled) {
            unfiled = budget.createFolder();
            unfiled->setName(unfiledFolderName());
        }
        return unfiled;
    }

    void readCategoriesSheet() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Categories"));
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, kL); ++row) {
            const ItemId folderId = resolve(refs, *s, row, kB).value_or(kNoId);
            const ItemId payerId = resolve(refs, *s, row, kI).value_or(kChargesEnvelopeId);
            const qint64 flags = s->cell(row, kJ).toInteger();
            DateTime created = readDateCell(*s, row, kL);
            if (!created.isSet())
                created = Clock::now();

            AccountEnvelope* e = budget.createEnvelope();
            // Only one envelope can be the charges envelope; a second flagged row stays ordinary.
            if ((flags & 1) && !budget.findItem(kChargesEnvelopeId))
                e->setId(kChargesEnvelopeId);
            e->setName(textCell(*s, row, kA));
            AccountGroup* folder = budget.findFolder(folderId);
            if (!folder)
                folder = folderForOrphans();
            folder->addChild(e);
            e->setBudgeted(readMoneyCell(*s, row, kC));
            e->setHidden(yesNoCell(*s, row, kE));
            e->setReadOnly(yesNoCell(*s, row, kF));
            e->setDefaultPayee(textCell(*s, row, kG));
            e->setDefaultAmount(readMoneyCell(*s, row, kH));
            e->adjustBalance(readMoneyCell(*s, row, kD));
            e->setSavingsGoal(readMoneyCell(*s, row, kK));
            e->setVirtualAccount(true);
            e->setCreatedDate(created);
            e->setDefaultPayFromAccount(budget.findAccount(payerId) ? payerId : kNoId);
            refs[QStringLiteral("Categories!A%1").arg(row)] = e->id();
        }
        if (unfiled)
            result.items.push_back(unfiled);
    }

    void readSettingsSheet() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Settings"));
        if (!s)
            return;
        const quint32* v = result.version;
        const bool replaceReserved = v[0] <= 1 && v[1] == 0 && v[2] <= 23 && v[3] < 85;
        for (int row = 2; rowPresent(*s, row, kD); ++row) {
            // A deposit rule names no envelope; its C stays empty.
            const bool deposit = yesNoCell(*s, row, kD);
            const auto envelope = resolve(refs, *s, row, kC);
            if (!envelope && !deposit)
                continue;
            budget.rules().addMappingRule(textCell(*s, row, kA), envelope.value_or(kNoId),
                                          replaceReserved, textCell(*s, row, kB), deposit);
        }
    }

    void readTransactionsSheet() {
        const XlsxSheet* s = doc.sheet(QStringLiteral("Transactions"));
        if (!s)
            return;
        std::vector<std::unique_ptr<Transaction>> read;
        for (int row = 2;; ++row) {
            const DateTime date = readDateCell(*s, row, kA);
            if (!date.isSet())
                break;
            auto t = std::make_unique<Transaction>();
            t->transactionTime = date;
            t->payee = textCell(*s, row, kB);
            t->amount = readMoneyCell(*s, row, kC);
            t->category = resolve(refs, *s, row, kD).value_or(kNoId);
            t->accountFrom = resolve(refs, *s, row, kE).value_or(kNoId);
            t->accountTo = resolve(refs, *s, row, kF).value_or(kNoId);
            t->description = textCell(*s, row, kG);
            t->type =
                transactionTypeFromName(textCell(*s, row, kH)).value_or(TransactionType::Expense);
            t->bankId = textCell(*s, row, kI);
            read.push_back(std::move(t));
        }
        // The sheet lists newest first. Reversing before a stable sort keeps transactions of
        // the same day in the order they were recorded, so a save and load changes nothing.
        std::reverse(read.begin(), read.end());
        std::vector<std::pair<int, size_t>> order; // serial day, index
        order.reserve(read.size());
        for (size_t i = 0; i < read.size(); ++i)
            order.emplace_back(serialDayOf(read[i]->transactionTime), i);
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [day, index] : order)
            budget.appendTransaction(std::move(read[index]));
    }
};

} // namespace

QString unfiledFolderName() {
    return QStringLiteral("Unfiled envelopes");
}

Amount readMoneyCell(const XlsxSheet& sheet, int row, int col) {
    const XlsxCell cell = sheet.cell(row, col);
    const double value = cell.isNumber() ? cell.toDouble() : 0.0;
    if (!std::isfinite(value))
        return 0;
    // Nearly every amount is within a ten-millionth of a whole cent (this program writes
    // exact cents): its six-decimal text then ends in that cent, so it is taken directly.
    if (std::fabs(value) < 1e7) {
        const double scaled = value * 100.0;
        const double cents = std::nearbyint(scaled);
        if (std::fabs(scaled - cents) < 1e-5)
            return clampAmount(qint64(cents));
    }
    // Cents are cut, not rounded, from the six-decimal text (correctly rounded, as
    // QString::number writes it, but without its cost for every amount of a large budget).
    char text[400]; // the longest double in fixed notation with 6 decimals is 316 characters
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    if (error != std::errc())
        return 0;
    const char* dot = std::find(text, end, '.');
    const char* last = dot == end ? end : std::min<const char*>(end, dot + 3);
    return parseAmount(QString::fromLatin1(text, qsizetype(last - text)));
}

DateTime readDateCell(const XlsxSheet& sheet, int row, int col) {
    const XlsxCell cell = sheet.cell(row, col);
    if (!cell.isNumber())
        return DateTime();
    const double value = cell.toDouble();
    if (!std::isfinite(value) || std::fabs(value) > 1e7)
        return DateTime();
    return dateOfSerialDay(qint64(std::trunc(value)));
}

WorkbookLoad loadWorkbook(const QString& path, Budget& budget) {
    WorkbookLoad result;
    if (!QFileInfo::exists(path)) {
        result.error = QStringLiteral("no such file");
        return result;
    }
    XlsxReader doc;
    if (!doc.open(path)) {
        result.error = doc.errorText();
        result.outOfMemory = doc.ranOutOfMemory();
        return result;
    }
    Reader r{budget, doc, result, {}, nullptr};
    r.readVersionCell();
    r.readAccountsSheet();
    r.readFoldersSheet();
    r.readCategoriesSheet();
    r.readSettingsSheet();
    r.readTransactionsSheet();
    readSchedulesSheet(doc, budget, [&r](const XlsxSheet& s, int row, int col) {
        return resolve(r.refs, s, row, col);
    });
    budget.normaliseAfterLoad();
    doc.close();
    releaseFreedMemory();
    result.status = 0;
    return result;
}

void releaseFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
