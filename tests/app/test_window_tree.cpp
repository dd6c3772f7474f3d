// The envelope tree: rows, painted texts and colours, zones and their clicks, tooltips,
// context menus and the moves they offer.

#include "test_window_fixture.h"

#include "app/envelopetree.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>
#include <QTreeWidgetItemIterator>
#include <QtTest>

namespace {
// "Bills[Rent,Groceries,Power] Fun[Vacation] ..." from the tree's rows.
QString treeShape(const EnvelopeTree* tree) {
    QStringList parts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = tree->topLevelItem(i);
        QStringList children;
        for (int c = 0; c < row->childCount(); ++c)
            children << row->child(c)->text(0);
        parts << (children.isEmpty() ? row->text(0)
                                     : row->text(0) + '[' + children.join(',') + ']');
    }
    return parts.join(' ');
}

// The same from the model: folder order and children (hidden ones included).
QString modelShape(const Budget& budget) {
    QStringList parts;
    for (const AccountGroup* folder : budget.folderOrder()) {
        QStringList children;
        for (const AccountBase* child : folder->children())
            children << child->getName();
        parts << folder->getName() + '[' + children.join(',') + ']';
    }
    return parts.join(' ');
}

// Entries with separators as "|" and submenus as "Title{a,b}".
QStringList menuShape(const QMenu* menu) {
    QStringList entries;
    if (!menu)
        return entries;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            entries << QStringLiteral("|");
        } else if (a->menu()) {
            QStringList sub;
            for (const QAction* s : a->menu()->actions())
                sub << s->text();
            entries << a->text() + '{' + sub.join(',') + '}';
        } else {
            entries << a->text();
        }
    }
    return entries;
}

AccountBase* byName(const Budget& budget, const QString& name) {
    for (const auto& [id, item] : budget.registry()) {
        if (item->getName() == name)
            return item;
    }
    return nullptr;
}

void sendMouseMove(QWidget* viewport, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
}
} // namespace

class TestWindowTree : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }

    void rowsFollowTheBudget() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QCOMPARE(treeShape(tree), QStringLiteral("Bills[Rent,Groceries,Power] Fun[Vacation] "
                                                 "Credit cards[Credit card charges] Add folder"));
        QCOMPARE(tree->currentItem(), tree->topLevelItem(0));
        QCOMPARE(tree->rowKind(tree->addFolderRow()), TreeRowKind::AddFolder);
        QVERIFY(tree->topLevelItem(0)->isExpanded());
    }

    void showAndRemoveItems() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        // An unhidden envelope returns to its place in the folder's order.
        f.sample.oldBills->setHidden(false);
        f.window.showItem(f.sample.oldBills);
        // A new envelope goes last in its folder, a new folder just above "Add folder".
        AccountEnvelope* extra = f.sample.budget.createEnvelope();
        extra->setName(QStringLiteral("Books"));
        f.sample.fun->addChild(extra);
        f.window.showItem(extra);
        AccountGroup* gifts = f.sample.budget.createFolder();
        gifts->setName(QStringLiteral("Gifts"));
        f.sample.budget.showTopLevel(gifts);
        f.window.showItem(gifts);
        // Hidden items stay off screen.
        f.window.showItem(f.sample.archive);
        QCOMPARE(treeShape(tree),
                 QStringLiteral("Bills[Rent,Old bills,Groceries,Power] Fun[Vacation,Books] "
                                "Credit cards[Credit card charges] Gifts Add folder"));
        f.window.removeItem(f.sample.fun);
        f.window.removeItem(f.sample.rent);
        QCOMPARE(treeShape(tree),
                 QStringLiteral("Bills[Old bills,Groceries,Power] "
                                "Credit cards[Credit card charges] Gifts Add folder"));
    }

    void paintedTexts_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colour"); // grey, red, normal or empty (not a money column)
        QTest::newRow("envelope budget") << "Groceries" << 1 << "$100.00"
                                         << "normal";
        QTest::newRow("spending shows minus") << "Groceries" << 2 << "-$157.50"
                                              << "normal";
        QTest::newRow("overspent is red") << "Groceries" << 3 << "-$57.50"
                                          << "red";
        QTest::newRow("envelope balance") << "Groceries" << 4 << "$100.00"
                                          << "normal";
        QTest::newRow("on budget is grey") << "Rent" << 3 << "$0.00"
                                           << "grey";
        QTest::newRow("refund") << "Power" << 2 << "$15.00"
                                << "normal";
        QTest::newRow("folder total") << "Bills" << 1 << "$1,390.00"
                                      << "normal";
        QTest::newRow("folder has no balance") << "Bills" << 4 << ""
                                               << "";
        QTest::newRow("folder limit")
            << "Bills" << 5 << "  $1,390.00 of $2,000.00 budgeted [$610.00 unbudgeted]"
            << "";
        QTest::newRow("goal") << "Vacation" << 5 << "$125.00 saved towards goal of $500.00"
                              << "";
        QTest::newRow("nothing spent is grey") << "Vacation" << 2 << "$0.00"
                                               << "grey";
        QTest::newRow("open folder label")
            << "Bills" << 0 << QString::fromUcs4(U"\U0001F5C1 Bills") << "";
        QTest::newRow("card envelope label")
            << "Credit card charges" << 0 << QString::fromUcs4(U"\U0001F4B3 Credit card charges")
            << "";
        QTest::newRow("read-only folder has no information") << "Credit cards" << 5 << ""
                                                             << "";
    }
    void paintedTexts() {
        QFETCH(QString, item);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, colour);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        tree->setCurrentItem(tree->addFolderRow());
        QTreeWidgetItem* row = tree->findRow(byName(f.sample.budget, item));
        QVERIFY(row);
        QCOMPARE(tree->cellText(row, column), text);
        if (colour == QLatin1String("red"))
            QCOMPARE(tree->cellColour(row, column), QColor(255, 0, 0));
        else if (colour == QLatin1String("grey"))
            QCOMPARE(tree->cellColour(row, column),
                     tree->palette().color(QPalette::Disabled, QPalette::Text));
        else if (colour == QLatin1String("normal"))
            QCOMPARE(tree->cellColour(row, column), tree->palette().color(QPalette::Text));
    }

    // At 1920x1080 every information text shows whole; where one is cut (a smaller window)
    // the pointer over it shows it whole as a tooltip.
    void informationShowsWhole() {
        for (const QSize size : {QSize(1920, 1080), QSize(1366, 768), QSize(1000, 700)}) {
            WindowFixture f(size);
            EnvelopeTree* tree = f.window.envelopeTree();
            QTreeWidgetItem* vacation = tree->findRow(f.sample.vacation);
            const QString text = tree->cellText(vacation, 5);
            QVERIFY(text.contains(QStringLiteral("saved towards goal")));
            const int room = tree->header()->sectionSize(5) - 8;
            if (size.width() >= 1920) {
                QTreeWidgetItemIterator it(tree);
                for (; *it; ++it) {
                    const QString info = tree->cellText(*it, 5);
                    QVERIFY2(tree->fontMetrics().horizontalAdvance(info) <= room, qPrintable(info));
                }
            }
            const QRect cell = tree->visualRect(tree->indexFromItem(vacation, 5));
            QHelpEvent help(QEvent::ToolTip, cell.center(),
                            tree->viewport()->mapToGlobal(cell.center()));
            QCoreApplication::sendEvent(tree->viewport(), &help);
            QTRY_COMPARE(QToolTip::text(), text);
            QToolTip::hideText();
        }
    }

    void folderGlyphFollowsItsState() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        const QString open = QString::fromUcs4(U"\U0001F5C1 ");
        const QString closed = QString::fromUcs4(U"\U0001F5C0 ");
        QTreeWidgetItem* bills = tree->findRow(f.sample.bills);
        QCOMPARE(tree->cellText(bills, 0), open + "Bills");
        bills->setExpanded(false);
        QCOMPARE(tree->cellText(bills, 0), closed + "Bills");
        // A new folder has nothing to open yet.
        AccountGroup* empty = f.sample.folder(QStringLiteral("Gifts"));
        f.window.showItem(empty);
        QCOMPARE(tree->cellText(tree->findRow(empty), 0), closed + "Gifts");
    }

    void selectedRowColours() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row = tree->findRow(f.sample.groceries);
        tree->setCurrentItem(row);
        QCOMPARE(tree->cellColour(row, 3), QColor(255, 200, 200));
        QCOMPARE(tree->cellColour(row, 1), tree->palette().color(QPalette::HighlightedText));
    }

    void valuesFollowARefresh() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row = tree->findRow(f.sample.rent);
        QCOMPARE(tree->cellText(row, 2), QStringLiteral("-$1,200.00"));
        f.sample.add(TransactionType::Expense, -500, f.sample.checking->id(), kNoId,
                     f.sample.rent->id(), "Landlord", "Late fee", SampleBudget::at(2026, 3, 14));
        f.sample.rent->setName(QStringLiteral("Housing"));
        f.window.refreshTexts();
        QCOMPARE(tree->cellText(row, 2), QStringLiteral("-$1,205.00"));
        QCOMPARE(row->text(0), QStringLiteral("Housing"));
    }

    void zoneClicks_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("zone");
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("saves");
        QTest::newRow("edit envelope") << "Rent" << 1 << int(Command::EditEnvelope) << 1;
        QTest::newRow("record expense") << "Rent" << 2 << int(Command::RecordExpense) << 1;
        QTest::newRow("fund envelope") << "Vacation" << 3 << int(Command::FundEnvelope) << 1;
        QTest::newRow("add envelope") << "Fun" << 4 << int(Command::AddEnvelope) << 1;
        QTest::newRow("edit folder") << "Bills" << 5 << int(Command::EditFolder) << 1;
        QTest::newRow("fund folder") << "Bills" << 6 << int(Command::FundFolder) << 1;
        QTest::newRow("add folder") << "" << 7 << int(Command::AddFolder) << 1;
        QTest::newRow("charges: edit")
            << "Credit card charges" << 1 << int(Command::EditEnvelope) << 1;
    }
    void zoneClicks() {
        QFETCH(QString, item);
        QFETCH(int, zone);
        QFETCH(int, command);
        QFETCH(int, saves);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row =
            item.isEmpty() ? tree->addFolderRow() : tree->findRow(byName(f.sample.budget, item));
        const QRect rect = tree->zoneRect(row, TreeZone(zone));
        QVERIFY(rect.isValid());
        const TreeHit hit = tree->hitTestZone(rect.center());
        QCOMPARE(int(hit.zone), zone);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(int(f.dispatched[0].command), command);
        QCOMPARE(f.dispatched[0].item, item.isEmpty() ? nullptr : byName(f.sample.budget, item));
        QCOMPARE(f.saves, saves);
    }

    void glyphsSitAtTheRightOfTheFirstColumn() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* rent = tree->findRow(f.sample.rent);
        const int end = tree->header()->sectionViewportPosition(0) + tree->header()->sectionSize(0);
        const QRect edit = tree->zoneRect(rent, TreeZone::EditEnvelope);
        const QRect fund = tree->zoneRect(rent, TreeZone::FundEnvelope);
        const QRect expense = tree->zoneRect(rent, TreeZone::RecordExpense);
        QCOMPARE(edit.right() + 1, end - 5);
        QCOMPARE(fund.right() + 1, edit.left() - 5);
        QCOMPARE(expense.right() + 1, fund.left() - 5);
    }

    void zonesThatDoNotExist() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        // The charges envelope has no expense glyph: the place reports no zone.
        const QRect expense = tree->zoneRect(tree->findRow(f.sample.rent), TreeZone::RecordExpense);
        QTreeWidgetItem* charges = tree->findRow(f.sample.charges);
        QVERIFY(!tree->zoneRect(charges, TreeZone::RecordExpense).isValid());
        const QPoint there(expense.center().x(), tree->visualItemRect(charges).center().y());
        QCOMPARE(tree->hitTestZone(there).zone, TreeZone::None);
        // The read-only folder has no zones at all.
        QTreeWidgetItem* cards = tree->findRow(f.sample.cards);
        const QRect rect = tree->visualItemRect(cards);
        for (int x = rect.left(); x < tree->viewport()->width(); x += 3)
            QCOMPARE(tree->hitTestZone(QPoint(x, rect.center().y())).zone, TreeZone::None);
        // The label of an envelope is no zone: a click only selects.
        QTreeWidgetItem* rent = tree->findRow(f.sample.rent);
        const QPoint label = tree->visualItemRect(rent).topLeft() + QPoint(30, 4);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, label);
        QVERIFY(f.dispatched.isEmpty());
        QCOMPARE(tree->currentItem(), rent);
    }

    void hoverShowsHandAndTooltip() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* fun = tree->findRow(f.sample.fun);
        const QPoint pos = tree->zoneRect(fun, TreeZone::FundFolder).center();
        sendMouseMove(tree->viewport(), pos);
        QCOMPARE(tree->viewport()->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(tree->tip()->isVisible());
        QCOMPARE(tree->tip()->text(),
                 QStringLiteral("Assign money to the envelopes in the 'Fun' folder"));
        QCOMPARE(tree->tip()->pos(), tree->viewport()->mapToGlobal(pos) + QPoint(10, -20));

        sendMouseMove(tree->viewport(),
                      tree->zoneRect(tree->addFolderRow(), TreeZone::AddFolder).center());
        QCOMPARE(tree->tip()->text(), QStringLiteral("Add folder"));

        sendMouseMove(tree->viewport(), tree->visualItemRect(fun).topLeft() + QPoint(30, 3));
        QCOMPARE(tree->viewport()->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(!tree->tip()->isVisible());
    }

    void contextMenus_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("entries");
        const QStringList folderFixed{"Assign money to envelopes...",
                                      "Add envelope...",
                                      "|",
                                      "Edit folder...",
                                      "|",
                                      "Hide folder...."};
        const QStringList envelopeFixed{"Record expense...", "Assign money to this envelope...",
                                        "Move money...",     "|",
                                        "Edit envelope...",  "|",
                                        "Hide envelope..."};
        QTest::newRow("first folder")
            << "Bills" << folderFixed + QStringList{"|", "Move after...{Fun,Credit cards}"};
        QTest::newRow("middle folder") << "Fun"
                                       << folderFixed + QStringList{"|", "Move before...{Bills}",
                                                                    "Move after...{Credit cards}"};
        QTest::newRow("middle envelope")
            << "Groceries"
            << envelopeFixed + QStringList{"|", "Move to folder...{Fun}", "Move before...{Rent}",
                                           "Move after...{Power}"};
        QTest::newRow("single envelope")
            << "Vacation" << envelopeFixed + QStringList{"|", "Move to folder...{Bills}"};
        QTest::newRow("charges envelope") << "Credit card charges" << QStringList{};
        QTest::newRow("read-only folder") << "Credit cards" << QStringList{};
        QTest::newRow("add folder row") << "" << QStringList{};
    }
    void contextMenus() {
        QFETCH(QString, item);
        QFETCH(QStringList, entries);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row =
            item.isEmpty() ? tree->addFolderRow() : tree->findRow(byName(f.sample.budget, item));
        QVERIFY(row);
        const std::unique_ptr<QMenu> menu = f.window.treeContextMenu(row);
        QCOMPARE(menuShape(menu.get()), entries);
        QCOMPARE(bool(menu), !entries.isEmpty());
    }

    void contextMenuEntriesDispatch() {
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        const std::unique_ptr<QMenu> menu = f.window.treeContextMenu(tree->findRow(f.sample.rent));
        QAction* record = menu->actions().at(0);
        f.window.runMenuChoice(record, f.sample.rent);
        QCOMPARE(f.dispatched.size(), 1);
        QCOMPARE(f.dispatched[0].command, Command::RecordExpense);
        QCOMPARE(f.dispatched[0].item, f.sample.rent);
        QCOMPARE(f.saves, 1);
        // An operation that changed nothing is neither refreshed nor saved.
        f.changeOnDispatch = false;
        f.window.runMenuChoice(menu->actions().at(3), f.sample.rent);
        QCOMPARE(f.saves, 1);
    }

    void moves_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("submenu");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("model");
        const QString rest = " Fun[Vacation] Credit cards[Credit card charges] Add folder";
        const QString restModel = " Fun[Vacation] Credit cards[Credit card charges]";
        QTest::newRow("envelope after last") << "Rent"
                                             << "Move after..."
                                             << "Power"
                                             << "Bills[Groceries,Power,Rent]" + rest
                                             << "Bills[Old bills,Groceries,Power,Rent]" + restModel;
        QTest::newRow("envelope before middle")
            << "Power"
            << "Move before..."
            << "Groceries"
            << "Bills[Rent,Power,Groceries]" + rest
            << "Bills[Rent,Power,Old bills,Groceries]" + restModel;
        QTest::newRow("envelope before first")
            << "Groceries"
            << "Move before..."
            << "Rent"
            << "Bills[Groceries,Rent,Power]" + rest
            << "Bills[Groceries,Rent,Old bills,Power]" + restModel;
        QTest::newRow("envelope to group") << "Groceries"
                                           << "Move to folder..."
                                           << "Fun"
                                           << "Bills[Rent,Power] Fun[Vacation,Groceries] Credit "
                                              "cards[Credit card charges] Add folder"
                                           << "Bills[Rent,Old bills,Power] Fun[Vacation,Groceries] "
                                              "Credit cards[Credit card charges]";
        QTest::newRow("folder after") << "Bills"
                                      << "Move after..."
                                      << "Fun"
                                      << "Fun[Vacation] Bills[Rent,Groceries,Power] Credit "
                                         "cards[Credit card charges] Add folder"
                                      << "Fun[Vacation] Bills[Rent,Old bills,Groceries,Power] "
                                         "Credit cards[Credit card charges]";
        QTest::newRow("folder before first") << "Credit cards"
                                             << ""
                                             << ""
                                             << ""
                                             << "";
        QTest::newRow("folder before") << "Fun"
                                       << "Move before..."
                                       << "Bills"
                                       << "Fun[Vacation] Bills[Rent,Groceries,Power] Credit "
                                          "cards[Credit card charges] Add folder"
                                       << "Fun[Vacation] Bills[Rent,Old bills,Groceries,Power] "
                                          "Credit cards[Credit card charges]";
    }
    void moves() {
        QFETCH(QString, item);
        QFETCH(QString, submenu);
        QFETCH(QString, target);
        QFETCH(QString, tree);
        QFETCH(QString, model);
        WindowFixture f;
        EnvelopeTree* view = f.window.envelopeTree();
        AccountBase* moving = byName(f.sample.budget, item);
        QTreeWidgetItem* row = view->findRow(moving);
        const std::unique_ptr<QMenu> menu = f.window.treeContextMenu(row);
        if (submenu.isEmpty()) {
            QVERIFY(!menu); // read-only folders cannot be moved
            return;
        }
        QAction* chosen = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->menu() && a->text() == submenu) {
                for (QAction* s : a->menu()->actions()) {
                    if (s->text() == target)
                        chosen = s;
                }
            }
        }
        QVERIFY(chosen);
        QCOMPARE(actionTarget(chosen), byName(f.sample.budget, target)->id());
        f.window.runMenuChoice(chosen, moving);
        QCOMPARE(treeShape(view), tree);
        QCOMPARE(modelShape(f.sample.budget), model);
        QCOMPARE(f.saves, 1);
        QVERIFY(f.dispatched.isEmpty()); // moves are the window's own work
        QCOMPARE(view->findRow(moving)->isExpanded(), row->childCount() > 0);
    }

    void doubleClicks_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("edits");
        QTest::newRow("envelope") << "Rent" << true;
        QTest::newRow("charges envelope") << "Credit card charges" << true;
        QTest::newRow("folder") << "Bills" << false;
        QTest::newRow("read-only folder") << "Credit cards" << false;
        QTest::newRow("add folder") << "" << false;
    }
    void doubleClicks() {
        QFETCH(QString, item);
        QFETCH(bool, edits);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row =
            item.isEmpty() ? tree->addFolderRow() : tree->findRow(byName(f.sample.budget, item));
        emit tree->itemDoubleClicked(row, 0);
        QCOMPARE(f.dispatched.size(), edits ? 1 : 0);
        if (edits) {
            QCOMPARE(f.dispatched[0].command, Command::EditEnvelope);
        }
    }

    void clickBesideTheRowsKeepsTheSelection_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("onTheRow");
        QTest::newRow("left beside") << int(Qt::LeftButton) << false;
        QTest::newRow("right beside") << int(Qt::RightButton) << false;
        QTest::newRow("Ctrl+click on the row") << int(Qt::LeftButton) << true;
    }
    void clickBesideTheRowsKeepsTheSelection() {
        QFETCH(int, button);
        QFETCH(bool, onTheRow);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row = tree->findRow(f.sample.groceries);
        tree->setCurrentItem(row);
        const QRect last = tree->visualItemRect(tree->addFolderRow());
        const QPoint below(last.center().x(), last.bottom() + 40);
        QVERIFY(!tree->itemAt(below));
        const QPoint where = onTheRow ? tree->visualItemRect(row).center() : below;
        QTest::mouseClick(tree->viewport(), Qt::MouseButton(button),
                          onTheRow ? Qt::ControlModifier : Qt::NoModifier, where);
        QCOMPARE(tree->currentItem(), row);
        QVERIFY(row->isSelected());
        QCOMPARE(tree->selectedItem(), f.sample.groceries);
    }

    void fillBars_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<double>("fraction"); // of the label width; 0: the 8-pixel minimum
        QTest::addColumn<bool>("selected");
        QTest::newRow("goal a quarter saved") << "Vacation" << 0.25 << false;
        QTest::newRow("budget, part held") << "Power" << 4000.0 / 9000.0 << false;
        QTest::newRow("more than the target") << "Savings jar" << 1.0 << false;
        QTest::newRow("almost empty") << "Rainy day" << 0.0 << false;
        QTest::newRow("selected") << "Vacation" << 0.25 << true;
    }
    void fillBars() {
        // The bar starts 2 pixels inside the label, is balance / target of its width (at
        // least 8 pixels) and ends 2 pixels before the label's end at the most.
        QFETCH(QString, item);
        QFETCH(double, fraction);
        QFETCH(bool, selected);
        WindowFixture f;
        f.sample.envelope(f.sample.fun, QStringLiteral("Savings jar"), 0, 90000, 50000);
        f.sample.envelope(f.sample.fun, QStringLiteral("Rainy day"), -100000, 1);
        f.window.populate();
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row = tree->findRow(byName(f.sample.budget, item));
        QVERIFY(row);
        tree->setCurrentItem(selected ? row : tree->addFolderRow());
        const QImage image = tree->viewport()->grab().toImage();
        const qreal dpr = image.devicePixelRatio();
        auto pixel = [&](int x, int y) { return image.pixelColor(x * dpr, y * dpr); };

        const int left = tree->visualRect(tree->indexFromItem(row, 0)).left();
        const int right = tree->zoneRect(row, TreeZone::RecordExpense).left() - 1; // inclusive
        const int width = right + 1 - left;
        const int barWidth = fraction > 0 ? qMax(8, int(fraction * width)) : 8;
        const int expectedEnd = qMin(left + barWidth - 2, right - 2);
        const int top = tree->visualItemRect(row).top() + 2; // the bar's upper edge
        const QColor outline =
            selected ? tree->palette().color(QPalette::HighlightedText) : QColor(110, 160, 110);
        QCOMPARE(pixel(left + 2, top), outline);
        QVERIFY(pixel(left + 1, top) != outline);
        int end = left + 2;
        while (end + 1 <= right && pixel(end + 1, top) == outline)
            ++end;
        QVERIFY2(
            qAbs(end - expectedEnd) <= 1,
            qPrintable(QStringLiteral("bar ends at %1, expected %2").arg(end).arg(expectedEnd)));

        const QColor highlight = tree->palette().color(QPalette::Highlight);
        auto lighten = [](int c) { return c >= 226 ? 255 : c + 30; };
        const QColor fill = selected ? QColor(lighten(highlight.red()), lighten(highlight.green()),
                                              lighten(highlight.blue()))
                                     : QColor(186, 222, 186);
        QCOMPARE(pixel(left + 3, top + 1), fill);
    }

    void gridLines() {
        // Grey lines 2 pixels left of each column's end, and along the top of every row.
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        tree->setCurrentItem(tree->addFolderRow());
        const QImage image = tree->viewport()->grab().toImage();
        const qreal dpr = image.devicePixelRatio();
        auto pixel = [&](int x, int y) { return image.pixelColor(x * dpr, y * dpr); };
        const QColor grid(200, 200, 200);
        for (const AccountBase* item :
             {(AccountBase*)f.sample.bills, (AccountBase*)f.sample.rent}) {
            const QRect r = tree->visualItemRect(tree->findRow(item));
            for (int c = 0; c < 6; ++c) {
                const int x =
                    tree->header()->sectionViewportPosition(c) + tree->header()->sectionSize(c) - 2;
                QCOMPARE(pixel(x, r.center().y()), grid);
            }
            const int middleOfBudgeted = tree->header()->sectionViewportPosition(1) + 20;
            QCOMPARE(pixel(middleOfBudgeted, r.top()), grid);
        }
    }

    void selectionStartsAtTheLabel_data() {
        QTest::addColumn<QString>("item");
        QTest::newRow("folder") << "Bills";
        QTest::newRow("envelope") << "Rent";
        QTest::newRow("Add folder") << "";
    }
    void selectionStartsAtTheLabel() {
        // Left of the label (the buttons and lines) a selected row keeps the window colour;
        // from the label on a selected folder or envelope shows the highlight.
        QFETCH(QString, item);
        WindowFixture f;
        EnvelopeTree* tree = f.window.envelopeTree();
        QTreeWidgetItem* row =
            item.isEmpty() ? tree->addFolderRow() : tree->findRow(byName(f.sample.budget, item));
        tree->setCurrentItem(row);
        const QImage image = tree->viewport()->grab().toImage();
        const qreal dpr = image.devicePixelRatio();
        const QRect r = tree->visualItemRect(row);
        const QRect label = tree->visualRect(tree->indexFromItem(row, 0));
        auto at = [&](int x) { return image.pixelColor(x * dpr, (r.top() + 3) * dpr); };
        QCOMPARE(at(label.left() - 3), tree->palette().color(QPalette::Base));
        const int money = tree->header()->sectionViewportPosition(4) + 2;
        QCOMPARE(at(money),
                 item.isEmpty() ? QColor(Qt::white) : tree->palette().color(QPalette::Highlight));
    }

    void paintingRecordsNothingOdd() {
        // Painting every row at both sizes must not crash and must draw the glyph column.
        for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
            WindowFixture f(size);
            const QImage image = f.window.envelopeTree()->grab().toImage();
            QVERIFY(!image.isNull());
            // The folder row background is the pale blue of folders.
            QTreeWidgetItem* bills = f.window.envelopeTree()->findRow(f.sample.bills);
            f.window.envelopeTree()->setCurrentItem(f.window.envelopeTree()->addFolderRow());
            const QImage again = f.window.envelopeTree()->viewport()->grab().toImage();
            const QRect r = f.window.envelopeTree()->visualItemRect(bills);
            const int x = f.window.envelopeTree()->header()->sectionViewportPosition(4) + 30;
            QCOMPARE(again.pixelColor(x * again.devicePixelRatio(),
                                      r.center().y() * again.devicePixelRatio()),
                     QColor(230, 240, 250));
        }
    }
};

QTEST_MAIN(TestWindowTree)
#include "test_window_tree.moc"
