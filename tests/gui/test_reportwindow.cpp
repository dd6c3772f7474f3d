#include "../common/fakeprompter.h"
#include "gui/reportwindow.h"
#include "model/clock.h"
#include "testdates.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

namespace {
struct ReportBudget {
    Budget budget;
    Account* checking = nullptr;
    AccountEnvelope* food = nullptr;
    AccountEnvelope* fuel = nullptr;
    AccountEnvelope* gifts = nullptr; // refunds only
    AccountEnvelope* spare = nullptr; // hidden, never used
    ReportBudget() {
        checking = budget.createAccount();
        checking->setName(QStringLiteral("Checking"));
        food = envelope(QStringLiteral("Food"), -25000, makeDate(2024, 1, 1));
        fuel = envelope(QStringLiteral("Fuel"), -8000, makeDate(2024, 1, 1));
        gifts = envelope(QStringLiteral("Gifts"), 0, makeDate(2024, 1, 1));
        spare = envelope(QStringLiteral("Spare"), -100, makeDate(2024, 1, 1));
        spare->setHidden(true);
    }
    AccountEnvelope* envelope(const QString& name, Amount budgeted, const DateTime& created) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        e->setBudgeted(budgeted);
        e->setCreatedDate(created);
        return e;
    }
    void add(TransactionType type, ItemId envelope, Amount amount, const DateTime& when) {
        createTransaction(budget, type, amount, checking->id(), kNoId, envelope, {}, {}, when);
    }
    // Two years of March spending and some noise that must never show.
    void fillHistory() {
        add(TransactionType::Expense, food->id(), -1000, makeDate(2024, 3, 10));
        add(TransactionType::Expense, food->id(), -2500, makeDate(2025, 3, 10));
        add(TransactionType::Expense, food->id(), 500, makeDate(2025, 3, 11));
        add(TransactionType::Expense, fuel->id(), -4000, makeDate(2024, 3, 1));
        add(TransactionType::Expense, fuel->id(), -1500, makeDate(2025, 4, 2));
        add(TransactionType::Expense, gifts->id(), 700, makeDate(2025, 3, 20));
        add(TransactionType::Expense, kNoId, -100, makeDate(2025, 4, 1));
        add(TransactionType::Deposit, food->id(), 99999, makeDate(2025, 3, 12));
        add(TransactionType::Transfer, fuel->id(), 99999, makeDate(2024, 3, 12));
    }
};

void select(QComboBox* box, int value) {
    const int index = box->findData(value);
    QVERIFY2(index >= 0, qPrintable(QString::number(value)));
    box->setCurrentIndex(index);
}

QStringList entries(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList barTexts(const std::vector<Bar>& bars) {
    QStringList texts;
    for (const Bar& bar : bars)
        texts << QStringLiteral("%1=%2").arg(bar.label).arg(bar.value);
    return texts;
}

QStringList gridRow(const QTableWidget* grid, int row) {
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << grid->item(row, c)->text();
    return cells;
}

// Runs the window as showReports does, with the test in place of the user.
template <typename Body> void withReports(const Budget& budget, Prompter& prompter, Body body) {
    ReportWindow::beforeExec = [&](ReportWindow* window) { body(window); };
    showReports(budget, nullptr, prompter);
    ReportWindow::beforeExec = nullptr;
}

const QString kWarningTitle = QStringLiteral("Not enough data");
} // namespace

class TestReportWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void barSlots_data();
    void barSlots();
    void barTop_data();
    void barTop();
    void labelText_data();
    void labelText();
    void labelFont();
    void choices_data();
    void choices();
    void graphFollowsFilters_data();
    void graphFollowsFilters();
    void gridFollowsFilters_data();
    void gridFollowsFilters();
    void gridMatchesModelAverages();
    void gridEmptyUntilFirstChange();
    void styleSwitchesView();
    void closing_data();
    void closing();
    void warningOncePerOpening();
    void noWarningWithEnoughData();
    void emptyBudget();
    void layoutFollowsResize();
    void paintsBarsAndLabels();
    void shots();
};

void TestReportWindow::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestReportWindow::barSlots_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<int>("margin");
    QTest::newRow("3 bars, capped at 100") << 600 << 3 << 100 << 80 << 10;
    QTest::newRow("20 bars") << 600 << 20 << 30 << 24 << 3;
    QTest::newRow("odd remainder") << 599 << 6 << 99 << 79 << 10;
    QTest::newRow("one bar") << 50 << 1 << 50 << 40 << 5;
    QTest::newRow("more bars than pixels") << 50 << 100 << 0 << 0 << 0;
    QTest::newRow("no bars") << 600 << 0 << 0 << 0 << 0;
}

void TestReportWindow::barSlots() {
    QFETCH(int, width);
    QFETCH(int, count);
    const BarSlots placement = ::barSlots(width, count);
    QTEST(placement.slot, "slot");
    QTEST(placement.barWidth, "barWidth");
    QTEST(placement.margin, "margin");
}

void TestReportWindow::barTop_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("largest");
    QTest::addColumn<int>("top"); // area of height 400 with its bottom at 400
    QTest::newRow("largest fills the height") << 5000 << 5000 << 0;
    QTest::newRow("half") << 2500 << 5000 << 200;
    QTest::newRow("cut toward zero") << 1 << 3 << 267;
    QTest::newRow("tiny value stays on the floor") << 1 << 100000 << 400;
    QTest::newRow("zero") << 0 << 5000 << 400;
    QTest::newRow("refund has no height") << -700 << 5000 << 400;
    QTest::newRow("all refunds") << -700 << -100 << 400;
    QTest::newRow("huge values") << kAmountMax << kAmountMax << 0;
    QTest::newRow("near the largest") << kAmountMax - 1 << kAmountMax << 1;
}

void TestReportWindow::barTop() {
    QFETCH(int, value);
    QFETCH(int, largest);
    QTEST(::barTop(value, largest, 400, 400), "top");
}

void TestReportWindow::labelText_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("spending") << "Rent" << 120000 << "Rent     $1,200.00 ";
    QTest::newRow("refund") << "Gifts" << -700 << "Gifts     -$7.00 ";
    QTest::newRow("nothing spent") << "Spare" << 0 << "Spare     $0.00 ";
    QTest::newRow("unnamed") << "" << 5 << "     $0.05 ";
}

void TestReportWindow::labelText() {
    QFETCH(QString, name);
    QFETCH(int, value);
    QTEST(barLabelText(Bar{name, value}), "text");
}

void TestReportWindow::labelFont() {
    BarGraph graph;
    const QFont font = graph.labelFont();
    QCOMPARE(font.family(), QStringLiteral("Arial"));
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.bold() && !font.italic() && !font.underline());
    // The default height: the same size as the window's own text.
    QCOMPARE(font.pointSizeF(), graph.font().pointSizeF());
}

void TestReportWindow::choices_data() {
    QTest::addColumn<QList<int>>("years"); // transaction years; 0 = undated
    QTest::addColumn<QStringList>("expected");
    const QString all = QStringLiteral("All Years");
    QTest::newRow("no transactions: the current year") << QList<int>{} << QStringList{"2026", all};
    QTest::newRow("gaps are filled")
        << QList<int>{2024, 2022} << QStringList{"2022", "2023", "2024", "2025", "2026", all};
    QTest::newRow("future year") << QList<int>{2027} << QStringList{"2026", "2027", all};
    QTest::newRow("undated names no year")
        << QList<int>{0, 2025} << QStringList{"2025", "2026", all};
}

void TestReportWindow::choices() {
    QFETCH(QList<int>, years);
    QFETCH(QStringList, expected);
    FixedClock clock(makeDate(2026, 6, 15, 12));
    ReportBudget b;
    for (int year : years) {
        DateTime when = makeDate(year, 5, 5);
        // Any kind of transaction names its year.
        b.add(TransactionType::Deposit, kNoId, 100, when);
    }
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        QCOMPARE(w->windowTitle(), QStringLiteral("Reports"));
        QCOMPARE(entries(w->reportBox()),
                 (QStringList{"Expenses by date", "Spending over time", "Income and spending",
                              "Envelope history", "Net worth"}));
        QCOMPARE(entries(w->monthBox()), (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9",
                                                      "10", "11", "12", "All Months"}));
        QCOMPARE(entries(w->yearBox()), expected);
        QCOMPARE(entries(w->styleBox()), (QStringList{"Graph", "Grid"}));
        QCOMPARE(w->selectedMonth(), -1);
        QCOMPARE(w->selectedYear(), -1);
        QCOMPARE(w->selectedStyle(), 1);
        QCOMPARE(w->monthBox()->itemData(2).toInt(), 3);
        QCOMPARE(w->yearBox()->itemData(0).toInt(), expected.first().toInt());
    });
}

void TestReportWindow::graphFollowsFilters_data() {
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QStringList>("bars");
    // The expense without an envelope has no item, so no bar.
    QTest::newRow("all time") << -1 << -1 << QStringList{"Food=3000", "Fuel=5500", "Gifts=-700"};
    QTest::newRow("every March") << 3 << -1 << QStringList{"Food=3000", "Fuel=4000", "Gifts=-700"};
    QTest::newRow("2024") << -1 << 2024 << QStringList{"Food=1000", "Fuel=4000"};
    QTest::newRow("April 2025") << 4 << 2025 << QStringList{"Fuel=1500"};
    QTest::newRow("nothing") << 7 << 2024 << QStringList{};
}

void TestReportWindow::graphFollowsFilters() {
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QStringList, bars);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.fillHistory();
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        QTest::qWait(20);
        select(w->yearBox(), year);
        select(w->monthBox(), month);
        QCOMPARE(barTexts(w->graph()->bars()), bars);
    });
}

void TestReportWindow::gridFollowsFilters_data() {
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QStringList>("food");
    QTest::addColumn<QStringList>("gifts");
    // Food: 1 March 00:00 to now (30 April noon) is 61 days and two months.
    QTest::newRow("all time") << -1 << -1 << QStringList{"Food", "$250.00", "$1.47", "$45.00"}
                              << QStringList{"Gifts", "$0.00", "$0.00", "$0.00"};
    // Only April: one expense, one day, one month.
    QTest::newRow("April") << 4 << -1 << QStringList{"Food", "$250.00", "$60.00", "$60.00"}
                           << QStringList{"Gifts", "$0.00", "$0.00", "$0.00"};
    QTest::newRow("no such month") << 7 << 2025 << QStringList{"Food", "$250.00", "$0.00", "$0.00"}
                                   << QStringList{"Gifts", "$0.00", "$0.00", "$0.00"};
}

void TestReportWindow::gridFollowsFilters() {
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QStringList, food);
    QFETCH(QStringList, gifts);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.food->setCreatedDate(makeDate(2025, 3, 1));
    b.add(TransactionType::Expense, b.food->id(), -3000, makeDate(2025, 3, 5));
    b.add(TransactionType::Expense, b.food->id(), -6000, makeDate(2025, 4, 20));
    b.add(TransactionType::Deposit, b.food->id(), 50000, makeDate(2025, 4, 21));
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        select(w->styleBox(), 2);
        select(w->yearBox(), year);
        select(w->monthBox(), month);
        QTableWidget* grid = w->grid();
        QCOMPARE(grid->columnCount(), 4);
        QStringList headers;
        for (int c = 0; c < 4; ++c)
            headers << grid->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, (QStringList{"Envelope", "Budgeted", "Avg per day", "Avg per 30 days"}));
        // Every envelope in id order, the hidden one too.
        QCOMPARE(grid->rowCount(), 4);
        QCOMPARE(gridRow(grid, 0), food);
        QCOMPARE(gridRow(grid, 1).first(), QStringLiteral("Fuel"));
        QCOMPARE(gridRow(grid, 2), gifts);
        QCOMPARE(gridRow(grid, 3), (QStringList{"Spare", "$1.00", "$0.00", "$0.00"}));
        QCOMPARE(grid->item(0, 0)->data(Qt::UserRole).toUInt(), b.food->id());
        QCOMPARE(grid->item(3, 0)->data(Qt::UserRole).toUInt(), b.spare->id());
    });
}

void TestReportWindow::gridMatchesModelAverages() {
    // The grid's one-pass figures agree with the per-envelope computation for every filter.
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.fillHistory();
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        select(w->styleBox(), 2);
        for (int year : {-1, 2024, 2025}) {
            for (int month : {-1, 3, 4, 5}) {
                select(w->yearBox(), year);
                select(w->monthBox(), month);
                const auto envelopes = b.budget.itemsOfType(ItemType::Envelope);
                for (int r = 0; r < int(envelopes.size()); ++r) {
                    const auto* e = static_cast<const AccountEnvelope*>(envelopes[r]);
                    const SpendingAverages a =
                        envelopeSpendingAverages(b.budget, *e, false, month, year);
                    QCOMPARE(w->grid()->item(r, 2)->text(), formatAmount(-a.perDay, true));
                    QCOMPARE(w->grid()->item(r, 3)->text(), formatAmount(-a.perMonth, true));
                }
            }
        }
    });
}

void TestReportWindow::gridEmptyUntilFirstChange() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        QCOMPARE(w->grid()->rowCount(), 0);
        select(w->monthBox(), 5);
        QCOMPARE(w->grid()->rowCount(), 4);
    });
}

void TestReportWindow::styleSwitchesView() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        QVERIFY(w->graph()->isVisible());
        QVERIFY(!w->grid()->isVisible());
        select(w->styleBox(), 2);
        QVERIFY(!w->graph()->isVisible());
        QVERIFY(w->grid()->isVisible());
        select(w->styleBox(), 1);
        QVERIFY(w->graph()->isVisible());
        QVERIFY(!w->grid()->isVisible());
    });
}

void TestReportWindow::closing_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Close button") << false;
    QTest::newRow("Escape") << true;
}

void TestReportWindow::closing() {
    QFETCH(bool, escape);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (escape) {
            QTest::keyClick(w, Qt::Key_Escape);
        } else {
            QPushButton* close = nullptr;
            for (QPushButton* button : w->findChildren<QPushButton*>()) {
                if (button->text() == u"Close")
                    close = button;
            }
            QVERIFY(close);
            QVERIFY(close->isDefault());
            close->click();
        }
        QVERIFY(!w->isVisible());
    });
}

void TestReportWindow::warningOncePerOpening() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.add(TransactionType::Expense, b.food->id(), -1000, makeDate(2025, 2, 28, 12)); // 61 days
    b.add(TransactionType::Expense, b.food->id(), -1000, makeDate(2025, 3, 1, 12));
    FakePrompter prompter;
    const QString text =
        QStringLiteral("There are currently %1 day(s) of data. Reports are only meaningful after "
                       "two months of data.");
    for (int opening = 1; opening <= 2; ++opening) {
        withReports(b.budget, prompter, [&](ReportWindow* w) {
            // All time has 61 days of data: nothing to say.
            w->show();
            QTest::qWait(20);
            w->graph()->repaint();
            QCOMPARE(prompter.records.size(), opening - 1);
            // A single month always has too little; the first such figures warn.
            select(w->monthBox(), 3);
            QCOMPARE(prompter.records.size(), opening);
            QCOMPARE(prompter.records.last().title, kWarningTitle);
            QCOMPARE(prompter.records.last().text, text.arg(60));
            QCOMPARE(prompter.records.last().kind, PromptRecord::Message);
            // Repainting, other filters and the grid say nothing more in this opening.
            w->graph()->repaint();
            select(w->monthBox(), 2);
            select(w->yearBox(), 2025);
            select(w->styleBox(), 2);
            select(w->styleBox(), 1);
            QCOMPARE(prompter.records.size(), opening);
            w->close();
        });
    }
}

void TestReportWindow::noWarningWithEnoughData() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.fillHistory();
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        QTest::qWait(20);
        QVERIFY(!w->graph()->bars().empty());
        select(w->yearBox(), 2024);
        QVERIFY(prompter.records.isEmpty());
    });
}

void TestReportWindow::emptyBudget() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    Budget budget;
    FakePrompter prompter;
    withReports(budget, prompter, [&](ReportWindow* w) {
        w->show();
        // The first figures come once the window is up, and warn about 0 days.
        QTRY_COMPARE(prompter.records.size(), 1);
        QVERIFY(prompter.records.first().text.startsWith("There are currently 0 day(s) of data."));
        QVERIFY(w->graph()->bars().empty());
        select(w->styleBox(), 2);
        QCOMPARE(w->grid()->rowCount(), 0);
        QCOMPARE(w->grid()->columnCount(), 4);
        QCOMPARE(prompter.records.size(), 1);
    });
}

void TestReportWindow::layoutFollowsResize() {
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        for (const QSize size : {QSize(1000, 700), QSize(1400, 900), w->minimumSize()}) {
            w->resize(size);
            const QRect view = w->viewRect();
            QVERIFY(view.left() > 0);
            QCOMPARE(view.width(), w->width() - 2 * view.left());
            QCOMPARE(view.height(), w->height() - view.top() - view.left());
            QCOMPARE(w->graph()->geometry(), view);
            QCOMPARE(w->grid()->geometry(), view);
            // The controls sit whole above the view.
            for (QComboBox* box : {w->reportBox(), w->monthBox(), w->yearBox(), w->styleBox()}) {
                const QRect r(box->mapTo(w, QPoint(0, 0)), box->size());
                QVERIFY(r.top() >= 0);
                QVERIFY2(r.bottom() < view.top(), qPrintable(box->currentText()));
                QVERIFY(r.right() < w->width());
                QVERIFY(box->width() >= box->sizeHint().width() - 1);
            }
        }
    });
}

void TestReportWindow::paintsBarsAndLabels() {
    BarGraph graph;
    graph.resize(600, 400);
    graph.setBars(
        {{QStringLiteral("A"), 5000}, {QStringLiteral("B"), 2500}, {QStringLiteral("C"), -700}});
    QImage image(graph.size(), QImage::Format_RGB32);
    image.fill(Qt::red);
    graph.render(&image);
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb black = qRgb(0, 0, 0);
    // Frame.
    QCOMPARE(image.pixel(0, 0), black);
    QCOMPARE(image.pixel(599, 399), black);
    QCOMPARE(image.pixel(300, 0), black);
    // Bar A (x 10-90) reaches the top; bar B (x 110-190) half of it; C has no height.
    QCOMPARE(image.pixel(15, 3), blue);
    QCOMPARE(image.pixel(115, 150), white);
    QCOMPARE(image.pixel(115, 250), blue);
    QCOMPARE(image.pixel(215, 395), white);
    QCOMPARE(image.pixel(10, 200), black); // outline
    QCOMPARE(image.pixel(9, 200), white);
    // Nothing beyond the third slot.
    for (int x = 300; x < 598; x += 7)
        QCOMPARE(image.pixel(x, 390), white);
    // Every label box (C's too) holds dark glyph pixels away from its outline.
    const QFontMetrics metrics(graph.labelFont(), &graph);
    for (int i = 0; i < 3; ++i) {
        const int middle = 50 + 100 * i;
        const int x0 = middle - metrics.height() / 2;
        int dark = 0;
        for (int x = x0 + 2; x < x0 + metrics.height() - 2; ++x) {
            for (int y = 400 - 10 - 40; y < 400 - 12; ++y)
                dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        }
        QVERIFY2(dark > 5, qPrintable(QString::number(i)));
        // The box stands out on the shadowed side.
        QCOMPARE(image.pixel(x0 + metrics.height() + 1, 400 - 10 - 2), qRgb(100, 100, 100));
    }
}

void TestReportWindow::shots() {
    const QString folder = qEnvironmentVariable("TALLYKEEP_SHOTS");
    if (folder.isEmpty())
        QSKIP("set TALLYKEEP_SHOTS to a folder to get pictures of the window");
    QDir().mkpath(folder);
    FixedClock clock(makeDate(2025, 4, 30, 12));
    ReportBudget b;
    b.fillHistory();
    const char* names[] = {"Groceries and household", "Rent", "Electricity", "Holidays"};
    Amount sums[] = {-45678, -120000, -8950, -30000};
    for (int i = 0; i < 4; ++i) {
        AccountEnvelope* e =
            b.envelope(QString::fromLatin1(names[i]), sums[i] / 2, makeDate(2024, 1, 1));
        b.add(TransactionType::Expense, e->id(), sums[i], makeDate(2025, 1, 3));
    }
    FakePrompter prompter;
    withReports(b.budget, prompter, [&](ReportWindow* w) {
        w->show();
        QTest::qWait(50);
        w->grab().save(folder + "/reports-graph.png");
        select(w->styleBox(), 2);
        QTest::qWait(20);
        w->grab().save(folder + "/reports-grid.png");
    });

    // Many narrow bars in a small window, one of them a refund.
    ReportBudget many;
    for (int i = 0; i < 25; ++i) {
        AccountEnvelope* e =
            many.envelope(QStringLiteral("Envelope %1").arg(i), -1000, makeDate(2024, 1, 1));
        many.add(TransactionType::Expense, e->id(), i == 7 ? 1500 : -(i + 1) * 1000,
                 makeDate(2025, 3, 3));
    }
    withReports(many.budget, prompter, [&](ReportWindow* w) {
        w->resize(700, 450);
        w->show();
        QTest::qWait(50);
        w->grab().save(folder + "/reports-many.png");
    });
}

QTEST_MAIN(TestReportWindow)
#include "test_reportwindow.moc"
