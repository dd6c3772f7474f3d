#include "storage/legacybudget.h"

#include "model/budget.h"
#include "model/clock.h"
#include "storage/workbook.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <tinyxml2.h>
#include <unistd.h>

using tinyxml2::XMLElement;

namespace {

// What a budget can hold: it is saved as a workbook, whose sheets end at row 1048576. Counted
// before the file is parsed, whose tree takes several times the file's size: a transaction of
// 512 bytes and four elements per row (a transaction, an item and a rule, with room for the
// rest) are well beyond any budget's.
constexpr qint64 kMaxLegacyFileBytes = qint64(512) << 20;
constexpr qint64 kMaxLegacyElements = qint64(4) << 20;

// Start tags (and empty-element tags) in the file, counted in one pass without parsing.
qint64 countElements(QFile& file) {
    constexpr qint64 kChunk = qint64(1) << 20;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    qint64 count = 0;
    bool afterOpen = false; // the chunk before ended in "<"
    for (qint64 n; (n = file.read(chunk.data(), kChunk)) > 0;) {
        const char* p = chunk.constData();
        const char* const end = p + n;
        if (afterOpen && *p != '/' && *p != '!' && *p != '?')
            ++count;
        while ((p = static_cast<const char*>(std::memchr(p, '<', size_t(end - p)))) != nullptr) {
            if (++p == end)
                break;
            if (*p != '/' && *p != '!' && *p != '?')
                ++count;
        }
        afterOpen = chunk[n - 1] == '<';
    }
    return count;
}

QString textAttribute(const XMLElement* e, const char* name, const QString& fallback = {}) {
    const char* value = e->Attribute(name);
    return value ? QString::fromUtf8(value) : fallback;
}

// Ids and references are unsigned 32-bit; older files wrote some of them as signed numbers.
ItemId idAttribute(const XMLElement* e, const char* name, ItemId fallback) {
    int64_t value = 0;
    if (e->QueryInt64Attribute(name, &value) != tinyxml2::XML_SUCCESS)
        return fallback;
    return ItemId(quint32(value));
}

// Read as 64 bits and clamped like typed amounts: a number beyond 32 bits must not wrap into
// some other amount.
int intAttribute(const XMLElement* e, const char* name, int fallback) {
    int64_t value = fallback;
    e->QueryInt64Attribute(name, &value);
    return clampAmount(value);
}

bool boolAttribute(const XMLElement* e, const char* name, bool fallback) {
    bool value = fallback;
    e->QueryBoolAttribute(name, &value);
    return value;
}

DateTime withDayOfWeek(DateTime dt) {
    const QDate d(dt.year, dt.month, dt.day);
    dt.dayOfWeek = quint16(d.dayOfWeek() % 7);
    return dt;
}

bool isValidMoment(const DateTime& dt) {
    return dt.year >= 1 && dt.year <= 9999 && QDate(dt.year, dt.month, dt.day).isValid() &&
           QTime::isValid(dt.hour, dt.minute, dt.second, dt.milliseconds);
}

// 100-nanosecond intervals since 1 January 1601, as a wall-clock time (no zone change).
std::optional<DateTime> fromFileTime(qint64 fileTime) {
    if (fileTime <= 0)
        return std::nullopt;
    const QDateTime base(QDate(1601, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime moment = base.addMSecs(fileTime / 10000);
    const QDate d = moment.date();
    if (!d.isValid() || d.year() > 9999)
        return std::nullopt;
    DateTime dt;
    dt.year = quint16(d.year());
    dt.month = quint16(d.month());
    dt.day = quint16(d.day());
    dt.hour = quint16(moment.time().hour());
    dt.minute = quint16(moment.time().minute());
    dt.second = quint16(moment.time().second());
    dt.milliseconds = quint16(moment.time().msec());
    return withDayOfWeek(dt);
}

int leadingInt(const char* s) {
    // The usual leading-digits conversion, kept within the field's range.
    while (*s == ' ' || *s == '\t')
        ++s;
    bool negative = false;
    if (*s == '-' || *s == '+')
        negative = *s++ == '-';
    long value = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        value = std::min(value * 10 + (*s - '0'), 100000L);
    return int(negative ? -value : value);
}

// "MM-DD-YYYY hh:mm:ss"; fields after the first missing separator keep the present's values.
DateTime parseTransactionTime(const char* text, const DateTime& now) {
    DateTime dt = now;
    quint16* fields[] = {&dt.month, &dt.day, &dt.year, &dt.hour, &dt.minute, &dt.second};
    const char separators[] = {'-', '-', ' ', ':', ':'};
    const char* p = text;
    for (int i = 0; i < 6; ++i) {
        const int v = leadingInt(p);
        *fields[i] = quint16(std::clamp(v, 0, 65535));
        if (i == 5)
            break;
        p = std::strchr(p, separators[i]);
        if (!p)
            break;
        ++p;
    }
    // A date that does not exist would poison every date calculation; keep the present.
    if (!isValidMoment(dt))
        return now;
    return withDayOfWeek(dt);
}

struct LegacyReader {
    Budget& budget;
    std::vector<AccountBase*> created;
    std::vector<AccountEnvelope*> orphans;
    std::vector<AccountBase*> nested; // accounts and folders found inside a folder

    AccountBase* createItem(const XMLElement* e) {
        int type = -1;
        if (e->QueryIntAttribute("type", &type) != tinyxml2::XML_SUCCESS)
            return nullptr;
        AccountBase* item = nullptr;
        switch (type) {
        case 0:
            item = budget.createAccount();
            break;
        case 1:
            item = budget.createFolder();
            break;
        case 2:
            item = budget.createEnvelope();
            break;
        default:
            return nullptr;
        }
        created.push_back(item);

        const int budgeted = intAttribute(e, "budgeted", item->getBudgeted());
        const int balance = intAttribute(e, "balance", 0);
        const ItemId id = idAttribute(e, "id", item->id());
        const bool hidden = boolAttribute(e, "hidden", item->isHidden());
        const bool readOnly = boolAttribute(e, "readOnly", item->isReadOnly());
        item->setName(textAttribute(e, "name", item->getName()));
        item->adjustBalance(balance);
        item->setBudgeted(budgeted);
        // Two items under one id would leave one of them unreachable: the later one gets a
        // fresh id once loading is done.
        item->setId(id != kNoId && budget.findItem(id) ? kNoId : id);
        item->setHidden(hidden);
        item->setReadOnly(readOnly);

        if (type == 0) {
            auto* a = static_cast<Account*>(item);
            a->setContributesToBudget(
                boolAttribute(e, "getContributesToBudget", a->contributesToBudget()));
            a->setCCAccount(boolAttribute(e, "isCCAccount", a->isCCAccount()));
            if (e->Attribute("paidFromenvelopeId"))
                a->setCCAccount(true);
        } else if (type == 1) {
            auto* f = static_cast<AccountGroup*>(item);
            f->setExpenseLimit(intAttribute(e, "expenseLimit", f->expenseLimit()));
            for (const XMLElement* c = e->FirstChildElement("accountItem"); c;
                 c = c->NextSiblingElement("accountItem")) {
                AccountBase* child = createItem(c);
                if (!child)
                    continue;
                // Only envelopes live in folders (everything that walks a folder relies on
                // it); an account or folder written inside one is kept at the top level.
                if (child->getType() == ItemType::Envelope)
                    f->addChild(child);
                else
                    nested.push_back(child);
            }
        } else {
            auto* v = static_cast<AccountEnvelope*>(item);
            const ItemId payFrom = idAttribute(e, "defaultPayFromAccount", kNoId);
            if (payFrom != kNoId && budget.findAccount(payFrom))
                v->setDefaultPayFromAccount(payFrom);
            const ItemId payTo = idAttribute(e, "defaultPayToAccount", kNoId);
            if (payTo != kNoId && budget.findAccount(payTo))
                v->setDefaultPayToAccount(payTo);
            v->setDefaultAmount(intAttribute(e, "defaultAmount", v->defaultAmount()));
            v->setExpense(boolAttribute(e, "isExpense", v->isExpense()));
            v->setVirtualAccount(boolAttribute(e, "virtualAccount", v->virtualAccount()));
            v->setDefaultPayee(textAttribute(e, "defaultPayee", v->defaultPayee()));
        }
        return item;
    }

    void readTransactions(const XMLElement* root) {
        const XMLElement* list = root->FirstChildElement("transactions");
        if (!list)
            return;
        for (const XMLElement* e = list->FirstChildElement("transaction"); e;
             e = e->NextSiblingElement("transaction")) {
            const DateTime now = Clock::now();
            DateTime moment = now;
            int64_t stamp = 0;
            std::optional<DateTime> fromStamp;
            if (e->QueryInt64Attribute("timestamp", &stamp) == tinyxml2::XML_SUCCESS && stamp != 0)
                fromStamp = fromFileTime(stamp);
            if (fromStamp)
                moment = *fromStamp;
            else if (const char* text = e->Attribute("transactionTime"))
                moment = parseTransactionTime(text, now);

            auto t = std::make_unique<Transaction>();
            t->category = idAttribute(e, "category", 0);
            t->accountFrom = idAttribute(e, "accountFrom", 0);
            t->accountTo = idAttribute(e, "accountTo", kNoId);
            t->payee = textAttribute(e, "payee");
            t->description = textAttribute(e, "description");
            t->transactionTime = moment;
            t->amount = intAttribute(e, "amount", 0);
            t->type = TransactionType(quint32(intAttribute(e, "type", 0)));
            budget.loadTransaction(std::move(*t));
        }
    }

    void readRules(const XMLElement* root) {
        const XMLElement* e = root->FirstChildElement("settings");
        e = e ? e->FirstChildElement("importer") : nullptr;
        e = e ? e->FirstChildElement("payeeMap") : nullptr;
        if (!e)
            return;
        for (const XMLElement* m = e->FirstChildElement("payeeMapping"); m;
             m = m->NextSiblingElement("payeeMapping")) {
            const char* from = m->Attribute("from");
            const char* to = m->Attribute("to");
            if (!from || !to)
                continue;
            unsigned envelope = 0;
            m->QueryUnsignedAttribute("envelopeId", &envelope);
            budget.rules().addMappingRule(QString::fromUtf8(from), ItemId(envelope), false,
                                          QString::fromUtf8(to));
        }
    }
};

} // namespace

LegacyLoad loadLegacyBudget(const QString& path, Budget& budget) {
    LegacyLoad result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    if (file.size() > kMaxLegacyFileBytes || countElements(file) > kMaxLegacyElements) {
        result.error = QStringLiteral("file too large");
        return result;
    }
    tinyxml2::XMLDocument doc;
    {
        // The parser reads the file into a buffer of its own: no second copy of it here.
        const int fd = ::dup(file.handle());
        FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "rb");
        if (!stream) {
            if (fd >= 0)
                ::close(fd);
            result.error = QStringLiteral("cannot read the file");
            return result;
        }
        ::rewind(stream);
        const tinyxml2::XMLError parsed = doc.LoadFile(stream);
        ::fclose(stream);
        if (parsed != tinyxml2::XML_SUCCESS) {
            result.error = QString::fromUtf8(doc.ErrorStr());
            return result;
        }
    }
    const XMLElement* root = doc.RootElement();
    if (!root) {
        result.error = QStringLiteral("no root element");
        return result;
    }

    budget.suspendIdAllocation();
    LegacyReader r{budget, {}, {}, {}};
    r.readTransactions(root);
    r.readRules(root);
    if (const XMLElement* accounts = root->FirstChildElement("accounts")) {
        for (const XMLElement* e = accounts->FirstChildElement("accountItem"); e;
             e = e->NextSiblingElement("accountItem")) {
            AccountBase* item = r.createItem(e);
            if (!item)
                continue;
            // An envelope needs a folder to be shown and saved in.
            if (item->getType() == ItemType::Envelope)
                r.orphans.push_back(static_cast<AccountEnvelope*>(item));
            else
                result.items.push_back(item);
            result.items.insert(result.items.end(), r.nested.begin(), r.nested.end());
            r.nested.clear();
        }
    }
    budget.resumeIdAllocationAfterLegacyLoad();
    // An item stored without an id (or with one already taken) gets a fresh one.
    for (AccountBase* item : r.created)
        if (item->id() == kNoId)
            item->setId(budget.allocateId());
    if (!r.orphans.empty()) {
        AccountGroup* folder = budget.createFolder();
        folder->setName(unfiledFolderName());
        for (AccountEnvelope* e : r.orphans)
            folder->addChild(e);
        result.items.push_back(folder);
    }
    budget.normaliseAfterLoad();
    result.status = 0;
    return result;
}
