#include "reports/trends.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

namespace {

int monthIndex(int year, int month) {
    return year * 12 + month - 1;
}

int monthIndex(QDate date) {
    return monthIndex(date.year(), date.month());
}

int monthIndex(const DateTime& dt) {
    return monthIndex(dt.year, dt.month);
}

QDate mondayOnOrBefore(QDate date) {
    return date.addDays(1 - date.dayOfWeek());
}

const AccountEnvelope* envelopeOf(const Budget& budget, ItemId id) {
    return budget.findEnvelope(id);
}

// The group of envelopes outside any folder: below the reserved ids, never handed out.
constexpr ItemId kNoFolderKey = kChargesEnvelopeId - 1;

} // namespace

MonthRange MonthRange::of(QDate first, QDate last) {
    MonthRange range;
    if (first.isValid())
        range.from = QDate(first.year(), first.month(), 1);
    if (last.isValid())
        range.to = QDate(last.year(), last.month(), 1);
    return range;
}

int MonthRange::count() const {
    if (!isValid())
        return 0;
    return monthIndex(to) - monthIndex(from) + 1;
}

QDate dateOf(const DateTime& dt) {
    const QDate date(dt.year, dt.month, dt.day);
    return date.isValid() ? date : QDate(dt.year, dt.month, 1);
}

// ---- Spending over time ----------------------------------------------------------------

QDate SpendingReport::periodEnd(int index) const {
    const QDate start = periodStarts[size_t(index)];
    return period == SpendingPeriod::Week ? start.addDays(6) : start.addMonths(1).addDays(-1);
}

SpendingReport spendingOverTime(const Budget& budget, const MonthRange& range,
                                SpendingPeriod period, SpendingGrouping grouping, int top) {
    SpendingReport report;
    report.period = period;
    report.grouping = grouping;
    if (!range.isValid())
        return report;
    const QDate first = range.from;
    const QDate last = range.to.addMonths(1).addDays(-1);
    const QDate firstStart = period == SpendingPeriod::Week ? mondayOnOrBefore(first) : first;
    const qint64 firstDay = firstStart.toJulianDay();
    if (period == SpendingPeriod::Week) {
        for (QDate d = firstStart; d <= last; d = d.addDays(7))
            report.periodStarts.push_back(d);
    } else {
        for (int i = 0; i < range.count(); ++i)
            report.periodStarts.push_back(range.month(i));
    }
    const int periods = int(report.periodStarts.size());
    const int firstMonth = monthIndex(first);
    report.totals.assign(size_t(periods), 0);

    // Group key: the envelope, or its folder; an unknown envelope is "no envelope".
    struct Group {
        ItemId id = kNoId;
        QString name;
        std::vector<Cents> values;
        Cents total = 0;
    };
    std::unordered_map<ItemId, Group> groups;
    std::unordered_map<ItemId, ItemId> groupOfCategory; // memo: category -> group key
    const qint64 lastDay = last.toJulianDay();
    for (const auto& t : budget.transactions()) {
        if (t->type != TransactionType::Expense)
            continue;
        const DateTime& when = t->transactionTime;
        int index;
        if (period == SpendingPeriod::Month) {
            index = monthIndex(when) - firstMonth;
            if (index < 0 || index >= periods)
                continue;
        } else {
            const qint64 day = dateOf(when).toJulianDay();
            if (day < first.toJulianDay() || day > lastDay)
                continue;
            index = int((day - firstDay) / 7);
        }
        auto memo = groupOfCategory.find(t->category);
        if (memo == groupOfCategory.end()) {
            ItemId key = kNoId;
            QString name = QStringLiteral("(no envelope)");
            if (const AccountEnvelope* envelope = envelopeOf(budget, t->category)) {
                key = envelope->id();
                name = envelope->getName();
                if (grouping == SpendingGrouping::Folder) {
                    if (const AccountGroup* folder = envelope->getParent()) {
                        key = folder->id();
                        name = folder->getName();
                    } else {
                        key = kNoFolderKey;
                        name = QStringLiteral("(no folder)");
                    }
                }
            }
            memo = groupOfCategory.emplace(t->category, key).first;
            Group& group = groups[key];
            if (group.values.empty()) {
                group.id = key;
                group.name = name;
                group.values.assign(size_t(periods), 0);
            }
        }
        Group& group = groups[memo->second];
        const Cents spent = -Cents(t->amount);
        group.values[size_t(index)] += spent;
        group.total += spent;
        report.totals[size_t(index)] += spent;
    }

    std::vector<Group*> ordered;
    for (auto& [key, group] : groups)
        ordered.push_back(&group);
    std::sort(ordered.begin(), ordered.end(), [](const Group* a, const Group* b) {
        if (a->total != b->total)
            return a->total > b->total;
        return a->name < b->name;
    });
    SpendingSeries other;
    other.name = QStringLiteral("Other");
    other.other = true;
    other.values.assign(size_t(periods), 0);
    const bool needOther = int(ordered.size()) > top;
    for (size_t i = 0; i < ordered.size(); ++i) {
        Group* group = ordered[i];
        if (needOther && int(i) >= top) {
            for (int p = 0; p < periods; ++p)
                other.values[size_t(p)] += group->values[size_t(p)];
            other.total += group->total;
            continue;
        }
        SpendingSeries series;
        series.name = group->name;
        series.id = group->id == kNoFolderKey ? kNoId : group->id;
        series.values = std::move(group->values);
        series.total = group->total;
        report.series.push_back(std::move(series));
    }
    if (needOther)
        report.series.push_back(std::move(other));
    return report;
}

std::vector<const Transaction*> expensesBetween(const Budget& budget, QDate first, QDate last) {
    std::vector<const Transaction*> found;
    for (const auto& t : budget.transactions()) {
        if (t->type != TransactionType::Expense)
            continue;
        const QDate day = dateOf(t->transactionTime);
        if (day >= first && day <= last)
            found.push_back(t);
    }
    std::stable_sort(found.begin(), found.end(), [](const Transaction* a, const Transaction* b) {
        return compareByTime(*a, *b);
    });
    return found;
}

// ---- Income and spending -----------------------------------------------------------------

std::vector<IncomeSpendingMonth> incomeAndSpending(const Budget& budget, const MonthRange& range) {
    std::vector<IncomeSpendingMonth> months(size_t(range.count()));
    for (int i = 0; i < range.count(); ++i)
        months[size_t(i)].month = range.month(i);
    if (months.empty())
        return months;
    const int firstMonth = monthIndex(range.from);
    for (const auto& t : budget.transactions()) {
        if (t->type != TransactionType::Expense && t->type != TransactionType::Deposit)
            continue;
        const int index = monthIndex(t->transactionTime) - firstMonth;
        if (index < 0 || index >= int(months.size()))
            continue;
        if (t->type == TransactionType::Deposit)
            months[size_t(index)].income += t->amount;
        else
            months[size_t(index)].spending -= t->amount;
    }
    return months;
}

// ---- Envelope history -------------------------------------------------------------------

namespace {

struct Flow {
    double when = 0;
    int month = 0;
    Cents amount = 0;
    bool cardRule = false; // moved by the card rule (counts as funding), else the envelope's own
};

// The envelope's stored balance is reached in its closing month; the months before follow
// the funding estimate and the floor.
EnvelopeHistory replay(const AccountEnvelope& envelope, std::vector<Flow>& flows,
                       const MonthRange& range, int nowMonth) {
    EnvelopeHistory history;
    history.id = envelope.id();
    history.name = envelope.getName();
    if (const AccountGroup* folder = envelope.getParent())
        history.folder = folder->getName();
    const int first = monthIndex(range.from);
    const int count = range.count();
    history.months.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        history.months[size_t(i)].month = range.month(i);

    std::stable_sort(flows.begin(), flows.end(),
                     [](const Flow& a, const Flow& b) { return a.when < b.when; });
    int start = envelope.createdDate().isSet() ? monthIndex(envelope.createdDate()) : nowMonth;
    int close = nowMonth;
    if (!flows.empty()) {
        start = std::min(start, flows.front().month);
        close = std::max(close, flows.back().month);
    }
    start = std::min(start, close);
    const Cents budget = -Cents(envelope.getBudgeted());
    const bool savingsGoal = envelope.savingsGoal() != 0;
    const Cents stored = envelope.getBalance();

    Cents balance = 0;
    size_t next = 0;
    for (int month = start; month <= close; ++month) {
        EnvelopeMonth row;
        const size_t begin = next;
        size_t end = begin;
        while (end < flows.size() && flows[end].month <= month)
            ++end;
        next = end;

        Cents funding = 0;
        if (month <= nowMonth) {
            if (budget > 0) {
                funding = savingsGoal ? budget : budget - balance;
            } else {
                // Given just enough that the month's spending never meets the floor.
                Cents running = balance;
                Cents lowest = balance;
                for (size_t i = begin; i < end; ++i) {
                    running += flows[i].amount;
                    lowest = std::min(lowest, running);
                }
                funding = std::max<Cents>(0, -lowest);
            }
        }
        const Cents funded = std::max<Cents>(0, balance + funding) - balance;
        balance += funded;
        row.funded = funded;
        for (size_t i = begin; i < end; ++i) {
            const Flow& flow = flows[i];
            if (flow.cardRule)
                row.funded += flow.amount;
            else
                row.spent -= flow.amount;
            balance += flow.amount;
            if (balance < 0) {
                row.dropped -= balance;
                balance = 0;
            }
        }
        if (month == close) {
            row.funded += stored - balance;
            balance = stored;
        }
        row.balance = balance;
        const int index = month - first;
        if (index >= 0 && index < count) {
            row.month = history.months[size_t(index)].month;
            history.months[size_t(index)] = row;
        }
    }
    for (int i = std::max(0, close + 1 - first); i < count; ++i)
        history.months[size_t(i)].balance = stored;
    return history;
}

} // namespace

std::vector<EnvelopeHistory> envelopeHistory(const Budget& budget, const MonthRange& range,
                                             const DateTime& now) {
    std::vector<EnvelopeHistory> result;
    if (!range.isValid())
        return result;
    std::unordered_map<ItemId, std::vector<Flow>> flows;
    // What each id is, looked up once rather than once per transaction.
    std::unordered_map<ItemId, bool> isCard;
    std::unordered_set<ItemId> isEnvelope;
    for (const auto& [id, item] : budget.registry()) {
        if (item->getType() == ItemType::Account)
            isCard[id] = static_cast<const Account*>(item)->isCCAccount();
        else if (item->getType() == ItemType::Envelope)
            isEnvelope.insert(id);
    }
    const bool hasCharges = isEnvelope.count(kChargesEnvelopeId) != 0;
    std::vector<Flow>* charges = hasCharges ? &flows[kChargesEnvelopeId] : nullptr;
    ItemId lastCategory = kNoId;
    std::vector<Flow>* lastFlows = nullptr;
    for (const auto& t : budget.transactions()) {
        const double when = toSerialDay(t->transactionTime);
        const int month = monthIndex(t->transactionTime);
        // The same steps as applying it: the card rule first, then the envelope charged.
        if (charges) {
            const auto from = isCard.find(t->accountFrom);
            if (from != isCard.end() && from->second)
                charges->push_back({when, month, -Cents(t->amount), true});
        }
        if (t->category != lastCategory || !lastFlows) {
            lastCategory = t->category;
            lastFlows = isEnvelope.count(t->category) ? &flows[t->category] : nullptr;
        }
        if (lastFlows)
            lastFlows->push_back({when, month, Cents(t->amount), false});
    }
    const int first = monthIndex(range.from);
    const int last = monthIndex(range.to);
    const int nowMonth = monthIndex(now);
    for (AccountBase* item : budget.itemsOfType(ItemType::Envelope)) {
        const auto* envelope = static_cast<const AccountEnvelope*>(item);
        auto found = flows.find(envelope->id());
        std::vector<Flow> none;
        std::vector<Flow>& own = found == flows.end() ? none : found->second;
        if (envelope->isHidden()) {
            const bool moved = std::any_of(own.begin(), own.end(), [&](const Flow& f) {
                return f.month >= first && f.month <= last;
            });
            if (!moved)
                continue;
        }
        result.push_back(replay(*envelope, own, range, nowMonth));
    }
    return result;
}

// ---- Net worth --------------------------------------------------------------------------

std::vector<NetWorthMonth> netWorth(const Budget& budget, const MonthRange& range) {
    std::vector<NetWorthMonth> months(size_t(range.count()));
    if (months.empty())
        return months;
    enum Kind { InBudget, OffBudget, Card };
    auto kindOf = [](const Account& account) {
        if (account.isCCAccount())
            return Card;
        return account.contributesToBudget() ? InBudget : OffBudget;
    };
    // Changes per month of the range; the last slot holds everything after it.
    const int first = monthIndex(range.from);
    const int count = range.count();
    std::vector<std::array<Cents, 3>> changes(size_t(count) + 1, {0, 0, 0});
    auto add = [&](ItemId id, Cents change, int index) {
        if (const Account* account = budget.findAccount(id))
            changes[size_t(index)][kindOf(*account)] += change;
    };
    for (const auto& t : budget.transactions()) {
        const int index = std::min(monthIndex(t->transactionTime) - first, count);
        if (index < 0)
            continue;
        add(t->accountFrom, fromAccountChange(*t), index);
        add(t->accountTo, toAccountChange(*t), index);
    }
    std::array<Cents, 3> balance{0, 0, 0};
    for (AccountBase* item : budget.itemsOfType(ItemType::Account)) {
        const auto* account = static_cast<const Account*>(item);
        balance[kindOf(*account)] += account->getBalance();
    }
    for (int i = count; i-- > 0;) {
        for (int k = 0; k < 3; ++k)
            balance[size_t(k)] -= changes[size_t(i) + 1][size_t(k)];
        NetWorthMonth& row = months[size_t(i)];
        row.month = range.month(i);
        row.inBudget = balance[InBudget];
        row.offBudget = balance[OffBudget];
        row.cards = balance[Card];
    }
    return months;
}

// ---- Tables ------------------------------------------------------------------------------

QString moneyText(Cents value, bool asCurrency) {
    return formatAmount(clampAmount(value), asCurrency);
}

QString monthText(QDate month) {
    return month.toString(QStringLiteral("yyyy-MM"));
}

ReportTable spendingTable(const SpendingReport& report, bool asCurrency) {
    ReportTable table;
    table.title = QStringLiteral("Spending over time");
    table.headers << (report.period == SpendingPeriod::Week ? QStringLiteral("Week")
                                                            : QStringLiteral("Month"));
    for (const SpendingSeries& series : report.series)
        table.headers << series.name;
    table.headers << QStringLiteral("Total");
    for (size_t p = 0; p < report.periodStarts.size(); ++p) {
        QStringList row;
        row << (report.period == SpendingPeriod::Week ? report.periodStarts[p].toString(Qt::ISODate)
                                                      : monthText(report.periodStarts[p]));
        for (const SpendingSeries& series : report.series)
            row << moneyText(series.values[p], asCurrency);
        row << moneyText(report.totals[p], asCurrency);
        table.rows.push_back(row);
    }
    return table;
}

ReportTable incomeSpendingTable(const std::vector<IncomeSpendingMonth>& months, bool asCurrency) {
    ReportTable table;
    table.title = QStringLiteral("Income and spending");
    table.headers = {QStringLiteral("Month"), QStringLiteral("Income"), QStringLiteral("Spending"),
                     QStringLiteral("Saved")};
    for (const IncomeSpendingMonth& m : months)
        table.rows.push_back({monthText(m.month), moneyText(m.income, asCurrency),
                              moneyText(m.spending, asCurrency),
                              moneyText(m.difference(), asCurrency)});
    return table;
}

ReportTable envelopeHistoryTable(const std::vector<EnvelopeHistory>& envelopes, bool asCurrency) {
    ReportTable table;
    table.title = QStringLiteral("Envelope history");
    table.headers = {QStringLiteral("Envelope"), QStringLiteral("Folder"),
                     QStringLiteral("Month"),    QStringLiteral("Funded"),
                     QStringLiteral("Spent"),    QStringLiteral("Balance"),
                     QStringLiteral("Overspent")};
    for (const EnvelopeHistory& e : envelopes) {
        for (const EnvelopeMonth& m : e.months)
            table.rows.push_back({e.name, e.folder, monthText(m.month),
                                  moneyText(m.funded, asCurrency), moneyText(m.spent, asCurrency),
                                  moneyText(m.balance, asCurrency),
                                  moneyText(m.dropped, asCurrency)});
    }
    return table;
}

ReportTable netWorthTable(const std::vector<NetWorthMonth>& months, bool asCurrency) {
    ReportTable table;
    table.title = QStringLiteral("Net worth");
    table.headers = {QStringLiteral("Month"), QStringLiteral("In budget"),
                     QStringLiteral("Off budget"), QStringLiteral("Cards"),
                     QStringLiteral("Net worth")};
    for (const NetWorthMonth& m : months)
        table.rows.push_back({monthText(m.month), moneyText(m.inBudget, asCurrency),
                              moneyText(m.offBudget, asCurrency), moneyText(m.cards, asCurrency),
                              moneyText(m.total(), asCurrency)});
    return table;
}

namespace {
QString csvCell(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    QString cell = text;
    if (!cell.isEmpty() && QStringLiteral("=+-@\t\r").contains(cell.front()) &&
        !number.match(cell).hasMatch())
        cell.prepend(QLatin1Char('\''));
    if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) ||
        cell.contains(QLatin1Char('\n')) || cell.contains(QLatin1Char('\r'))) {
        cell.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        cell = QLatin1Char('"') + cell + QLatin1Char('"');
    }
    return cell;
}

QString csvLine(const QStringList& cells) {
    QStringList out;
    for (const QString& cell : cells)
        out << csvCell(cell);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}
} // namespace

QString toCsv(const ReportTable& table) {
    QString text = csvLine(table.headers);
    for (const QStringList& row : table.rows)
        text += csvLine(row);
    return text;
}
