#pragma once
// The reports over time as JSON (amounts in cents, months as "yyyy-MM"), for
// tallykeep-export --report and for scripts that check the figures.

#include "reports/trends.h"

#include <QJsonObject>
#include <optional>

struct ReportRequest {
    QString name; // one of reportNames()
    MonthRange range;
    SpendingPeriod period = SpendingPeriod::Month;
    SpendingGrouping grouping = SpendingGrouping::Envelope;
    int top = 10;
    DateTime now; // the envelope history closes at the stored balances in this month
};

// "spending", "income", "envelopes", "networth".
QStringList reportNames();

// Nothing when the name is not a report.
std::optional<QJsonObject> reportJson(const Budget& budget, const ReportRequest& request);
