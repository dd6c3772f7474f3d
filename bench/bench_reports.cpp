// What the reports over time cost with a large budget, and screenshots of them.
//
//   bench_reports                 each report computed, and opened in the report window, with
//                                 100,000 transactions (medians of 5)
//   bench_reports --shots <dir>   every report at 1366x768 in a light and a dark palette

#include "budgetgen.h"
#include "gui/reportwindow.h"
#include "model/clock.h"
#include "model/prompter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QPrinter>
#include <QStyleFactory>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
class SilentPrompter : public Prompter {
public:
    bool askYesNo(const QString&, const QString&, PromptIcon) override { return true; }
    void inform(const QString&, const QString&, PromptIcon) override {}
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// The process's CPU time: on a busy machine the wall clock measures the neighbours too.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

const char* const kNames[] = {"", "spending over time", "income and spending", "envelope history",
                              "net worth"};

void selectReport(ReportWindow& window, int kind) {
    window.reportBox()->setCurrentIndex(window.reportBox()->findData(kind));
}

int runBench() {
    const DateTime now = Clock::now();
    std::unique_ptr<Budget> budget = generateBudget(100000);
    const MonthRange year =
        MonthRange::of(QDate(now.year, now.month, 1).addMonths(-11), QDate(now.year, now.month, 1));
    const MonthRange all =
        MonthRange::of(QDate(now.year, now.month, 1).addMonths(-36), QDate(now.year, now.month, 1));
    std::printf("%zu transactions, %zu envelopes\n", budget->transactions().size(),
                budget->itemsOfType(ItemType::Envelope).size());

    auto time = [](const char* what, const std::function<void()>& work) {
        std::vector<double> runs, cpu;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            const double c = cpuMs();
            work();
            runs.push_back(ms(t));
            cpu.push_back(cpuMs() - c);
        }
        std::printf("%-52s %7.1f ms (cpu %.1f ms)\n", what, median(runs), median(cpu));
    };
    for (const MonthRange& range : {year, all}) {
        std::printf("-- %d months\n", range.count());
        time("compute: spending by envelope, per month", [&] {
            spendingOverTime(*budget, range, SpendingPeriod::Month, SpendingGrouping::Envelope);
        });
        time("compute: spending by folder, per week", [&] {
            spendingOverTime(*budget, range, SpendingPeriod::Week, SpendingGrouping::Folder);
        });
        time("compute: income and spending", [&] { incomeAndSpending(*budget, range); });
        time("compute: envelope history (every envelope)",
             [&] { envelopeHistory(*budget, range, now); });
        time("compute: net worth", [&] { netWorth(*budget, range); });
    }

    // Opening: the window made, the report chosen (computed, chart and table filled) and
    // painted once, as a person choosing it from the "Report:" list waits for it.
    SilentPrompter prompter;
    std::printf("-- report window, 12 months, 1366x768\n");
    for (int kind = 1; kind <= 4; ++kind) {
        std::vector<double> runs, cpu;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer t;
            t.start();
            const double c = cpuMs();
            ReportWindow window(*budget, prompter);
            window.resize(1366, 768);
            selectReport(window, kind);
            window.show();
            window.grab();
            runs.push_back(ms(t));
            cpu.push_back(cpuMs() - c);
        }
        std::printf("open %-47s %7.1f ms (cpu %.1f ms)\n", kNames[kind], median(runs), median(cpu));
    }
    {
        ReportWindow window(*budget, prompter);
        window.resize(1366, 768);
        selectReport(window, 1);
        window.perBox()->setCurrentIndex(1);
        window.show();
        window.grab();
        QElapsedTimer t;
        t.start();
        window.trends()->listPeriod(10);
        window.grab();
        std::printf("%-52s %7.1f ms (%d rows)\n", "click a week's bar (list its expenses)", ms(t),
                    window.trends()->tableModel().rowCount());
    }
    return 0;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x30));
    p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::AlternateBase, QColor(0x2a, 0x2a, 0x2a));
    p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3d));
    p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Mid, QColor(0x70, 0x70, 0x70));
    p.setColor(QPalette::Highlight, QColor(0x26, 0x4f, 0x78));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

int takeShots(const QString& folder) {
    QDir().mkpath(folder);
    std::unique_ptr<Budget> budget = generateBudget(6000, 7);
    SilentPrompter prompter;
    const QPalette light = QApplication::style()->standardPalette();
    for (const auto& [paletteName, palette] : {std::pair{QStringLiteral("light"), light},
                                               std::pair{QStringLiteral("dark"), darkPalette()}}) {
        QApplication::setPalette(palette);
        for (int kind = 1; kind <= 4; ++kind) {
            ReportWindow window(*budget, prompter);
            window.resize(1366, 768);
            selectReport(window, kind);
            if (kind == int(TrendKind::EnvelopeHistory))
                window.envelopeBox()->setCurrentIndex(
                    window.envelopeBox()->findText(QStringLiteral("Rent 1")));
            if (kind == int(TrendKind::Spending))
                window.byBox()->setCurrentIndex(1);
            window.show();
            QCoreApplication::processEvents();
            if (kind == int(TrendKind::Spending))
                window.trends()->listPeriod(9);
            const QString name =
                QStringLiteral("report-%1-%2.png")
                    .arg(QString::fromLatin1(kNames[kind]).replace(' ', '-'), paletteName);
            window.grab().save(QDir(folder).filePath(name));
            if (paletteName == u"light") {
                // The printout too, to look at the paper form.
                QPrinter printer;
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(QDir(folder).filePath(
                    QString(name).replace(QStringLiteral("-light.png"), QStringLiteral(".pdf"))));
                window.printOn(printer);
            }
            std::printf("%s\n", qPrintable(QDir(folder).filePath(name)));
        }
    }
    // A year of weeks: the narrowest bars the window draws.
    QApplication::setPalette(light);
    ReportWindow window(*budget, prompter);
    window.resize(1366, 768);
    selectReport(window, int(TrendKind::Spending));
    window.byBox()->setCurrentIndex(1);
    window.perBox()->setCurrentIndex(1);
    window.show();
    QCoreApplication::processEvents();
    const QString weeks =
        QDir(folder).filePath(QStringLiteral("report-spending-per-week-light.png"));
    window.grab().save(weeks);
    std::printf("%s\n", qPrintable(weeks));
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (argc >= 3 && QByteArray(argv[1]) == "--shots")
        return takeShots(QString::fromLocal8Bit(argv[2]));
    return runBench();
}
