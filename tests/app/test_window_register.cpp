// The transaction list as a register (one account's side of every amount, its running
// balance, sorting, searching while typing, column widths) and what the window keeps of the
// user's choices: dragged column widths, window geometry, menu texts from names, the context
// menu key, the month the tree's values belong to, the colour of the action glyphs.

#include "model/undo.h"
#include "test_window_fixture.h"

#include "app/accountlist.h"
#include "app/columnwidths.h"
#include "app/envelopetree.h"
#include "app/operations_unhide.h"
#include "app/transactionlist.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// "payee|outflow|inflow|balance" per row, top to bottom.
QStringList registerRows(const TransactionList* list) {
    QStringList rows;
    const QAbstractItemModel* m = list->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c : {int(PayeeColumn), int(OutflowColumn), int(InflowColumn), int(BalanceColumn)})
            cells << m->index(r, c).data().toString();
        rows << cells.join('|');
    }
    return rows;
}

QStringList payees(const TransactionList* list) {
    QStringList texts;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        texts << list->model()->index(r, PayeeColumn).data().toString();
    return texts;
}

void showAccount(WindowFixture& f, const Account* account) {
    AccountList* accounts = f.window.accountList();
    accounts->selectRow(accounts->rowOf(account));
    if (!f.window.filterBar()->byAccount()->isChecked())
        f.window.filterBar()->byAccount()->click();
}

// Presses on a header divider (the right edge of a section) and drags it by dx.
void dragDivider(QHeaderView* header, int section, int dx) {
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) - 1;
    const QPoint from(x, header->height() / 2);
    const QPoint to = from + QPoint(dx, 0);
    QWidget* vp = header->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, from, vp->mapToGlobal(from), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, to, vp->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, to, vp->mapToGlobal(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(vp, &press);
    QCoreApplication::sendEvent(vp, &move);
    QCoreApplication::sendEvent(vp, &release);
}

void clickHeader(QHeaderView* header, int section) {
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// True when every pixel of the rectangle lies between the background and the colour (the
// glyph's antialiased edges), and some pixels are the colour itself or close to it.
bool drawnInOneColour(const QImage& image, const QRect& rect, const QColor& background,
                      const QColor& colour) {
    const qreal dpr = image.devicePixelRatio();
    int inked = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor p = image.pixelColor(int(x * dpr), int(y * dpr));
            // Distance of p from the segment background..colour, channel by channel.
            const double span[3] = {double(colour.red() - background.red()),
                                    double(colour.green() - background.green()),
                                    double(colour.blue() - background.blue())};
            const double off[3] = {double(p.red() - background.red()),
                                   double(p.green() - background.green()),
                                   double(p.blue() - background.blue())};
            const double len2 = span[0] * span[0] + span[1] * span[1] + span[2] * span[2];
            const double t =
                qBound(0.0, (off[0] * span[0] + off[1] * span[1] + off[2] * span[2]) / len2, 1.0);
            double d2 = 0;
            for (int c = 0; c < 3; ++c)
                d2 += (off[c] - t * span[c]) * (off[c] - t * span[c]);
            if (d2 > 40 * 40)
                return false;
            if (t > 0.8)
                ++inked;
        }
    }
    return inked >= 4;
}
} // namespace

class TestWindowRegister : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<Account*>(); }
    void init() { pinLocale(); }

    void accountSide_data() {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("rows");
        // Counted back from each account's balance (Checking 2,500.00, Savings 10,000.00,
        // Visa -45.00); every type lands on the side where the money moves.
        QTest::newRow("checking") << "Checking"
                                  << ""
                                  << QStringList{"Lost envelope|$9.99||$2,500.00",
                                                 "Landlord|$1,200.00||$2,509.99",
                                                 "Power Co||$15.00|$3,709.99",
                                                 "Checking->Visa|$20.00||$3,694.99",
                                                 "Food Mart|$112.50||$3,714.99",
                                                 "Checking->Savings|$500.00||$3,827.49",
                                                 "Employer->Checking||$3,000.00|$4,327.49"};
        QTest::newRow("transfer arrives in savings")
            << "Savings"
            << "" << QStringList{"Checking->Savings||$500.00|$10,000.00"};
        QTest::newRow("card: payment arrives, charge leaves")
            << "Visa"
            << "" << QStringList{"Checking->Visa||$20.00|-$45.00", "Corner Shop|$45.00||-$65.00"};
        // A search hides rows but does not change the balance after the ones it shows.
        QTest::newRow("search keeps the balances")
            << "Checking"
            << "rent" << QStringList{"Landlord|$1,200.00||$2,509.99"};
    }
    void accountSide() {
        QFETCH(QString, account);
        QFETCH(QString, search);
        QFETCH(QStringList, rows);
        WindowFixture f;
        const SampleBudget& s = f.sample;
        const Account* shown = account == "Checking"  ? s.checking
                               : account == "Savings" ? s.savings
                                                      : s.visa;
        showAccount(f, shown);
        f.window.filterBar()->searchField()->setText(search);
        f.window.rebuildTransactionList();
        TransactionList* list = f.window.transactionList();
        QVERIFY(!list->isColumnHidden(BalanceColumn));
        QCOMPARE(registerRows(list), rows);

        // An edited amount moves the balances of the later rows at once.
        if (account == "Checking" && search.isEmpty()) {
            const Transaction* rent = list->transactionAt(1);
            Transaction edited = *rent;
            edited.amount = -110000;
            f.window.history().begin();
            f.sample.budget.editTransaction(rent, edited);
            f.window.showChanges(f.window.history().end(QStringLiteral("Edit Transaction")));
            // Checking got 100.00 back, so it and every row from the edit on show it.
            QCOMPARE(registerRows(list).mid(0, 3),
                     QStringList({"Lost envelope|$9.99||$2,600.00", "Landlord|$1,100.00||$2,609.99",
                                  "Power Co||$15.00|$3,709.99"}));
            QCOMPARE(list->model()->index(list->currentIndex().row(), PayeeColumn).data(),
                     QVariant("Landlord"));
        }
        // Without the account filter the balance goes and amounts keep their stored sign.
        f.window.filterBar()->byAccount()->click();
        QVERIFY(list->isColumnHidden(BalanceColumn));
    }

    void sorting_data() {
        QTest::addColumn<QString>("account"); // shown account, or empty
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("payees");
        const QStringList newestFirst{"Lost envelope",     "Landlord",          "Power Co",
                                      "Checking->Visa",    "Corner Shop",       "Food Mart",
                                      "Checking->Savings", "Employer->Checking"};
        QStringList oldestFirst = newestFirst;
        std::reverse(oldestFirst.begin(), oldestFirst.end());
        const QStringList byPayee{"Checking->Savings",  "Checking->Visa", "Corner Shop",
                                  "Employer->Checking", "Food Mart",      "Landlord",
                                  "Lost envelope",      "Power Co"};
        QStringList byPayeeReversed = byPayee;
        std::reverse(byPayeeReversed.begin(), byPayeeReversed.end());
        QTest::newRow("date once: oldest first") << "" << QList<int>{DateColumn} << oldestFirst;
        QTest::newRow("date twice: newest first again")
            << "" << QList<int>{DateColumn, DateColumn} << newestFirst;
        QTest::newRow("payee, ignoring case") << "" << QList<int>{PayeeColumn} << byPayee;
        QTest::newRow("payee reversed")
            << "" << QList<int>{PayeeColumn, PayeeColumn} << byPayeeReversed;
        // Empty cells first, newest first among them; then by amount, not by text ("$9.99"
        // after "$1,200.00" as text).
        QTest::newRow("outflow by amount")
            << "" << QList<int>{OutflowColumn}
            << QStringList{"Power Co",      "Checking->Savings", "Employer->Checking",
                           "Lost envelope", "Checking->Visa",    "Corner Shop",
                           "Food Mart",     "Landlord"};
        QTest::newRow("balance of the card")
            << "Visa" << QList<int>{BalanceColumn} << QStringList{"Corner Shop", "Checking->Visa"};
        QTest::newRow("account then date")
            << "" << QList<int>{AccountColumn, DateColumn} << oldestFirst;
    }
    void sorting() {
        QFETCH(QString, account);
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, payees);
        WindowFixture f;
        if (!account.isEmpty())
            showAccount(f, f.sample.visa);
        TransactionList* list = f.window.transactionList();
        for (int column : clicks)
            clickHeader(list->horizontalHeader(), column);
        QCOMPARE(::payees(list), payees);
        // A rebuild (a new transaction, a filter) keeps the order the user chose.
        f.window.rebuildTransactionList();
        QCOMPARE(::payees(list), payees);
        QCOMPARE(list->horizontalHeader()->sortIndicatorSection(), clicks.last());
    }

    void searchAsYouType() {
        WindowFixture f;
        QLineEdit* field = f.window.filterBar()->searchField();
        TransactionList* list = f.window.transactionList();
        QTest::keyClicks(field, QStringLiteral("gro"));
        // Not on every key: the list waits for typing to pause.
        QTest::qWait(FilterBar::kSearchDelayMs / 3);
        QCOMPARE(list->model()->rowCount(), 8);
        QTRY_COMPARE_WITH_TIMEOUT(payees(list), QStringList({"Corner Shop", "Food Mart"}), 3000);
        // Enter searches at once.
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, QStringLiteral("rent"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(payees(list), QStringList{"Landlord"});
        // Emptying the field brings every row back.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTRY_COMPARE_WITH_TIMEOUT(list->model()->rowCount(), 8, 3000);
    }

    void columnsFitTheirLongestTexts() {
        // A long payee far down the list (older than any 200 newest rows) is not cut.
        WindowFixture f;
        const QString longPayee = QStringLiteral("The Very Long Name Of A Hardware Wholesaler Ltd");
        SampleBudget& s = f.sample;
        s.add(TransactionType::Expense, -100, s.checking->id(), kNoId, s.rent->id(), longPayee,
              QString(), SampleBudget::at(2025, 1, 1));
        for (int i = 0; i < 300; ++i)
            s.add(TransactionType::Expense, -100, s.checking->id(), kNoId, s.rent->id(),
                  QStringLiteral("Shop"), QString(), SampleBudget::at(2026, 3, 9));
        f.window.rebuildTransactionList();
        TransactionList* list = f.window.transactionList();
        const QFontMetrics fm(list->font());
        QVERIFY(list->columnWidth(PayeeColumn) > fm.horizontalAdvance(longPayee));
        QVERIFY(list->columnWidth(InflowColumn) >
                fm.horizontalAdvance(QStringLiteral("$3,000.00")));
    }

    void draggedWidthsStay() {
        WindowFixture f;
        TransactionList* list = f.window.transactionList();
        QHeaderView* header = list->horizontalHeader();
        const int computed = list->columnWidth(DescriptionColumn);
        dragDivider(header, DescriptionColumn, 90);
        const int dragged = list->columnWidth(DescriptionColumn);
        QVERIFY2(dragged >= computed + 80, qPrintable(QString::number(dragged)));
        // Rebuilding the list (a search, a new transaction) keeps the user's width.
        f.window.filterBar()->searchField()->setText(QStringLiteral("o"));
        f.window.rebuildTransactionList();
        QCOMPARE(list->columnWidth(DescriptionColumn), dragged);
        // A double-click on the divider hands the column back to automatic sizing.
        f.window.filterBar()->searchField()->clear();
        f.window.rebuildTransactionList();
        QCOMPARE(list->columnWidth(DescriptionColumn), dragged);
        emit header->sectionHandleDoubleClicked(DescriptionColumn);
        QCOMPARE(list->columnWidth(DescriptionColumn), computed);

        // The tree: a widened column survives the window's layout and a resize; the last
        // column takes what is left.
        EnvelopeTree* tree = f.window.envelopeTree();
        QHeaderView* treeHeader = tree->header();
        const int before = treeHeader->sectionSize(1);
        dragDivider(treeHeader, 1, 60);
        const int widened = treeHeader->sectionSize(1);
        QVERIFY(widened >= before + 50);
        f.window.resize(1500, 800);
        f.window.layoutWindow();
        QCOMPARE(treeHeader->sectionSize(1), widened);
        QCOMPARE(treeHeader->sectionSize(2), before);
        int total = 0;
        for (int c = 0; c < 6; ++c)
            total += treeHeader->sectionSize(c);
        QCOMPARE(total, tree->viewport()->width());
    }

    void viewStateIsKeptBetweenRuns() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("view.ini"));
        int treeWidth = 0;
        int listWidth = 0;
        {
            WindowFixture f(QSize(700, 500));
            f.window.move(40, 30);
            dragDivider(f.window.envelopeTree()->header(), 0, 70);
            dragDivider(f.window.transactionList()->horizontalHeader(), PayeeColumn, 40);
            treeWidth = f.window.envelopeTree()->header()->sectionSize(0);
            listWidth = f.window.transactionList()->columnWidth(PayeeColumn);
            QSettings settings(path, QSettings::IniFormat);
            f.window.saveViewState(settings);
        }
        WindowFixture again(QSize(1366, 768));
        QSettings settings(path, QSettings::IniFormat);
        QVERIFY(again.window.restoreViewState(settings));
        QCOMPARE(again.window.size(), QSize(700, 500));
        QCOMPARE(again.window.envelopeTree()->header()->sectionSize(0), treeWidth);
        QCOMPARE(again.window.transactionList()->columnWidth(PayeeColumn), listWidth);
        QVERIFY(again.window.transactionList()->columnWidths()->isUserSized(PayeeColumn));
        QVERIFY(!again.window.transactionList()->columnWidths()->isUserSized(DateColumn));
    }

    void brokenViewStateIsIgnored_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("garbage everywhere")
            << QByteArray("[window]\ngeometry=@ByteArray(\\x1\\x2garbage)\n"
                          "[tree]\ncolumnWidths=nonsense\n[transactions]\ncolumnWidths=-5, 0, x\n");
        QTest::newRow("absurd widths")
            << QByteArray("[tree]\ncolumnWidths=0, 99999999\n"
                          "[transactions]\ncolumnWidths=1, 2147483647, -1\n");
        QTest::newRow("not an ini file") << QByteArray("\x00\xff\xfe PK\x03\x04", 8);
    }
    void brokenViewStateIsIgnored() {
        QFETCH(QByteArray, ini);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("view.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        WindowFixture f;
        const int treeBefore = f.window.envelopeTree()->header()->sectionSize(1);
        QSettings settings(path, QSettings::IniFormat);
        QVERIFY(!f.window.restoreViewState(settings));
        QCOMPARE(f.window.size(), QSize(1366, 768));
        QCOMPARE(f.window.envelopeTree()->header()->sectionSize(1), treeBefore);
        for (int c = 0; c < TransactionColumnCount; ++c) {
            if (f.window.transactionList()->isColumnHidden(c))
                continue; // the balances, without an account filter
            const int w = f.window.transactionList()->columnWidth(c);
            QVERIFY2(w >= f.window.transactionList()->horizontalHeader()->minimumSectionSize() &&
                         w <= 10000,
                     qPrintable(QStringLiteral("column %1: %2").arg(c).arg(w)));
        }
    }

    void moneyColumnsFitInOtherLocales_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QSize>("size");
        QTest::newRow("de_DE 1920") << "de_DE" << QSize(1920, 1080);
        QTest::newRow("de_DE 1366") << "de_DE" << QSize(1366, 768);
        QTest::newRow("fr_FR 1920") << "fr_FR" << QSize(1920, 1080);
        QTest::newRow("en_US 1366") << "en_US" << QSize(1366, 768);
    }
    void moneyColumnsFitInOtherLocales() {
        // No amount in the tree may end in an ellipsis: "-1.314,00 €" is wider than
        // "DIFFERENCE".
        QFETCH(QString, locale);
        QFETCH(QSize, size);
        QLocale::setDefault(QLocale(locale));
        WindowFixture f(size);
        f.sample.rent->setBudgeted(-131400);
        f.sample.envelope(f.sample.fun, QStringLiteral("Car"), -8000, 1234567);
        f.window.populate();
        EnvelopeTree* tree = f.window.envelopeTree();
        const QFontMetrics fm(tree->font());
        for (const AccountBase* item : {(AccountBase*)f.sample.bills, (AccountBase*)f.sample.rent,
                                        byNameOf(f.sample.budget, "Car")}) {
            const QTreeWidgetItem* row = tree->findRow(item);
            for (int c = 1; c <= 4; ++c) {
                const QString text = tree->cellText(row, c);
                QVERIFY2(fm.horizontalAdvance(text) + 8 <= tree->header()->sectionSize(c),
                         qPrintable(QStringLiteral("%1 in column %2").arg(text).arg(c)));
            }
        }
    }

    void namesInMenusKeepTheirAmpersand() {
        WindowFixture f;
        SampleBudget& s = f.sample;
        s.fun->setName(QStringLiteral("Food & Drink"));
        AccountEnvelope* hidden = s.envelope(s.fun, QStringLiteral("Bread & Butter"), 0, 0);
        hidden->setHidden(true);
        s.savings->setName(QStringLiteral("R&D fund"));
        s.savings->setHidden(true);
        f.window.populate();
        QStringList seen;
        const auto collect = [&](const QMenu* menu) {
            for (const QAction* a : menu->actions()) {
                if (a->menu()) {
                    for (const QAction* entry : a->menu()->actions()) {
                        // What the menu shows: "&&" is one "&", a single "&" would mark a key.
                        QVERIFY2(QKeySequence::mnemonic(entry->text()).isEmpty(),
                                 qPrintable(entry->text()));
                        seen << QString(entry->text()).replace(QStringLiteral("&&"), "&");
                    }
                }
            }
        };
        const std::unique_ptr<QMenu> unhide(buildUnhideMenu(s.budget, &f.window));
        collect(unhide.get());
        const std::unique_ptr<QMenu> rent =
            f.window.treeContextMenu(f.window.envelopeTree()->findRow(s.rent));
        collect(rent.get());
        const std::unique_ptr<QMenu> bills =
            f.window.treeContextMenu(f.window.envelopeTree()->findRow(s.bills));
        collect(bills.get());
        QVERIFY2(seen.contains("R&D fund"), qPrintable(seen.join(',')));
        QVERIFY(seen.contains("Bread & Butter"));
        QCOMPARE(seen.count("Food & Drink"),
                 2); // rent's "Move to folder...", bills' "Move after..."
    }

    void contextMenuKeys_data() {
        QTest::addColumn<QString>("pane");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("opens");
        for (const char* pane : {"tree", "accounts", "transactions"}) {
            QTest::addRow("%s: Shift+F10", pane)
                << pane << int(Qt::Key_F10) << int(Qt::ShiftModifier) << true;
            QTest::addRow("%s: Menu key", pane)
                << pane << int(Qt::Key_Menu) << int(Qt::NoModifier) << true;
            QTest::addRow("%s: F10 alone", pane)
                << pane << int(Qt::Key_F10) << int(Qt::NoModifier) << false;
        }
    }
    void contextMenuKeys() {
        // The menu of the focused row, as a right-click on it would open it.
        QFETCH(QString, pane);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, opens);
        SampleBudget s;
        std::unique_ptr<QWidget> widget;
        std::unique_ptr<QSignalSpy> spy;
        QVariant expected;
        if (pane == "tree") {
            auto* tree = new EnvelopeTree(s.budget);
            widget.reset(tree);
            tree->rebuild();
            tree->setCurrentItem(tree->findRow(s.groceries));
            spy = std::make_unique<QSignalSpy>(tree, &EnvelopeTree::rowContextMenu);
            expected = QVariant::fromValue(tree->findRow(s.groceries));
        } else if (pane == "accounts") {
            auto* accounts = new AccountList(s.budget);
            widget.reset(accounts);
            accounts->rebuild();
            accounts->setCurrentCell(1, 0);
            spy = std::make_unique<QSignalSpy>(accounts, &AccountList::accountContextMenu);
            expected = QVariant::fromValue(static_cast<Account*>(s.savings));
        } else {
            auto* list = new TransactionList(s.budget);
            widget.reset(list);
            list->showTransactions({});
            list->setCurrentIndex(list->model()->index(2, 0));
            spy = std::make_unique<QSignalSpy>(list, &TransactionList::transactionContextMenu);
            expected = QVariant::fromValue(list->transactionAt(2));
        }
        widget->resize(900, 400);
        widget->show();
        QTest::keyClick(widget.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(spy->size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(spy->at(0).at(0), expected);
    }

    void treeFollowsTheMonth() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* rent = tree->findRow(f.sample.rent);
        QCOMPARE(tree->cellText(rent, 2), QStringLiteral("-$1,200.00"));
        QSignalSpy changed(tree, &EnvelopeTree::monthChanged);
        // Still March: nothing to do.
        Clock::fix(SampleBudget::at(2026, 3, 31, 23));
        QVERIFY(!tree->followClock());
        // Midnight passes into April with the program open and nobody touching it.
        Clock::fix(SampleBudget::at(2026, 4, 1, 0));
        QVERIFY(tree->followClock());
        QCOMPARE(tree->cellText(rent, 2), QStringLiteral("$0.00"));
        QCOMPARE(changed.size(), 1);
        // Something checks the clock while idle, often enough.
        bool ticking = false;
        for (const QTimer* timer : tree->findChildren<QTimer*>())
            ticking |=
                timer->isActive() && timer->interval() <= 60 * 1000 && !timer->isSingleShot();
        QVERIFY(ticking);
    }

    void labelsLineUp() {
        // A name without a fill bar starts where one with a bar does.
        WindowFixture f;
        AccountEnvelope* plain = f.sample.envelope(f.sample.fun, QStringLiteral("Misc"), 0, 0);
        AccountEnvelope* barred = f.sample.envelope(f.sample.fun, QStringLiteral("Misc"), -1000, 0);
        f.window.populate();
        EnvelopeTree* tree = f.window.envelopeTree();
        tree->setCurrentItem(tree->addFolderRow());
        const QImage image = tree->viewport()->grab().toImage();
        const qreal dpr = image.devicePixelRatio();
        const auto firstInk = [&](const AccountBase* item) {
            const QTreeWidgetItem* row = tree->findRow(item);
            const QRect r = tree->visualItemRect(row);
            const int left = tree->visualRect(tree->indexFromItem(row, 0)).left();
            for (int x = left; x < left + 60; ++x) {
                for (int y = r.top() + 3; y < r.bottom() - 2; ++y) {
                    if (image.pixelColor(int(x * dpr), int(y * dpr)).lightness() < 100)
                        return x;
                }
            }
            return -1;
        };
        QVERIFY(firstInk(plain) > 0);
        QCOMPARE(firstInk(plain), firstInk(barred));
    }

    void glyphsInTheLinkColour() {
        // Every action glyph is drawn in the link colour (no colour emoji) and is big enough
        // to hit.
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        tree->setCurrentItem(tree->addFolderRow());
        const QColor link = tree->palette().color(QPalette::Link);
        const QImage treeImage = tree->viewport()->grab().toImage();
        const struct {
            const AccountBase* item;
            TreeZone zone;
            QColor background;
        } treeGlyphs[] = {
            {f.sample.rent, TreeZone::EditEnvelope, Qt::white},
            {f.sample.rent, TreeZone::RecordExpense, Qt::white},
            {f.sample.rent, TreeZone::FundEnvelope, Qt::white},
            {f.sample.bills, TreeZone::AddEnvelope, QColor(230, 240, 250)},
        };
        for (const auto& g : treeGlyphs) {
            const QRect zone = tree->zoneRect(tree->findRow(g.item), g.zone).adjusted(0, 2, 0, -2);
            QVERIFY2(zone.width() >= 12, qPrintable(QString::number(zone.width())));
            QVERIFY2(drawnInOneColour(treeImage, zone, g.background, link),
                     qPrintable(QStringLiteral("zone %1").arg(int(g.zone))));
        }
        AccountList* accounts = f.window.accountList();
        accounts->clearSelection();
        accounts->setCurrentItem(nullptr);
        const QImage listImage = accounts->viewport()->grab().toImage();
        const QRect row =
            accounts->visualRect(accounts->model()->index(0, AccountList::ActionsColumn));
        for (int action : {int(ActionEdit), int(ActionDeposit), int(ActionTransfer)}) {
            const auto [left, right] = accounts->actionExtent(action);
            const QRect zone(QPoint(left, row.top() + 2), QPoint(right - 1, row.bottom() - 2));
            QVERIFY(zone.width() >= 12);
            QVERIFY2(
                drawnInOneColour(listImage, zone, accounts->palette().color(QPalette::Base), link),
                qPrintable(QStringLiteral("action %1").arg(action)));
        }
    }

private:
    static AccountBase* byNameOf(const Budget& budget, const QString& name) {
        for (const auto& [id, item] : budget.registry()) {
            if (item->getName() == name)
                return item;
        }
        return nullptr;
    }
};

QTEST_MAIN(TestWindowRegister)
#include "test_window_register.moc"
