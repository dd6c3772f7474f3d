#include "model/budget.h"
#include "model/clock.h"
#include "model/datetext.h"
#include "storage/schedulesheet.h"
#include "storage/workbook.h"
#include "storage/workbooklayout.h"
#include "storage/xlsxreader.h"

#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <malloc.h>
#include <map>

namespace {

// Reading direction: the reference text of a record's name cell (Folders!A3) to the item id.
using RowReferenceMap = QHash<QString, ItemId>;

using Workbook::SheetLayout;

QString textCell(const XlsxSheet& s, int row, int col) {
    return s.cell(row, col).toText();
}

// The split number of a transaction row: a whole positive number (typed as text by another
// program too); anything else, and a number on a row that is no expense, leaves it unsplit.
quint32 splitNumberCell(const XlsxCell& cell, TransactionType type) {
    if (type != TransactionType::Expense)
        return 0;
    bool ok = cell.isNumber();
    double n = cell.toDouble();
    if (!ok)
        n = cell.toText().trimmed().toDouble(&ok);
    if (!ok || !(n >= 1 && n <= 4294967295.0) || n != std::floor(n))
        return 0;
    return quint32(n);
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

// A row of a name-keyed sheet exists while its name is there. A record whose name is empty
// still carries its other cells, so such a row does not end the sheet; only a wholly empty
// row does. (Otherwise one unnamed item would silently drop every record after it.)
bool rowPresent(const XlsxSheet& s, int row, const SheetLayout& layout) {
    if (!textCell(s, row, 1).isEmpty())
        return true;
    for (int col = 2; col <= layout.columns(); ++col) {
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

// What a cell held, for telling the user: texts in quotes, anything else as it reads.
QString cellContent(const XlsxCell& cell) {
    constexpr qsizetype kShown = 60;
    QString text = cell.toText();
    if (text.size() > kShown)
        text = text.left(kShown) + QChar(0x2026);
    if (cell.valueType() == XlsxValueType::Text)
        return u'"' + text + u'"';
    if (cell.valueType() == XlsxValueType::Empty)
        return cell.hasFormula() ? u'=' + cell.formula() : QStringLiteral("nothing");
    return text;
}

struct Reader {
    Budget& budget;
    const XlsxReader& doc;
    WorkbookLoad& result;
    RowReferenceMap refs;
    AccountGroup* unfiled = nullptr;

    void report(const SheetLayout& layout, int row, int col, const QString& content,
                bool reference = false, bool kept = false) {
        const QString sheetName = QString::fromLatin1(layout.name);
        ++result.unreadableTotal;
        if (!kept)
            ++result.rowsLeftOut[sheetName];
        if (result.unreadable.size() < kMaxListedUnreadable)
            result.unreadable.push_back(
                {sheetName, row, QString::fromLatin1(layout.headers[col - 1]),
                 XlsxReader::cellAddress(row, col), content, reference, kept});
    }

    // A name or match cell that holds an error value (#REF!, #N/A) has no record to read.
    bool keyUnreadable(const SheetLayout& layout, const XlsxSheet& s, int row) {
        const XlsxCell key = s.cell(row, 1);
        if (key.valueType() != XlsxValueType::Error)
            return false;
        report(layout, row, 1, cellContent(key));
        return true;
    }

    // The item a reference cell names; none when the cell holds no formula. A formula that
    // names no row read here is reported: the row it named is not there (or was unreadable).
    std::optional<ItemId> resolve(const SheetLayout& layout, const XlsxSheet& s, int row, int col,
                                  bool kept = true) {
        const XlsxCell cell = s.cell(row, col);
        if (!cell.hasFormula())
            return std::nullopt;
        const auto it = refs.find(referenceKey(cell.formula()));
        if (it == refs.end()) {
            report(layout, row, col, u'=' + cell.formula(), true, kept);
            return std::nullopt;
        }
        return it.value();
    }

    void readVersionCell() {
        const XlsxSheet* s = doc.sheet(QLatin1StringView(Workbook::kOverviewSheet));
        if (!s)
            return;
        const QString text = textCell(*s, Workbook::kVersionRow, Workbook::kVersionColumn);
        result.versionText = text;
        if (text.isEmpty())
            return;
        const QStringList parts = text.split(u'.');
        for (int i = 0; i < 3 && i < parts.size() - 1; ++i)
            result.version[i] = leadingUnsigned(parts[i]);
        if (parts.size() > 1)
            result.version[3] = leadingUnsigned(parts.last());
    }

    const XlsxSheet* sheet(const SheetLayout& layout) const {
        return doc.sheet(QLatin1StringView(layout.name));
    }

    void readAccountsSheet() {
        namespace A = Workbook::Accounts;
        const XlsxSheet* s = sheet(A::kLayout);
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, A::kLayout); ++row) {
            if (keyUnreadable(A::kLayout, *s, row))
                continue;
            Account* a = budget.createAccount();
            a->setName(textCell(*s, row, A::Name));
            a->setCCAccount(textCell(*s, row, A::Type) == u"credit card");
            a->adjustBalance(readMoneyCell(*s, row, A::Balance));
            a->setContributesToBudget(yesNoCell(*s, row, A::InBudget));
            a->setHidden(yesNoCell(*s, row, A::Hidden));
            a->setLastImport(readDateCell(*s, row, A::LastImport));
            a->setStatementColumns(textCell(*s, row, A::StatementColumns));
            const DateTime reconciled = readDateCell(*s, row, A::ReconciledDate);
            if (reconciled.isSet())
                a->setReconciled(reconciled, readMoneyCell(*s, row, A::ReconciledBalance));
            const DateTime statement = readDateCell(*s, row, A::StatementDate);
            if (statement.isSet())
                a->setStatementBalance(statement, readMoneyCell(*s, row, A::StatementBalance));
            refs[A::kLayout.rowReference(row)] = a->id();
            result.items.push_back(a);
        }
    }

    void readFoldersSheet() {
        namespace F = Workbook::Folders;
        const XlsxSheet* s = sheet(F::kLayout);
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, F::kLayout); ++row) {
            if (keyUnreadable(F::kLayout, *s, row))
                continue;
            AccountGroup* f = budget.createFolder();
            f->setName(textCell(*s, row, F::Name));
            f->setExpenseLimit(negatedAmount(readMoneyCell(*s, row, F::Limit)));
            f->setHidden(yesNoCell(*s, row, F::Hidden));
            f->setReadOnly(yesNoCell(*s, row, F::ReadOnly));
            refs[F::kLayout.rowReference(row)] = f->id();
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
        namespace C = Workbook::Categories;
        const XlsxSheet* s = sheet(C::kLayout);
        if (!s)
            return;
        for (int row = 2; rowPresent(*s, row, C::kLayout); ++row) {
            if (keyUnreadable(C::kLayout, *s, row))
                continue;
            const ItemId folderId = resolve(C::kLayout, *s, row, C::Folder).value_or(kNoId);
            const ItemId payerId =
                resolve(C::kLayout, *s, row, C::DefaultPayer).value_or(kChargesEnvelopeId);
            const qint64 flags = s->cell(row, C::Flags).toInteger();
            DateTime created = readDateCell(*s, row, C::CreatedDate);
            if (!created.isSet())
                created = Clock::now();

            AccountEnvelope* e = budget.createEnvelope();
            // Only one envelope can be the charges envelope; a second flagged row stays ordinary.
            if ((flags & 1) && !budget.findItem(kChargesEnvelopeId))
                e->setId(kChargesEnvelopeId);
            e->setName(textCell(*s, row, C::Name));
            AccountGroup* folder = budget.findFolder(folderId);
            if (!folder)
                folder = folderForOrphans();
            folder->addChild(e);
            e->setBudgeted(readMoneyCell(*s, row, C::Budgeted));
            e->setHidden(yesNoCell(*s, row, C::Hidden));
            e->setReadOnly(yesNoCell(*s, row, C::ReadOnly));
            e->setDefaultPayee(textCell(*s, row, C::DefaultPayee));
            e->setDefaultAmount(readMoneyCell(*s, row, C::DefaultAmount));
            e->adjustBalance(readMoneyCell(*s, row, C::Balance));
            e->setSavingsGoal(readMoneyCell(*s, row, C::SavingsGoal));
            e->setVirtualAccount(true);
            e->setCreatedDate(created);
            e->setDefaultPayFromAccount(budget.findAccount(payerId) ? payerId : kNoId);
            refs[C::kLayout.rowReference(row)] = e->id();
        }
        if (unfiled)
            result.items.push_back(unfiled);
    }

    void readSettingsSheet() {
        namespace S = Workbook::Settings;
        const XlsxSheet* s = sheet(S::kLayout);
        if (!s)
            return;
        const quint32* v = result.version;
        const bool replaceReserved = v[0] <= 1 && v[1] == 0 && v[2] <= 23 && v[3] < 85;
        for (int row = 2; rowPresent(*s, row, S::kLayout); ++row) {
            if (keyUnreadable(S::kLayout, *s, row))
                continue;
            // A deposit rule names no envelope; its envelope cell stays empty. A rule is
            // nothing without its envelope, so one whose envelope is missing is left out.
            const bool deposit = yesNoCell(*s, row, S::Deposit);
            const auto envelope = resolve(S::kLayout, *s, row, S::Envelope, deposit);
            if (!envelope && !deposit)
                continue;
            budget.rules().addMappingRule(textCell(*s, row, S::Match), envelope.value_or(kNoId),
                                          replaceReserved, textCell(*s, row, S::Payee), deposit);
        }
    }

    void readTransactionsSheet() {
        namespace T = Workbook::Transactions;
        const XlsxSheet* s = sheet(T::kLayout);
        if (!s)
            return;
        std::vector<std::unique_ptr<Transaction>> read;
        // Only an empty date ends the sheet: a row whose date or amount cannot be read is
        // reported and left out, and the rows after it are read as usual.
        for (int row = 2; row <= Workbook::kMaxDataRows + 1; ++row) {
            const XlsxCell dateCell = s->cell(row, T::Date);
            const CellDate date = cellDate(dateCell);
            if (date.empty)
                break;
            if (!date.date.isSet()) {
                report(T::kLayout, row, T::Date, cellContent(dateCell));
                continue;
            }
            const XlsxCell amountCell = s->cell(row, T::Amount);
            const std::optional<Amount> amount = moneyOfCell(amountCell);
            if (!amount) {
                report(T::kLayout, row, T::Amount, cellContent(amountCell));
                continue;
            }
            auto t = std::make_unique<Transaction>();
            t->transactionTime = date.date;
            t->payee = textCell(*s, row, T::Payee);
            t->amount = *amount;
            t->category = resolve(T::kLayout, *s, row, T::Envelope).value_or(kNoId);
            t->accountFrom = resolve(T::kLayout, *s, row, T::AccountFrom).value_or(kNoId);
            t->accountTo = resolve(T::kLayout, *s, row, T::AccountTo).value_or(kNoId);
            t->description = textCell(*s, row, T::Description);
            t->type = transactionTypeFromName(textCell(*s, row, T::Type))
                          .value_or(TransactionType::Expense);
            t->bankId = textCell(*s, row, T::BankId);
            const ClearedState first = clearedStateOfWord(textCell(*s, row, T::Cleared));
            if (t->type == TransactionType::Deposit) {
                t->clearedTo = first;
            } else {
                t->clearedFrom = first;
                t->clearedTo = clearedStateOfWord(textCell(*s, row, T::ClearedTo));
            }
            t->split = splitNumberCell(s->cell(row, T::Split), t->type);
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
            budget.loadTransaction(std::move(*read[index]));
    }
};

} // namespace

QString unfiledFolderName() {
    return QStringLiteral("Unfiled envelopes");
}

namespace {

Amount amountOfNumber(double value) {
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

// A number typed into a text cell: "12.50", "-3", "$1,234.56", or in the locale's own form.
std::optional<double> numberOfText(QString text) {
    text.remove(QLocale().currencySymbol());
    text.remove(u'$');
    text = text.trimmed();
    bool ok = false;
    double value = QLocale::c().toDouble(text, &ok);
    if (!ok)
        value = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

DateTime dateOfText(const QString& text) {
    QDate d = readStatementDate(text, localeDateOrder());
    if (!d.isValid())
        d = QLocale().toDate(text, QLocale::ShortFormat);
    if (!d.isValid() || d.year() < 1 || d.year() > 9999)
        return {};
    DateTime out;
    out.year = quint16(d.year());
    out.month = quint16(d.month());
    out.day = quint16(d.day());
    return out;
}

} // namespace

std::optional<Amount> moneyOfCell(const XlsxCell& cell) {
    switch (cell.valueType()) {
    case XlsxValueType::Integer:
    case XlsxValueType::Float:
        return amountOfNumber(cell.toDouble());
    case XlsxValueType::Text: {
        const QString text = cell.toText();
        if (text.trimmed().isEmpty())
            return 0;
        const std::optional<double> number = numberOfText(text);
        if (!number)
            return std::nullopt;
        return amountOfNumber(*number);
    }
    case XlsxValueType::Error:
        return std::nullopt;
    case XlsxValueType::Empty:
    case XlsxValueType::Boolean:
        break;
    }
    return 0;
}

CellDate cellDate(const XlsxCell& cell) {
    switch (cell.valueType()) {
    case XlsxValueType::Empty:
        return {true, {}};
    case XlsxValueType::Integer:
    case XlsxValueType::Float: {
        const double whole = std::trunc(cell.toDouble());
        if (whole == 0)
            return {true, {}};
        if (!std::isfinite(whole) || std::fabs(whole) > 1e7)
            return {};
        return {false, dateOfSerialDay(qint64(whole))};
    }
    case XlsxValueType::Text: {
        const QString text = cell.toText().trimmed();
        if (text.isEmpty())
            return {true, {}};
        return {false, dateOfText(text)};
    }
    case XlsxValueType::Boolean:
    case XlsxValueType::Error:
        break;
    }
    return {};
}

Amount readMoneyCell(const XlsxSheet& sheet, int row, int col) {
    return moneyOfCell(sheet.cell(row, col)).value_or(0);
}

DateTime readDateCell(const XlsxSheet& sheet, int row, int col) {
    return cellDate(sheet.cell(row, col)).date;
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
    readSchedulesSheet(doc, budget,
                       [&r](const XlsxSheet& s, int row, int col) -> std::optional<ItemId> {
                           const XlsxCell cell = s.cell(row, col);
                           if (!cell.hasFormula())
                               return std::nullopt;
                           const auto it = r.refs.find(referenceKey(cell.formula()));
                           if (it == r.refs.end())
                               return std::nullopt;
                           return it.value();
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

QString describeUnreadableRows(const std::vector<UnreadableRow>& rows, qint64 total, int maxLines) {
    QStringList lines;
    for (const UnreadableRow& r : rows) {
        if (lines.size() == maxLines) {
            lines << QStringLiteral("and %1 more.").arg(total - maxLines);
            break;
        }
        const QString where =
            QStringLiteral("%1 row %2: %3 (%4)").arg(r.sheet).arg(r.row).arg(r.column, r.cell);
        if (r.reference)
            lines << QStringLiteral("%1 refers to %2, a row that is not there; %3.")
                         .arg(where, r.content.mid(1),
                              r.kept ? QStringLiteral("the row was kept without it")
                                     : QStringLiteral("the row was left out"));
        else
            lines << QStringLiteral("%1 holds %2; the row was left out.").arg(where, r.content);
    }
    return lines.join(u'\n');
}
