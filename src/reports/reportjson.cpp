#include "reports/reportjson.h"

#include <QJsonArray>

namespace {

QJsonValue idValue(ItemId id) {
    return id == kNoId ? QJsonValue() : QJsonValue(qint64(id));
}

QJsonObject spendingJson(const SpendingReport& report) {
    QJsonObject root;
    root["period"] = report.period == SpendingPeriod::Week ? "week" : "month";
    root["by"] = report.grouping == SpendingGrouping::Folder ? "folder" : "envelope";
    QJsonArray periods;
    for (size_t p = 0; p < report.periodStarts.size(); ++p) {
        QJsonObject o;
        o["start"] = report.periodStarts[p].toString(Qt::ISODate);
        o["end"] = report.periodEnd(int(p)).toString(Qt::ISODate);
        o["total"] = report.totals[p];
        QJsonObject groups;
        for (const SpendingSeries& series : report.series)
            groups[series.name] = series.values[p];
        o["groups"] = groups;
        periods.append(o);
    }
    root["periods"] = periods;
    QJsonArray series;
    for (const SpendingSeries& s : report.series) {
        QJsonObject o;
        o["name"] = s.name;
        o["id"] = idValue(s.id);
        o["other"] = s.other;
        o["total"] = s.total;
        series.append(o);
    }
    root["series"] = series;
    return root;
}

QJsonObject incomeJson(const std::vector<IncomeSpendingMonth>& months) {
    QJsonArray rows;
    for (const IncomeSpendingMonth& m : months) {
        QJsonObject o;
        o["month"] = monthText(m.month);
        o["income"] = m.income;
        o["spending"] = m.spending;
        o["difference"] = m.difference();
        rows.append(o);
    }
    QJsonObject root;
    root["months"] = rows;
    return root;
}

QJsonObject envelopesJson(const std::vector<EnvelopeHistory>& envelopes) {
    QJsonArray list;
    for (const EnvelopeHistory& e : envelopes) {
        QJsonObject o;
        o["id"] = qint64(e.id);
        o["name"] = e.name;
        o["folder"] = e.folder;
        QJsonArray rows;
        for (const EnvelopeMonth& m : e.months) {
            QJsonObject r;
            r["month"] = monthText(m.month);
            r["funded"] = m.funded;
            r["spent"] = m.spent;
            r["balance"] = m.balance;
            r["dropped"] = m.dropped;
            rows.append(r);
        }
        o["months"] = rows;
        list.append(o);
    }
    QJsonObject root;
    root["envelopes"] = list;
    return root;
}

QJsonObject netWorthJson(const std::vector<NetWorthMonth>& months) {
    QJsonArray rows;
    for (const NetWorthMonth& m : months) {
        QJsonObject o;
        o["month"] = monthText(m.month);
        o["inBudget"] = m.inBudget;
        o["offBudget"] = m.offBudget;
        o["cards"] = m.cards;
        o["total"] = m.total();
        rows.append(o);
    }
    QJsonObject root;
    root["months"] = rows;
    return root;
}

} // namespace

QStringList reportNames() {
    return {QStringLiteral("spending"), QStringLiteral("income"), QStringLiteral("envelopes"),
            QStringLiteral("networth")};
}

std::optional<QJsonObject> reportJson(const Budget& budget, const ReportRequest& request) {
    QJsonObject root;
    const QString& name = request.name;
    if (name == u"spending")
        root = spendingJson(
            spendingOverTime(budget, request.range, request.period, request.grouping, request.top));
    else if (name == u"income")
        root = incomeJson(incomeAndSpending(budget, request.range));
    else if (name == u"envelopes")
        root = envelopesJson(envelopeHistory(budget, request.range, request.now));
    else if (name == u"networth")
        root = netWorthJson(netWorth(budget, request.range));
    else
        return std::nullopt;
    root["report"] = name;
    root["from"] = monthText(request.range.from);
    root["to"] = monthText(request.range.to);
    return root;
}
