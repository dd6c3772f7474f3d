// tallykeep-export --report: the figures of the reports over time for a budget of fourteen
// months, each worked out by hand, read back from the command's JSON.

#include "storage/budgetfile.h"
#include "trendbudget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QJsonObject json;
    QByteArray err;
};

Run run(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TALLYKEEP_EXPORT_COMMAND), args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    r.err = p.readAllStandardError();
    return r;
}

// "month:field=value" for every month whose fields are not all zero, so a table of fourteen
// months reads as the few that moved.
QStringList moved(const QJsonArray& months, const QStringList& fields) {
    QStringList out;
    for (const QJsonValue& v : months) {
        const QJsonObject o = v.toObject();
        QStringList values;
        bool any = false;
        for (const QString& f : fields) {
            values << QString::number(o[f].toInteger());
            any = any || o[f].toInteger() != 0;
        }
        if (any)
            out << o["month"].toString() + QLatin1Char(' ') + values.join(QLatin1Char('/'));
    }
    return out;
}

} // namespace

class ReportCommandTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString file_;

    QJsonObject report(const QStringList& extra) {
        const Run r =
            run(QStringList{file_, QStringLiteral("--as-of"), QStringLiteral("2025-02-15"),
                            QStringLiteral("--from"), QStringLiteral("2024-01"),
                            QStringLiteral("--to"), QStringLiteral("2025-02")} +
                extra);
        if (r.exitCode != 0)
            qWarning("%s", r.err.constData());
        return r.json;
    }

private slots:
    void initTestCase() {
        TrendBudget b;
        file_ = dir_.filePath(QStringLiteral("budget.xlsx"));
        QCOMPARE(writeWorkbookReplacing(file_, b.budget, b.budget.topLevelItemsForSave()), 0);
    }

    void spendingByEnvelopeAndFolder() {
        const QJsonObject byEnvelope = report({QStringLiteral("--report"), "spending"});
        QCOMPARE(byEnvelope["report"].toString(), QStringLiteral("spending"));
        const QJsonArray periods = byEnvelope["periods"].toArray();
        QCOMPARE(periods.size(), 14);
        QStringList totals;
        for (const QJsonValue& v : periods) {
            const QJsonObject o = v.toObject();
            if (o["total"].toInteger() != 0)
                totals << o["start"].toString() + '=' + QString::number(o["total"].toInteger());
        }
        // The card payment and the transfer are no spending; the April refund lowers Fun.
        QCOMPARE(totals, (QStringList{"2024-01-01=12000", "2024-02-01=8000", "2024-04-01=5500",
                                      "2024-12-01=20000", "2025-02-01=5000"}));
        QStringList series;
        for (const QJsonValue& v : byEnvelope["series"].toArray())
            series << v["name"].toString() + '=' + QString::number(v["total"].toInteger());
        QCOMPARE(series, (QStringList{"Food=25000", "Gifts=20000", "Fun=5500"}));
        QCOMPARE(periods[1]["groups"]["Food"].toInteger(), 8000);
        QCOMPARE(periods[1]["end"].toString(), QStringLiteral("2024-02-29"));

        const QJsonObject byFolder =
            report({QStringLiteral("--report"), "spending", "--by", "folder"});
        series.clear();
        for (const QJsonValue& v : byFolder["series"].toArray())
            series << v["name"].toString() + '=' + QString::number(v["total"].toInteger());
        QCOMPARE(series, (QStringList{"Extras=25500", "Living=25000"}));
    }

    void spendingPerWeekKeepsRefundsNegative() {
        const Run r = run({file_, "--report", "spending", "--per", "week", "--from", "2024-04",
                           "--to", "2024-04", "--as-of", "2025-02-15"});
        QCOMPARE(r.exitCode, 0);
        QStringList weeks;
        for (const QJsonValue& v : r.json["periods"].toArray())
            weeks << v["start"].toString() + '=' + QString::number(v["total"].toInteger());
        // April 2024 begins on a Monday; the last week runs into May.
        QCOMPARE(weeks, (QStringList{"2024-04-01=7000", "2024-04-08=-1500", "2024-04-15=0",
                                     "2024-04-22=0", "2024-04-29=0"}));
    }

    void incomeAndSpending() {
        const QJsonObject o = report({"--report", "income"});
        QCOMPARE(moved(o["months"].toArray(), {"income", "spending", "difference"}),
                 (QStringList{"2024-01 200000/12000/188000", "2024-02 0/8000/-8000",
                              "2024-04 0/5500/-5500", "2024-06 100000/0/100000",
                              "2024-12 0/20000/-20000", "2025-01 200000/0/200000",
                              "2025-02 0/5000/-5000"}));
    }

    void envelopeHistoryShowsWhereOverspendingWent() {
        const QJsonObject o = report({"--report", "envelopes"});
        QMap<QString, QJsonArray> byName;
        for (const QJsonValue& v : o["envelopes"].toArray())
            byName[v["name"].toString()] = v["months"].toArray();
        QCOMPARE(byName.keys(), (QStringList{"Credit card charges", "Food", "Fun", "Gifts"}));
        const QStringList fields{"funded", "spent", "balance", "dropped"};

        // Funded to 300.00 each month; the stored 250.00 closes February 2025.
        QStringList food = moved(byName["Food"], fields);
        QCOMPARE(food.mid(0, 4),
                 (QStringList{"2024-01 30000/12000/18000/0", "2024-02 12000/8000/22000/0",
                              "2024-03 8000/0/30000/0", "2024-04 0/0/30000/0"}));
        QCOMPARE(food.last(), QStringLiteral("2025-02 0/5000/25000/0"));

        // 70.00 from 50.00: the floor drops 20.00, the refund leaves 15.00.
        const QStringList fun = moved(byName["Fun"], fields);
        QCOMPARE(fun.mid(0, 5),
                 (QStringList{"2024-01 5000/0/5000/0", "2024-02 0/0/5000/0", "2024-03 0/0/5000/0",
                              "2024-04 0/5500/1500/2000", "2024-05 3500/0/5000/0"}));

        // Without a budget: given what December needed, nothing else.
        QCOMPARE(moved(byName["Gifts"], fields), QStringList{"2024-12 20000/20000/0/0"});

        // The card rule funds the charges envelope; the payments spend it.
        QCOMPARE(moved(byName["Credit card charges"], fields),
                 (QStringList{"2024-02 8000/8000/0/0", "2024-12 20000/0/20000/0",
                              "2025-01 0/20000/0/0"}));
    }

    void netWorthAtEachMonthEnd() {
        const QJsonObject o = report({"--report", "networth"});
        QStringList rows;
        for (const QJsonValue& v : o["months"].toArray())
            rows << v["month"].toString() + ' ' +
                        QStringList{QString::number(v["inBudget"].toInteger()),
                                    QString::number(v["offBudget"].toInteger()),
                                    QString::number(v["cards"].toInteger()),
                                    QString::number(v["total"].toInteger())}
                            .join('/');
        QCOMPARE(rows, (QStringList{
                           "2024-01 288000/300000/0/588000", "2024-02 280000/300000/0/580000",
                           "2024-03 230000/350000/0/580000", "2024-04 224500/350000/0/574500",
                           "2024-05 224500/350000/0/574500", "2024-06 324500/350000/0/674500",
                           "2024-07 324500/350000/0/674500", "2024-08 324500/350000/0/674500",
                           "2024-09 324500/350000/0/674500", "2024-10 324500/350000/0/674500",
                           "2024-11 324500/350000/0/674500", "2024-12 324500/350000/-20000/654500",
                           "2025-01 504500/350000/0/854500", "2025-02 499500/350000/0/849500"}));
    }

    void refusesWhatItCannotRead_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown report") << QStringList{"--report", "profit"};
        QTest::newRow("month 13") << QStringList{"--report", "income", "--from", "2024-13"};
        QTest::newRow("from after to")
            << QStringList{"--report", "income", "--from", "2025-01", "--to", "2024-01"};
        QTest::newRow("bad grouping") << QStringList{"--report", "spending", "--by", "payee"};
        QTest::newRow("missing value") << QStringList{"--report"};
        QTest::newRow("report and save") << QStringList{"--report", "income", "--save", "x.xlsx"};
    }
    void refusesWhatItCannotRead() {
        QFETCH(QStringList, args);
        const Run r = run(QStringList{file_} + args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.json.isEmpty());
        QVERIFY(!r.err.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ReportCommandTest)
#include "test_reportcommand.moc"
