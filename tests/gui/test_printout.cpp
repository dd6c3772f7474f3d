#include "../common/fakeprompter.h"
#include "gui/printout.h"
#include "model/clock.h"
#include "testdates.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QLocale>
#include <QMap>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

namespace {
enum Scenario {
    LimitsAndStripes,
    HiddenEnvelope,
    CardFolderAlone,
    CardFolderShared,
    HiddenFolder,
    NoFolders,
    NestedFolder,
    LongNames,
    ExtremeLimits,
};

AccountGroup* folder(Budget& budget, const QString& name, Amount limit) {
    AccountGroup* f = budget.createFolder();
    f->setName(name);
    f->setExpenseLimit(limit);
    return f;
}

AccountEnvelope* envelope(Budget& budget, AccountGroup* in, const QString& name, Amount budgeted) {
    AccountEnvelope* e = budget.createEnvelope();
    e->setName(name);
    e->setBudgeted(budgeted);
    in->addChild(e);
    return e;
}

void build(Budget& budget, Scenario scenario) {
    switch (scenario) {
    case LimitsAndStripes: {
        AccountGroup* house = folder(budget, QStringLiteral("Household"), -50000);
        envelope(budget, house, QStringLiteral("Rent"), -20000)->setStoredBalance(12000);
        envelope(budget, house, QStringLiteral("Food"), -15000)->setStoredBalance(3050);
        AccountGroup* car = folder(budget, QStringLiteral("Car"), 0);
        envelope(budget, car, QStringLiteral("Fuel"), -6000);
        break;
    }
    case HiddenEnvelope: {
        AccountGroup* f = folder(budget, QStringLiteral("Fun"), -1000);
        envelope(budget, f, QStringLiteral("Books"), -100);
        envelope(budget, f, QStringLiteral("Games"), -200)->setHidden(true);
        envelope(budget, f, QStringLiteral("Music"), -300);
        envelope(budget, f, QStringLiteral("Films"), -400);
        break;
    }
    case CardFolderAlone:
    case CardFolderShared: {
        Account* card = budget.createAccount();
        card->setName(QStringLiteral("Visa"));
        card->setCCAccount(true);
        ensureCardChargesEnvelope(budget, card);
        if (scenario == CardFolderShared) {
            AccountGroup* cards = budget.findEnvelope(kChargesEnvelopeId)->getParent();
            envelope(budget, cards, QStringLiteral("Annual fee"), -4500);
        }
        AccountGroup* f = folder(budget, QStringLiteral("Bills"), -100);
        envelope(budget, f, QStringLiteral("Phone"), -100);
        break;
    }
    case HiddenFolder: {
        AccountGroup* old = folder(budget, QStringLiteral("Old"), -100);
        envelope(budget, old, QStringLiteral("Gone"), -100);
        old->setHidden(true);
        AccountGroup* f = folder(budget, QStringLiteral("Bills"), -100);
        envelope(budget, f, QStringLiteral("Phone"), -100);
        break;
    }
    case NoFolders:
        budget.createAccount()->setName(QStringLiteral("Checking"));
        break;
    case NestedFolder: {
        AccountGroup* outer = folder(budget, QStringLiteral("Home"), -90000);
        AccountGroup* inner = folder(budget, QStringLiteral("Garden"), -5000);
        outer->addChild(inner);
        envelope(budget, outer, QStringLiteral("Repairs"), -10000);
        envelope(budget, inner, QStringLiteral("Plants"), -2500);
        break;
    }
    case LongNames: {
        AccountGroup* f = folder(budget, QStringLiteral("A folder name of thirty chars!"), -100);
        envelope(budget, f, QStringLiteral("Exactly twenty-six letters"), -100);
        // The 25th character starts a surrogate pair: the pair goes whole or not at all.
        envelope(budget, f, QStringLiteral("Twenty-four characters..\U0001F4B3 more"), -100);
        break;
    }
    case ExtremeLimits: {
        AccountGroup* f = folder(budget, QStringLiteral("Odd"), kAmountMin);
        envelope(budget, f, QStringLiteral("Positive"), 2500);
        AccountGroup* g = folder(budget, QStringLiteral("Refunds"), 7000);
        envelope(budget, g, QStringLiteral("Back"), kAmountMin);
        break;
    }
    }
}

// A table row reads "cell|cell|cell" (each cell trimmed), other lines as they are; the
// prefix gives bold, underline, grey background and the point size.
QStringList describe(const QTextDocument& document) {
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (text.isEmpty()) {
            if (block.next().isValid())
                lines << QString();
            continue;
        }
        const QTextCharFormat format = block.begin().fragment().charFormat();
        QString flags;
        flags += format.fontWeight() >= QFont::Bold ? QLatin1Char('B') : QLatin1Char('-');
        flags += format.fontUnderline() ? QLatin1Char('U') : QLatin1Char('-');
        flags += format.background().color() == QColor(240, 240, 240) ? QLatin1Char('G')
                                                                      : QLatin1Char('-');
        flags += QStringLiteral(" %1 ").arg(format.fontPointSize());
        if (text.size() == kPrintRowWidth) {
            QStringList cells{text.left(kPrintCellWidth).trimmed()};
            for (int c = 0; c < 3; ++c)
                cells << text.mid(kPrintCellWidth + c * kPrintAmountWidth, kPrintAmountWidth)
                             .trimmed();
            lines << flags + cells.join(QLatin1Char('|'));
        } else {
            lines << flags + text;
        }
    }
    return lines;
}

int pdfPageCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = file.readAll();
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(data).count(page));
}

QString pdfText(const QString& path, int firstPage = 0, int lastPage = 0) {
    QStringList args{QStringLiteral("-layout")};
    if (firstPage > 0)
        args << "-f" << QString::number(firstPage) << "-l" << QString::number(lastPage);
    args << path << QStringLiteral("-");
    QProcess run;
    run.start(QStringLiteral("pdftotext"), args);
    run.waitForFinished(30000);
    return QString::fromUtf8(run.readAllStandardOutput());
}

void pdfPrinter(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::Letter));
}

void bigBudget(Budget& budget, int folders, int envelopesEach) {
    for (int f = 0; f < folders; ++f) {
        AccountGroup* g = folder(budget, QStringLiteral("Folder %1").arg(f), -100000);
        for (int e = 0; e < envelopesEach; ++e)
            envelope(budget, g, QStringLiteral("Envelope %1-%2").arg(f).arg(e), -(e + 1) * 100);
    }
}

QPushButton* buttonNamed(QDialog* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

bool havePdfToText() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}
} // namespace

Q_DECLARE_METATYPE(Scenario)

class TestPrintout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void printRow_data();
    void printRow();
    void budgetText_data();
    void budgetText();
    void oneFontFace();
    void pdfPages_data();
    void pdfPages();
    void pdfTextInOrder();
    void pdfKeepsMargins_data();
    void pdfKeepsMargins();
    void failedPageStopsPrinting();
    void pageTooSmall_data();
    void pageTooSmall();
    void dialogShowsText();
    void dialogPrinting_data();
    void dialogPrinting();
    void shots();

private:
    QTemporaryDir dir_;
};

void TestPrintout::initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(dir_.isValid());
}

void TestPrintout::printRow_data() {
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("expected");
    const QString blank17(17, QLatin1Char(' '));
    const QString amounts = blank17 + blank17 + blank17;
    QTest::newRow("no cells") << QStringList{} << QString(77, QLatin1Char(' ')) + "\n";
    QTest::newRow("one short cell")
        << QStringList{"Food"} << "Food" + QString(22, ' ') + amounts + "\n";
    QTest::newRow("exactly 26") << QStringList{QString(26, 'a'), "b", "c"}
                                << QString(26, 'a') + "b" + QString(16, ' ') + "c" +
                                       QString(16, ' ') + blank17 + "\n";
    QTest::newRow("27 cut to 25 and a blank")
        << QStringList{QString(27, 'x')} << QString(25, 'x') + " " + amounts + "\n";
    QTest::newRow("amount of 30 cut to 16")
        << QStringList{"", QString(30, 'y'), ""}
        << QString(26, ' ') + QString(16, 'y') + " " + blank17 + blank17 + "\n";
    QTest::newRow("extra cells ignored") << QStringList{"a", "b", "c", "d", "e"}
                                         << "a" + QString(25, ' ') + "b" + QString(16, ' ') + "c" +
                                                QString(16, ' ') + "d" + QString(16, ' ') + "\n";
    const QString card = QStringLiteral("\U0001F4B3");
    QTest::newRow("pair at the cut stays whole") << QStringList{QString(24, 'z') + card + "tail"}
                                                 << QString(24, 'z') + "  " + amounts + "\n";
    QTest::newRow("pair before the cut kept") << QStringList{QString(23, 'z') + card + "tail"}
                                              << QString(23, 'z') + card + " " + amounts + "\n";
}

void TestPrintout::printRow() {
    QFETCH(QStringList, cells);
    QFETCH(QString, expected);
    const QString row = ::printRow(cells);
    QCOMPARE(row, expected);
    QCOMPARE(row.size(), kPrintRowWidth + 1);
}

void TestPrintout::budgetText_data() {
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QStringList>("lines");
    const QStringList head{"B-- 14 Tallykeep Budget", "--- 10 Printed 3/20/26", "",
                           "BU- 10 Folder/Envelope|Budgeted In|Budgeted Out|Balance"};
    QTest::newRow("limits and stripes")
        << LimitsAndStripes
        << head + QStringList{"B-- 10 Household|$500.00|$350.00|$150.50",
                              "--G 10 Rent||$200.00|$120.00",
                              "--- 10 Food||$150.00|$30.50",
                              "",
                              "B-- 10 Car|$0.00|$60.00|$0.00",
                              "--G 10 Fuel||$60.00|$0.00",
                              "",
                              "B-- 10 Totals|$500.00|$410.00|$150.50"};
    QTest::newRow("hidden envelope keeps its place")
        << HiddenEnvelope
        << head + QStringList{"B-- 10 Fun|$10.00|$10.00|$0.00",
                              "--G 10 Books||$1.00|$0.00",
                              "--G 10 Music||$3.00|$0.00",
                              "--- 10 Films||$4.00|$0.00",
                              "",
                              "B-- 10 Totals|$10.00|$10.00|$0.00"};
    QTest::newRow("folder of card charges alone")
        << CardFolderAlone
        << head + QStringList{"B-- 10 Bills|$1.00|$1.00|$0.00", "--G 10 Phone||$1.00|$0.00", "",
                              "B-- 10 Totals|$1.00|$1.00|$0.00"};
    QTest::newRow("folder of card charges and more")
        << CardFolderShared
        << head + QStringList{"B-- 10 Credit cards|$0.00|$45.00|$0.00",
                              "--G 10 Credit card charges||$0.00|$0.00",
                              "--- 10 Annual fee||$45.00|$0.00",
                              "",
                              "B-- 10 Bills|$1.00|$1.00|$0.00",
                              "--G 10 Phone||$1.00|$0.00",
                              "",
                              "B-- 10 Totals|$1.00|$46.00|$0.00"};
    QTest::newRow("hidden folder")
        << HiddenFolder
        << head + QStringList{"B-- 10 Bills|$1.00|$1.00|$0.00", "--G 10 Phone||$1.00|$0.00", "",
                              "B-- 10 Totals|$1.00|$1.00|$0.00"};
    QTest::newRow("no folders") << NoFolders
                                << head + QStringList{"B-- 10 Totals|$0.00|$0.00|$0.00"};
    // The inner folder is listed on its own; inside its parent it only takes a place, and its
    // parent's amounts already count it.
    QTest::newRow("nested folder")
        << NestedFolder
        << head + QStringList{
                      "B-- 10 Home|$900.00|$125.00|$0.00",  "--- 10 Repairs||$100.00|$0.00", "",
                      "B-- 10 Garden|$50.00|$25.00|$0.00",  "--G 10 Plants||$25.00|$0.00",   "",
                      "B-- 10 Totals|$900.00|$125.00|$0.00"};
    QTest::newRow("long names") << LongNames
                                << head + QStringList{
                                              "B-- 10 A folder name of thirty c|$1.00|$2.00|$0.00",
                                              "--G 10 Exactly twenty-six letters||$1.00|$0.00",
                                              "--- 10 Twenty-four characters..||$1.00|$0.00", "",
                                              "B-- 10 Totals|$1.00|$2.00|$0.00"};
    // Totals beyond what an amount holds stop at the largest one.
    QTest::newRow("magnitudes") << ExtremeLimits
                                << head + QStringList{
                                              "B-- 10 Odd|$21,474,836.47|$25.00|$0.00",
                                              "--G 10 Positive||$25.00|$0.00",
                                              "",
                                              "B-- 10 Refunds|$70.00|$21,474,836.47|$0.00",
                                              "--G 10 Back||$21,474,836.47|$0.00",
                                              "",
                                              "B-- 10 Totals|$21,474,836.47|$21,474,836.47|$0.00"};
}

void TestPrintout::budgetText() {
    QFETCH(Scenario, scenario);
    QFETCH(QStringList, lines);
    FixedClock clock(makeDate(2026, 3, 20, 9));
    Budget budget;
    build(budget, scenario);
    QTextDocument document;
    budgetPrintText(&document, budget);
    QCOMPARE(describe(document), lines);
    // Every table line is a whole row wide.
    const QStringList plain = document.toPlainText().split(QLatin1Char('\n'));
    for (int i = 3; i < plain.size(); ++i)
        QVERIFY(plain[i].isEmpty() || plain[i].size() == kPrintRowWidth);
}

void TestPrintout::oneFontFace() {
    Budget budget;
    build(budget, LimitsAndStripes);
    QTextDocument document;
    budgetPrintText(&document, budget);
    QSet<QString> families;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            families.insert(format.fontFamilies().toStringList().join(','));
            QCOMPARE(format.foreground().color(), QColor(Qt::black));
        }
    }
    QCOMPARE(families.size(), 1);
    QVERIFY(QFontInfo(QFont(*families.begin())).fixedPitch());
}

void TestPrintout::pdfPages_data() {
    QTest::addColumn<int>("folders");
    QTest::addColumn<int>("envelopesEach");
    QTest::addColumn<int>("minPages");
    QTest::addColumn<int>("maxPages");
    QTest::newRow("empty budget") << 0 << 0 << 1 << 1;
    QTest::newRow("small budget") << 3 << 4 << 1 << 1;
    // 10 x 22 + 3 lines of 12 point text cannot fit fewer than four Letter pages.
    QTest::newRow("many envelopes") << 10 << 20 << 4 << 8;
}

void TestPrintout::pdfPages() {
    QFETCH(int, folders);
    QFETCH(int, envelopesEach);
    Budget budget;
    bigBudget(budget, folders, envelopesEach);
    const QString path = dir_.filePath(QStringLiteral("pages-%1.pdf").arg(folders));
    QPrinter printer(QPrinter::HighResolution);
    pdfPrinter(printer, path);
    renderBudgetPrintout(budget, printer);
    const int pages = pdfPageCount(path);
    QFETCH(int, minPages);
    QFETCH(int, maxPages);
    QVERIFY2(pages >= minPages && pages <= maxPages, qPrintable(QString::number(pages)));

    // The same pages through a print resolution of the screen.
    QPrinter coarse(QPrinter::ScreenResolution);
    const QString coarsePath = dir_.filePath(QStringLiteral("coarse-%1.pdf").arg(folders));
    pdfPrinter(coarse, coarsePath);
    renderBudgetPrintout(budget, coarse);
    QCOMPARE(pdfPageCount(coarsePath), pages);
}

namespace {
// A printer whose every new page fails, as a jammed or vanished printer's would.
class RefusingPrinter : public QPrinter {
public:
    using QPrinter::QPrinter;
    bool newPage() override {
        ++pagesAsked;
        return false;
    }
    int pagesAsked = 0;
};
} // namespace

void TestPrintout::failedPageStopsPrinting() {
    Budget budget;
    bigBudget(budget, 10, 20);
    QTextDocument document;
    budgetPrintText(&document, budget);
    RefusingPrinter printer(QPrinter::HighResolution);
    pdfPrinter(printer, dir_.filePath(QStringLiteral("refused.pdf")));
    QVERIFY(!printDocument(document, printer));
    QCOMPARE(printer.pagesAsked, 1);
    QVERIFY(printer.printerState() != QPrinter::Active);
}

void TestPrintout::pageTooSmall_data() {
    QTest::addColumn<QSizeF>("paper"); // points
    QTest::addColumn<qreal>("margin"); // points, on every side
    QTest::addColumn<bool>("printed");
    QTest::newRow("letter") << QSizeF(612, 792) << 18.0 << true;
    // 15 mm (42.5 points) stay free above and below whatever the printer's own margins.
    QTest::newRow("a line fits") << QSizeF(612, 110) << 10.0 << true;
    QTest::newRow("lower than a line") << QSizeF(612, 95) << 10.0 << false;
    QTest::newRow("margins leave a sliver") << QSizeF(612, 792) << 390.0 << false;
}

// A page that cannot hold a single line prints nothing instead of endless empty pages.
void TestPrintout::pageTooSmall() {
    QFETCH(QSizeF, paper);
    QFETCH(qreal, margin);
    QFETCH(bool, printed);
    Budget budget;
    build(budget, LimitsAndStripes);
    QTextDocument document;
    budgetPrintText(&document, budget);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir_.filePath(QStringLiteral("small.pdf")));
    printer.setFullPage(false);
    printer.setPageLayout(QPageLayout(QPageSize(paper, QPageSize::Point), QPageLayout::Portrait,
                                      QMarginsF(margin, margin, margin, margin), QPageLayout::Point,
                                      QMarginsF()));
    QCOMPARE(printDocument(document, printer), printed);
}

void TestPrintout::pdfTextInOrder() {
    if (!havePdfToText())
        QSKIP("pdftotext (poppler-utils) is not installed");
    Budget budget;
    bigBudget(budget, 10, 20);
    const QString path = dir_.filePath(QStringLiteral("order.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    pdfPrinter(printer, path);
    renderBudgetPrintout(budget, printer);

    const QString text = pdfText(path);
    QVERIFY(text.trimmed().startsWith(QStringLiteral("Tallykeep Budget")));
    QVERIFY(text.contains(
        QRegularExpression("Folder/Envelope\\s+Budgeted In\\s+Budgeted Out\\s+Balance")));
    // Every row once, whole (name and amount on one line), in the budget's order.
    qsizetype at = 0;
    for (int f = 0; f < 10; ++f) {
        const QRegularExpression folderRow(
            QStringLiteral("Folder %1\\s+\\$1,000\\.00\\s+\\$210\\.00\\s+\\$0\\.00[ \\t]*\n")
                .arg(f));
        const QRegularExpressionMatch m = folderRow.match(text, at);
        QVERIFY2(m.hasMatch(), qPrintable(QString::number(f)));
        at = m.capturedEnd();
        for (int e = 0; e < 20; ++e) {
            const QString amount = QLocale().toCurrencyString((e + 1) * 1.0);
            const QRegularExpression row(
                QStringLiteral("Envelope %1-%2\\s+%3\\s+\\$0\\.00[ \\t]*\n")
                    .arg(f)
                    .arg(e)
                    .arg(QRegularExpression::escape(amount)));
            const QRegularExpressionMatch r = row.match(text, at);
            QVERIFY2(r.hasMatch(), qPrintable(QStringLiteral("%1-%2").arg(f).arg(e)));
            at = r.capturedEnd();
        }
    }
    // Pages hold whole lines: the last page starts with a row, not the rest of one.
    const int pages = pdfPageCount(path);
    const QString last = pdfText(path, pages, pages).trimmed();
    QVERIFY(last.startsWith(QStringLiteral("Envelope")) ||
            last.startsWith(QStringLiteral("Folder")));
    QVERIFY(last.contains(QStringLiteral("Envelope 9-19")));
}

void TestPrintout::pdfKeepsMargins_data() {
    QTest::addColumn<int>("paper");
    QTest::newRow("Letter") << int(QPageSize::Letter);
    QTest::newRow("A4") << int(QPageSize::A4);
}

// On a PDF, whose page has no unprintable edge, every word stays 15 mm (42.5 points) inside
// the paper, and each row, the widest with its balance, stays whole on one line.
void TestPrintout::pdfKeepsMargins() {
    if (!havePdfToText())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QFETCH(int, paper);
    FixedClock clock(makeDate(2026, 3, 20, 9));
    Budget budget;
    build(budget, ExtremeLimits);
    const QString path = dir_.filePath(QStringLiteral("margins-%1.pdf").arg(paper));
    QPrinter printer(QPrinter::HighResolution);
    pdfPrinter(printer, path);
    printer.setPageSize(QPageSize(QPageSize::PageSizeId(paper)));
    renderBudgetPrintout(budget, printer);
    QProcess run;
    run.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QVERIFY(run.waitForFinished(30000));
    const QString html = QString::fromUtf8(run.readAllStandardOutput());
    const QRegularExpression pageSize(
        QStringLiteral("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\""));
    const QRegularExpressionMatch page = pageSize.match(html);
    QVERIFY(page.hasMatch());
    const double width = page.captured(1).toDouble();
    const double height = page.captured(2).toDouble();
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QMap<QString, double> lineOf;
    int words = 0;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        ++words;
        QVERIFY2(m.captured(1).toDouble() >= 42.0, qPrintable(m.captured(5)));
        QVERIFY2(m.captured(2).toDouble() >= 42.0, qPrintable(m.captured(5)));
        QVERIFY2(m.captured(3).toDouble() <= width - 42.0, qPrintable(m.captured(5)));
        QVERIFY2(m.captured(4).toDouble() <= height - 42.0, qPrintable(m.captured(5)));
        lineOf.insert(m.captured(5), m.captured(2).toDouble());
    }
    QVERIFY(words > 20);
    QVERIFY(lineOf.contains(QStringLiteral("3/20/26")));
    QCOMPARE(lineOf.value(QStringLiteral("Balance")),
             lineOf.value(QStringLiteral("Folder/Envelope")));
    QCOMPARE(lineOf.value(QStringLiteral("Totals")), lineOf.value(QStringLiteral("$0.00")));
}

void TestPrintout::dialogShowsText() {
    Budget budget;
    build(budget, LimitsAndStripes);
    QTextDocument expected;
    budgetPrintText(&expected, budget);
    bool ran = false;
    PrintWindow::beforeExec = [&](PrintWindow* w) {
        ran = true;
        QCOMPARE(w->windowTitle(), QStringLiteral("Print"));
        QVERIFY(w->view()->isReadOnly());
        QCOMPARE(w->view()->toPlainText(), expected.toPlainText());
        QPushButton* print = buttonNamed(w, QStringLiteral("Print"));
        QVERIFY(print && print->isDefault());
        QVERIFY(buttonNamed(w, QStringLiteral("Cancel")));
        // A whole row shows without scrolling sideways.
        w->show();
        QVERIFY(!w->view()->horizontalScrollBar()->isVisible());
    };
    FakePrompter prompter;
    QVERIFY(!printBudget(budget, nullptr, prompter));
    PrintWindow::beforeExec = nullptr;
    QVERIFY(ran);
    QVERIFY(prompter.records.isEmpty());
}

void TestPrintout::dialogPrinting_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("printerChosen");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("printed");
    QTest::newRow("print") << "Print" << true << true << true;
    QTest::newRow("printer choice cancelled") << "Print" << false << true << false;
    QTest::newRow("printer cannot start") << "Print" << true << false << false;
    QTest::newRow("cancel") << "Cancel" << true << true << false;
}

void TestPrintout::dialogPrinting() {
    QFETCH(QString, button);
    QFETCH(bool, printerChosen);
    QFETCH(bool, writable);
    QFETCH(bool, printed);
    Budget budget;
    build(budget, LimitsAndStripes);
    const QString path = writable ? dir_.filePath(QStringLiteral("dialog-%1.pdf").arg(button))
                                  : QStringLiteral("/nonexistent-folder/tallykeep/out.pdf");
    QFile::remove(path);
    int asked = 0;
    bool closed = false;
    PrintWindow::choosePrinter = [&](QPrinter& printer) {
        ++asked;
        pdfPrinter(printer, path);
        return printerChosen;
    };
    PrintWindow::beforeExec = [&](PrintWindow* w) {
        w->show();
        QPushButton* pressed = buttonNamed(w, button);
        QVERIFY(pressed);
        pressed->click();
        closed = !w->isVisible();
    };
    FakePrompter prompter;
    QCOMPARE(printBudget(budget, nullptr, prompter), printed);
    PrintWindow::beforeExec = nullptr;
    PrintWindow::choosePrinter = nullptr;
    QVERIFY(closed);
    QCOMPARE(asked, button == QLatin1String("Print") ? 1 : 0);
    QCOMPARE(QFile::exists(path), printed);
    if (printed)
        QCOMPARE(pdfPageCount(path), 1);
    QVERIFY(prompter.records.isEmpty());
}

void TestPrintout::shots() {
    const QString folder = qEnvironmentVariable("TALLYKEEP_SHOTS");
    if (folder.isEmpty())
        QSKIP("set TALLYKEEP_SHOTS to a folder to get pictures of the printout");
    QDir().mkpath(folder);
    Budget budget;
    build(budget, LimitsAndStripes);
    build(budget, HiddenEnvelope);
    build(budget, LongNames);
    build(budget, ExtremeLimits);
    bigBudget(budget, 4, 12);
    const QString path = folder + QStringLiteral("/printout.pdf");
    QPrinter printer(QPrinter::HighResolution);
    pdfPrinter(printer, path);
    renderBudgetPrintout(budget, printer);
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {"-png", "-r", "60", path, folder + QStringLiteral("/printout")});
    PrintWindow window(budget);
    window.show();
    QTest::qWait(20);
    window.grab().save(folder + QStringLiteral("/print-dialog.png"));
}

QTEST_MAIN(TestPrintout)
#include "test_printout.moc"
