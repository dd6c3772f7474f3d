// Pane layout at two window sizes, menus and accelerators, the information pane.

#include "test_window_fixture.h"

#include "app/aboutbox.h"
#include "app/accountlist.h"
#include "app/envelopetree.h"
#include "app/infopane.h"
#include "app/transactionlist.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

class TestWindowLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }

    void paneRectangles_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("showList");
        QTest::newRow("1366x768") << QSize(1366, 768) << true;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << true;
        QTest::newRow("1366x768 without list") << QSize(1366, 768) << false;
        QTest::newRow("1920x1080 without list") << QSize(1920, 1080) << false;
    }
    void paneRectangles() {
        QFETCH(QSize, size);
        QFETCH(bool, showList);
        WindowFixture f(size);
        MainWindow& w = f.window;
        if (!showList) {
            w.filterBar()->showList()->click();
            QVERIFY(!w.filterBar()->showList()->isChecked());
        }
        const int W = w.clientArea()->width();
        const int H = w.clientArea()->height();
        QVERIFY(W >= size.width() - 2);
        const int L = int(W * 0.35);
        const int fh = w.filterBar()->height();
        QVERIFY(fh > 10);

        QCOMPARE(w.accountList()->geometry(), QRect(0, 0, L, int(H * 0.25)));
        const int infoTop = int(H * 0.25) + 1;
        const int filterTop = showList ? infoTop + int(H * 0.4) : H - fh;
        QCOMPARE(w.infoPane()->geometry(), QRect(0, infoTop, L, filterTop - infoTop));
        QCOMPARE(w.filterBar()->geometry(), QRect(0, filterTop, W, fh));
        QCOMPARE(w.envelopeTree()->geometry(), QRect(L, 0, W - L, filterTop));
        QCOMPARE(w.transactionList()->isVisible(), showList);
        if (showList) {
            const int listTop = filterTop + fh + 1;
            QCOMPARE(w.transactionList()->geometry(), QRect(0, listTop, W, H - listTop));
        }

        // Nothing overlaps and everything stays inside the client area.
        QList<QWidget*> panes{w.accountList(), w.infoPane(), w.filterBar(), w.envelopeTree()};
        if (showList)
            panes << w.transactionList();
        for (int i = 0; i < panes.size(); ++i) {
            QVERIFY(w.clientArea()->rect().contains(panes[i]->geometry()));
            for (int j = i + 1; j < panes.size(); ++j)
                QVERIFY2(!panes[i]->geometry().intersects(panes[j]->geometry()),
                         qPrintable(panes[i]->metaObject()->className() + QString(" / ") +
                                    panes[j]->metaObject()->className()));
        }

        // The text area keeps its offset, the same margin right, and reaches the bottom.
        QTextEdit* text = w.infoPane()->textArea();
        QCOMPARE(text->geometry().right(), w.infoPane()->width() - 1 - text->x());
        QCOMPARE(text->geometry().bottom(), w.infoPane()->height() - 1);

        // The tree's last column takes up what the first five leave.
        QHeaderView* header = w.envelopeTree()->header();
        int sum = 0;
        for (int c = 0; c < 6; ++c)
            sum += header->sectionSize(c);
        QCOMPARE(sum, w.envelopeTree()->viewport()->width());
        QCOMPARE(
            header->sectionSize(1),
            QFontMetrics(w.envelopeTree()->font()).horizontalAdvance(QStringLiteral("DIFFERENCE")));
    }

    void tinyClientAreasGiveNoNegativeSizes_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<bool>("showList");
        QTest::newRow("tiny with list") << QSize(120, 40) << true;
        QTest::newRow("tiny without list") << QSize(120, 40) << false;
        QTest::newRow("empty") << QSize(0, 0) << true;
    }
    void tinyClientAreasGiveNoNegativeSizes() {
        QFETCH(QSize, client);
        QFETCH(bool, showList);
        const PaneLayout l = computePaneLayout(client, 30, showList);
        for (const QRect& r : {l.accountList, l.infoPane, l.filterBar, l.transactionList, l.tree}) {
            QVERIFY(r.width() >= 0);
            QVERIFY(r.height() >= 0);
        }
    }

    void listFontsFollowScreenWidth() {
        WindowFixture f;
        const int minimum = f.window.envelopeTree()->font().pixelSize() > 0
                                ? f.window.envelopeTree()->font().pixelSize()
                                : QFontInfo(f.window.envelopeTree()->font()).pixelSize();
        QVERIFY(minimum >= 13);
        QVERIFY(QFontInfo(f.window.accountList()->font()).pixelSize() >= 13);
        QVERIFY(QFontInfo(f.window.transactionList()->font()).pixelSize() >= 13);
    }

    void headersShareTheListFont() {
        // A small system font is raised in the lists, their headers and the tree's header
        // alike, so the account list's header and the tree's header look the same.
        const QFont systemFont = QApplication::font();
        QFont small = systemFont;
        small.setPixelSize(9);
        QApplication::setFont(small);
        {
            WindowFixture f;
            const int tree = QFontInfo(f.window.envelopeTree()->header()->font()).pixelSize();
            QVERIFY(tree >= 13);
            QCOMPARE(QFontInfo(f.window.envelopeTree()->font()).pixelSize(), tree);
            QCOMPARE(QFontInfo(f.window.accountList()->horizontalHeader()->font()).pixelSize(),
                     tree);
            QCOMPARE(QFontInfo(f.window.transactionList()->horizontalHeader()->font()).pixelSize(),
                     tree);
        }
        QApplication::setFont(systemFont);
    }

    void hidingTheListGrowsThePane() {
        WindowFixture f;
        const int before = f.window.infoPane()->height();
        f.window.filterBar()->showList()->click();
        QVERIFY(f.window.infoPane()->height() > before);
        QCOMPARE(f.window.transactionList()->tableModel()->rowCount(), 0);
        f.window.filterBar()->showList()->click();
        QCOMPARE(f.window.infoPane()->height(), before);
        QCOMPARE(f.window.transactionList()->tableModel()->rowCount(), 8);
    }

    void menus() {
        WindowFixture f;
        const QList<QAction*> top = f.window.menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("&File"));
        QCOMPARE(top[1]->text(), QStringLiteral("&Edit"));
        QCOMPARE(top[2]->text(), QStringLiteral("&Help"));
        QStringList file;
        for (QAction* a : top[0]->menu()->actions())
            file << (a->isSeparator() ? QStringLiteral("|") : a->text());
        QCOMPARE(file, QStringList({"Add Account...", "Add Folder...", "Import transactions...",
                                    "Print...", "|", "Restore from backup...", "|", "E&xit"}));
        QCOMPARE(f.window.menuAction(Command::Print)->shortcut(), QKeySequence("Ctrl+P"));
        QCOMPARE(top[2]->menu()->actions().first()->text(), QStringLiteral("&About ..."));
        const QList<QKeySequence> about = f.window.menuAction(Command::About)->shortcuts();
        QVERIFY(about.contains(QKeySequence("Alt+/")));
        QVERIFY(about.contains(QKeySequence("Alt+?")));
    }

    void menuCommandsReachTheTable_data() {
        QTest::addColumn<int>("command");
        QTest::newRow("add account") << int(Command::AddAccount);
        QTest::newRow("add folder") << int(Command::AddFolder);
        QTest::newRow("print") << int(Command::Print);
    }
    void menuCommandsReachTheTable() {
        QFETCH(int, command);
        WindowFixture f;
        f.window.menuAction(Command(command))->trigger();
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(int(f.dispatched[0].command), command);
        // The window saves what the command changed, once.
        QCOMPARE(f.saves, 1);
    }

    void addAccountButton() {
        WindowFixture f;
        f.window.infoPane()->addAccountButton()->click();
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::AddAccount);
    }

    void healthReportFollowsChanges() {
        WindowFixture f;
        const QString before = f.window.infoPane()->plainText();
        QVERIFY(before.startsWith(QStringLiteral("State of the Budget")));
        QVERIFY(!before.contains(QStringLiteral("negative balance")));
        f.sample.checking->setStoredBalance(-1);
        f.window.saveBudget();
        QCOMPARE(f.saves, 1);
        QVERIFY(f.window.infoPane()->plainText().contains(
            QStringLiteral("Account 'Checking' has a negative balance")));
    }

    void helpTextIsShownAndRestored() {
        WindowFixture f;
        InfoPane* pane = f.window.infoPane();
        const QString report = pane->plainText();
        {
            HelpScope help(f.window, QStringLiteral("About Deposits\n"),
                           {QStringLiteral("First.\n\n"), QStringLiteral("Second.")});
            QCOMPARE(pane->plainText(), QStringLiteral("About Deposits\nFirst.\n\nSecond."));
            const QTextCharFormat heading =
                pane->textArea()->document()->begin().begin().fragment().charFormat();
            QVERIFY(heading.font().bold());
            QVERIFY(heading.font().underline());
        }
        QCOMPARE(pane->plainText(), report);

        // A save while the help is up shows the fresh report; closing the dialog keeps it.
        {
            HelpScope help(f.window, QStringLiteral("About Deposits\n"), {QStringLiteral("x")});
            f.sample.checking->setStoredBalance(-1);
            f.window.saveBudget();
        }
        QVERIFY(pane->plainText().contains(QStringLiteral("negative balance")));
    }

    void longTextsShowTheirHeading() {
        // A report or help text longer than the pane opens at its heading, also after the
        // pane has changed size.
        WindowFixture f(QSize(800, 500));
        InfoPane* pane = f.window.infoPane();
        QScrollBar* bar = pane->textArea()->verticalScrollBar();
        QStringList body;
        for (int i = 0; i < 60; ++i)
            body << QStringLiteral("Paragraph %1.\n\n").arg(i);
        {
            HelpScope help(f.window, QStringLiteral("About Deposits\n"), body);
            QVERIFY(bar->maximum() > 0);
            QCOMPARE(bar->value(), 0);
        }
        for (int i = 0; i < 40; ++i) {
            Account* a = f.sample.budget.createAccount();
            a->setName(QStringLiteral("Overdrawn %1").arg(i));
            a->setStoredBalance(-100);
            f.sample.budget.showTopLevel(a);
        }
        f.window.saveBudget();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), 0);
        f.window.resize(900, 460);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
    }

    void aboutBox() {
        AboutBox box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Tallykeep"));
        auto* version = box.findChild<QLabel*>(QStringLiteral("version"));
        QVERIFY(version);
        QCOMPARE(version->text(), QStringLiteral("Tallykeep 1.0.23.88"));
        auto* picture = box.findChild<QLabel*>(QStringLiteral("picture"));
        QVERIFY(picture && !picture->pixmap().isNull());
    }

    void tabMovesBetweenPanes() {
        WindowFixture f;
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.window.accountList()->setFocus();
        QVERIFY(f.window.accountList()->hasFocus());
        QList<QWidget*> reached;
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            for (QWidget* pane : {static_cast<QWidget*>(f.window.infoPane()),
                                  static_cast<QWidget*>(f.window.envelopeTree()),
                                  static_cast<QWidget*>(f.window.filterBar()),
                                  static_cast<QWidget*>(f.window.transactionList()),
                                  static_cast<QWidget*>(f.window.accountList())}) {
                if (now && (now == pane || pane->isAncestorOf(now)) && !reached.contains(pane))
                    reached << pane;
            }
        }
        QCOMPARE(reached.size(), 5);
        QCOMPARE(reached.first(), f.window.infoPane());
        QCOMPARE(reached.at(1), f.window.envelopeTree());
    }

    void shortcutsReachTheirCommands() {
        WindowFixture f;
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QTest::keyClick(&f.window, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::Print);
    }

    void windowTitleAndIcon() {
        WindowFixture f;
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Tallykeep"));
        QVERIFY(!f.window.windowIcon().isNull());
    }
};

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
