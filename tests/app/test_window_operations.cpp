// The window together with the real hide and unhide operations: the views follow what the
// operations change, and each command saves exactly once.

#include "test_window_fixture.h"

#include "app/accountlist.h"
#include "app/envelopetree.h"
#include "app/infopane.h"
#include "app/messageboxprompter.h"
#include "app/operations_unhide.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
QString topLevelNames(const EnvelopeTree* tree) {
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        names << tree->topLevelItem(i)->text(0);
    return names.join(',');
}

QString childNames(const EnvelopeTree* tree, const AccountBase* folder) {
    QStringList names;
    const QTreeWidgetItem* row = tree->findRow(folder);
    for (int i = 0; row && i < row->childCount(); ++i)
        names << row->child(i)->text(0);
    return names.join(',');
}

QAction* entryNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* found = entryNamed(a->menu(), text))
                return found;
        } else if (a->text() == text) {
            return a;
        }
    }
    return nullptr;
}

struct RealWindow : WindowFixture {
    RealWindow() { window.setOperationHandler({}); }
    ~RealWindow() { UnhideMenuDriver::choose = nullptr; }
};
} // namespace

class TestWindowOperations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinLocale(); }

    void hideEnvelopeFromItsMenu() {
        RealWindow f;
        EnvelopeTree* tree = f.window.envelopeTree();
        const std::unique_ptr<QMenu> menu =
            f.window.treeContextMenu(tree->findRow(f.sample.groceries));
        f.window.runMenuChoice(entryNamed(menu.get(), QStringLiteral("Hide envelope...")),
                               f.sample.groceries);
        QCOMPARE(f.prompter.records.size(), 1);
        QVERIFY(f.sample.groceries->isHidden());
        QCOMPARE(childNames(tree, f.sample.bills), QStringLiteral("Rent,Power"));
        QCOMPARE(f.saves, 1);
        QVERIFY(f.window.infoPane()->plainText().startsWith(QStringLiteral("State of the Budget")));
    }

    void declinedHideChangesNothing() {
        RealWindow f;
        f.prompter.defaultAnswer = false;
        const std::unique_ptr<QMenu> menu =
            f.window.treeContextMenu(f.window.envelopeTree()->findRow(f.sample.fun));
        f.window.runMenuChoice(entryNamed(menu.get(), QStringLiteral("Hide folder....")),
                               f.sample.fun);
        QVERIFY(!f.sample.fun->isHidden());
        QCOMPARE(topLevelNames(f.window.envelopeTree()),
                 QStringLiteral("Bills,Fun,Credit cards,Add folder"));
        QCOMPARE(f.saves, 0);
    }

    void hideFolder() {
        RealWindow f;
        const std::unique_ptr<QMenu> menu =
            f.window.treeContextMenu(f.window.envelopeTree()->findRow(f.sample.fun));
        f.window.runMenuChoice(entryNamed(menu.get(), QStringLiteral("Hide folder....")),
                               f.sample.fun);
        QCOMPARE(topLevelNames(f.window.envelopeTree()),
                 QStringLiteral("Bills,Credit cards,Add folder"));
        QCOMPARE(f.sample.budget.folderOrder().size(), size_t(2));
        QCOMPARE(f.saves, 1);
    }

    void hideAccount() {
        RealWindow f;
        const std::unique_ptr<QMenu> menu = f.window.accountContextMenu(f.sample.savings);
        f.window.runMenuChoice(entryNamed(menu.get(), QStringLiteral("Hide account...")),
                               f.sample.savings);
        QCOMPARE(f.window.accountList()->rowCount(), 2);
        QCOMPARE(f.window.accountList()->rowOf(f.sample.savings), -1);
        QCOMPARE(f.saves, 1);
    }

    void unhide_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("topLevel");
        QTest::addColumn<QString>("bills");
        QTest::addColumn<int>("accounts");
        const QString top = "Bills,Fun,Credit cards,Add folder";
        QTest::newRow("envelope returns to its place")
            << "Old bills" << top << "Rent,Old bills,Groceries,Power" << 3;
        QTest::newRow("folder goes above Add folder") << "Archive"
                                                      << "Bills,Fun,Credit cards,Archive,Add folder"
                                                      << "Rent,Groceries,Power" << 3;
    }
    void unhide() {
        QFETCH(QString, entry);
        QFETCH(QString, topLevel);
        QFETCH(QString, bills);
        QFETCH(int, accounts);
        RealWindow f;
        QPoint shownAt;
        UnhideMenuDriver::choose = [&](QMenu* menu, const QPoint& pos) {
            shownAt = pos;
            return entryNamed(menu, entry);
        };
        QCursor::setPos(QPoint(321, 123));
        f.window.infoPane()->unhideButton()->click();
        QCOMPARE(shownAt, QCursor::pos()); // the menu opens at the mouse
        EnvelopeTree* tree = f.window.envelopeTree();
        QCOMPARE(topLevelNames(tree), topLevel);
        QCOMPARE(childNames(tree, f.sample.bills), bills);
        QCOMPARE(f.window.accountList()->rowCount(), accounts);
        QCOMPARE(f.saves, 1);
    }

    void unhiddenAccountIsTheLastRow() {
        RealWindow f;
        f.sample.checking->setHidden(true);
        f.sample.budget.removeFromOrder(f.sample.checking);
        f.window.removeItem(f.sample.checking);
        UnhideMenuDriver::choose = [&](QMenu* menu, const QPoint&) {
            return entryNamed(menu, QStringLiteral("Checking"));
        };
        f.window.infoPane()->unhideButton()->click();
        QCOMPARE(f.window.accountList()->rowCount(), 3);
        QCOMPARE(f.window.accountList()->accountAt(2), f.sample.checking);
    }

    // A question asked while a dialog is open ("Over Spent", "Negative Transfer", "Not
    // enough data", ...) belongs to that dialog, so it shows over it and not behind it over
    // the main window; with no dialog open it belongs to the main window.
    void questionsBelongToTheOpenDialog() {
        QWidget mainWindow;
        MessageBoxPrompter prompter(&mainWindow);
        QList<QWidget*> owners;
        const auto answerNextBox = [&owners] {
            QTimer::singleShot(0, [&owners] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                owners << box->parentWidget();
                box->done(QMessageBox::Yes);
            });
        };
        mainWindow.show();
        answerNextBox();
        QVERIFY(prompter.askYesNo("Over Spent", "?", PromptIcon::Exclamation));

        QDialog reports(&mainWindow);
        QTimer::singleShot(0, [&] {
            answerNextBox();
            prompter.inform("Not enough data", "few days", PromptIcon::None);
            answerNextBox();
            prompter.askYesNo("Negative Transfer", "?", PromptIcon::Exclamation);
            reports.reject();
        });
        reports.exec();
        answerNextBox();
        prompter.inform("Saved", "!", PromptIcon::Information);
        QCOMPARE(owners, (QList<QWidget*>{&mainWindow, &reports, &reports, &mainWindow}));
    }
};

QTEST_MAIN(TestWindowOperations)
#include "test_window_operations.moc"
