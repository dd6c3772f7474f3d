// The reports over time in the report window: a click on a bar lists its expenses, one
// envelope's history, and every report saved as CSV and PNG and printed.

#include "../common/fakeprompter.h"
#include "gui/reportwindow.h"
#include "trendbudget.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The window over the fourteen months, the given report chosen, laid out at 1366x768.
struct Window {
    FixedClock clock{TrendBudget::today()};
    TrendBudget b;
    FakePrompter prompter;
    ReportWindow window{b.budget, prompter};
    explicit Window(TrendKind kind) {
        window.resize(1366, 768);
        window.fromBox()->setDate(QDate(2024, 1, 1));
        window.toBox()->setDate(QDate(2025, 2, 1));
        window.reportBox()->setCurrentIndex(window.reportBox()->findData(int(kind)));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QStringList row(int r) const {
        const ReportTableModel& model = window.trends()->tableModel();
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c)
            cells << model.displayText(r, c);
        return cells;
    }
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTrendReports : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() {
        ReportWindow::chooseSaveFile = nullptr;
        ReportWindow::choosePrinter = nullptr;
    }

    void clickingABarListsItsExpenses() {
        Window w(TrendKind::Spending);
        TrendChart* chart = w.window.trends()->chart();
        QCOMPARE(chart->data().categories.size(), 14);
        int x = 0;
        while (x < chart->width() && chart->categoryAt(x) != 3) // April 2024
            ++x;
        QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(x + 5, chart->height() / 2));
        QCOMPARE(chart->highlighted(), 3);
        QCOMPARE(w.window.trends()->tableModel().rowCount(), 2);
        QCOMPARE(w.row(0).mid(1), (QStringList{"Payee", "Fun", "Checking", "$70.00"}));
        QCOMPARE(w.row(1).mid(1), (QStringList{"Payee", "Fun", "Checking", "-$15.00"}));
        QVERIFY2(w.window.trends()->note()->text().contains("2, together $55.00"),
                 qPrintable(w.window.trends()->note()->text()));

        // A click beside the bars lists nothing new; choosing another grouping starts afresh.
        QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(2, chart->height() / 2));
        QCOMPARE(w.window.trends()->tableModel().rowCount(), 2);
        w.window.byBox()->setCurrentIndex(1);
        QCOMPARE(chart->highlighted(), -1);
        QCOMPARE(w.window.trends()->tableModel().rowCount(), 14);
        QCOMPARE(w.row(3), (QStringList{"2024-04", "$55.00", "$0.00", "$55.00"}));
    }

    void oneEnvelopesHistory() {
        Window w(TrendKind::EnvelopeHistory);
        QComboBox* envelopes = w.window.envelopeBox();
        QCOMPARE(envelopes->itemText(0), QStringLiteral("All envelopes"));
        envelopes->setCurrentIndex(envelopes->findText(QStringLiteral("Fun")));
        QCOMPARE(w.window.trends()->tableModel().rowCount(), 14);
        QCOMPARE(w.row(3),
                 (QStringList{"Fun", "Extras", "2024-04", "$0.00", "$55.00", "$15.00", "$20.00"}));
        // The overspent part stands on top of what the balance covered.
        const ChartData& data = w.window.trends()->chart()->data();
        QCOMPARE(data.stacks[1].values[3], 3500);
        QCOMPARE(data.stacks[2].values[3], 2000);
        QCOMPARE(data.lines[0].values[3], 1500);
    }

    void savedAndPrinted() {
        QTemporaryDir dir;
        Window w(TrendKind::IncomeSpending);
        w.window.setPalette(QPalette(QColor(0x30, 0x30, 0x30)));
        QString asked;
        ReportWindow::chooseSaveFile = [&](const QString& suggested) {
            asked = suggested;
            return dir.filePath(QStringLiteral("income"));
        };
        w.window.csvButton()->click();
        QVERIFY(asked.endsWith(QStringLiteral(".csv")));
        const QByteArray csv = readAll(dir.filePath(QStringLiteral("income.csv")));
        QVERIFY2(csv.startsWith("Month,Income,Spending,Saved\r\n"
                                "2024-01,2000.00,120.00,1880.00\r\n"
                                "2024-02,0.00,80.00,-80.00\r\n"
                                "2024-03,0.00,0.00,0.00\r\n"),
                 csv.constData());
        QCOMPARE(csv.count("\r\n"), 15);

        w.window.pngButton()->click();
        const QImage png(dir.filePath(QStringLiteral("income.png")));
        QCOMPARE(png.size(), w.window.trends()->chart()->size());
        // Drawn on the window's (dark) base, not on white.
        QCOMPARE(png.pixelColor(3, 3), w.window.palette().color(QPalette::Base));

        const QString pdf = dir.filePath(QStringLiteral("income.pdf"));
        ReportWindow::choosePrinter = [&](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            return true;
        };
        w.window.printButton()->click();
        const QByteArray printed = readAll(pdf);
        QVERIFY(printed.startsWith("%PDF"));
        QVERIFY(w.prompter.records.isEmpty());

        // A folder that is not there: said so, nothing claimed.
        ReportWindow::chooseSaveFile = [&](const QString&) {
            return dir.filePath(QStringLiteral("missing/income.csv"));
        };
        w.window.csvButton()->click();
        QCOMPARE(w.prompter.records.size(), 1);
        QVERIFY(w.prompter.records[0].text.startsWith("The report could not be saved as "));
        QCOMPARE(w.prompter.records[0].icon, PromptIcon::Error);
    }

    void csvKeepsTextAsText() {
        ReportTable table;
        table.headers = {"Envelope", "Spent"};
        table.rows = {{"=HYPERLINK(\"x\")", "-12.50"}, {"Bills, \"home\"", "3.00"}, {"@sum", "0"}};
        QCOMPARE(toCsv(table), QStringLiteral("Envelope,Spent\r\n"
                                              "\"'=HYPERLINK(\"\"x\"\")\",-12.50\r\n"
                                              "\"Bills, \"\"home\"\"\",3.00\r\n"
                                              "'@sum,0\r\n"));
    }
};

QTEST_MAIN(TestTrendReports)
#include "test_trendreports.moc"
