// Hiding accounts, folders and envelopes, and the unhide menu.

#include "app/operations.h"
#include "app/operations_unhide.h"
#include "fakeshell.h"

#include <QAction>
#include <QMenu>
#include <QTest>

namespace {
QStringList entries(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        out << a->text();
    return out;
}

QMenu* submenu(const QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->text() == title)
            return a->menu();
    return nullptr;
}
} // namespace

class TestOpsHiding : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { UnhideMenuDriver::choose = nullptr; }

    void questionTexts_data();
    void questionTexts();
    void answeringNoChangesNothing();
    void hideEnvelopeReturnsMoney();
    void hideFolderHidesChildren();
    void hideAccountGoesOffBudget();
    void unhideMenuListsHiddenItems();
    void unhideMenuEmptyStillHasGroups();
    void unhideEnvelopeOfHiddenFolderWarns();
    void unhideFolderAndEnvelopeAgain();
    void unhideAccountStaysOffBudget();
    void unhideMenuChoiceUnhides();
};

void TestOpsHiding::questionTexts_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("account") << 0
                             << "Hiding an account will mark it as 'off budget' and remove it from "
                                "view. Are you sure you want to hide 'It %1'?";
    QTest::newRow("folder") << 1
                            << "Hiding a folder will also hide envelopes in the folder. Any funds "
                               "assigned to hidden envelopes will be returned to available funds. "
                               "Are you sure you want to hide 'It %1'?";
    QTest::newRow("envelope") << 2
                              << "Any funds assigned to hidden envelopes will be returned to "
                                 "available funds. Are you sure you want to hide 'It %1'?";
}

void TestOpsHiding::questionTexts() {
    QFETCH(int, type);
    QFETCH(QString, text);
    FakeShell shell;
    AccountBase* item = nullptr;
    if (type == 0)
        item = shell.account("It %1", 0);
    else if (type == 1)
        item = shell.folder("It %1");
    else
        item = shell.envelope(shell.folder("F"), "It %1", 0);
    QVERIFY(confirmHide(shell, item));
    QCOMPARE(shell.questions.records.size(), 1);
    QCOMPARE(shell.questions.records[0].title, QString("Confirm Hide"));
    QCOMPARE(shell.questions.records[0].text, text);
    QCOMPARE(shell.questions.records[0].icon, PromptIcon::None);
    // Yes leaves the help in the pane: the save that follows replaces it.
    QCOMPARE(shell.calls, QStringList{"help About hiding things"});
}

void TestOpsHiding::answeringNoChangesNothing() {
    FakeShell shell;
    Account* a = shell.account("A", 100);
    AccountGroup* f = shell.folder("F");
    AccountEnvelope* e = shell.envelope(f, "E", 500);
    shell.questions.defaultAnswer = false;
    QVERIFY(!hideAccount(shell, a));
    QVERIFY(!hideTreeItem(shell, f));
    QVERIFY(!hideTreeItem(shell, e));
    QVERIFY(!a->isHidden() && !f->isHidden() && !e->isHidden());
    QVERIFY(a->contributesToBudget());
    QCOMPARE(e->getBalance(), Amount(500));
    QCOMPARE(shell.windowCalls(), QStringList{});
    QCOMPARE(shell.calls.count("restoreHelp"), 3);
}

void TestOpsHiding::hideEnvelopeReturnsMoney() {
    FakeShell shell;
    shell.account("A", 10000);
    AccountEnvelope* e = shell.envelope(shell.folder("F"), "E", 4000);
    QCOMPARE(shell.model.availableForBudgeting(), Amount(6000));
    QVERIFY(hideTreeItem(shell, e));
    QVERIFY(e->isHidden());
    QCOMPARE(e->getBalance(), Amount(0));
    QCOMPARE(shell.model.availableForBudgeting(), Amount(10000));
    QCOMPARE(shell.windowCalls(), QStringList{QString("removeItem %1").arg(e->id())});
}

void TestOpsHiding::hideFolderHidesChildren() {
    FakeShell shell;
    shell.folder("Keep");
    AccountGroup* f = shell.folder("F");
    AccountEnvelope* e1 = shell.envelope(f, "E1", 100);
    AccountEnvelope* e2 = shell.envelope(f, "E2", 200);
    AccountEnvelope* e3 = shell.envelope(f, "E3", 0);
    QVERIFY(hideTreeItem(shell, f));
    for (AccountEnvelope* e : {e1, e2, e3}) {
        QVERIFY(e->isHidden());
        QCOMPARE(e->getBalance(), Amount(0));
    }
    QVERIFY(f->isHidden());
    QCOMPARE(shell.model.folderOrder().size(), std::size_t(1));
    QCOMPARE(shell.windowCalls(), QStringList{QString("removeItem %1").arg(f->id())});
}

void TestOpsHiding::hideAccountGoesOffBudget() {
    FakeShell shell;
    Account* visa = shell.account("Visa", -500, true);
    ensureCardChargesEnvelope(shell.model, visa);
    Account* a = shell.account("A", 2500);
    QVERIFY(hideAccount(shell, a));
    QVERIFY(a->isHidden());
    QVERIFY(!a->contributesToBudget());
    QCOMPARE(a->getBalance(), Amount(2500));
    QCOMPARE(shell.model.accountOrder().size(), std::size_t(1));
    QCOMPARE(shell.windowCalls(), (QStringList{QString("removeItem %1").arg(a->id())}));

    QVERIFY(hideAccount(shell, visa));
    QVERIFY(visa->isCCAccount()); // the card flag stays
}

void TestOpsHiding::unhideMenuListsHiddenItems() {
    FakeShell shell;
    Account* a2 = shell.account("Zulu", 0);
    Account* a1 = shell.account("Alpha", 0);
    shell.account("Shown", 0);
    AccountGroup* f = shell.folder("F");
    AccountEnvelope* e = shell.envelope(f, "E", 0);
    a2->setHidden(true);
    a1->setHidden(true);
    f->setHidden(true);
    e->setHidden(true);
    std::unique_ptr<QMenu> menu(buildUnhideMenu(shell.model, nullptr));
    QCOMPARE(entries(menu.get()), (QStringList{"Accounts", "Folders", "Envelopes"}));
    QCOMPARE(entries(submenu(menu.get(), "Accounts")), (QStringList{"Zulu", "Alpha"}));
    QCOMPARE(entries(submenu(menu.get(), "Folders")), QStringList{"F"});
    QCOMPARE(entries(submenu(menu.get(), "Envelopes")), QStringList{"E"});
    QCOMPARE(submenu(menu.get(), "Accounts")->actions().at(1)->data().value<quint32>(), a1->id());
}

void TestOpsHiding::unhideMenuEmptyStillHasGroups() {
    FakeShell shell;
    shell.account("A", 0);
    std::unique_ptr<QMenu> menu(buildUnhideMenu(shell.model, nullptr));
    QCOMPARE(entries(menu.get()), (QStringList{"Accounts", "Folders", "Envelopes"}));
    for (const char* group : {"Accounts", "Folders", "Envelopes"})
        QVERIFY(submenu(menu.get(), group)->actions().isEmpty());
}

void TestOpsHiding::unhideEnvelopeOfHiddenFolderWarns() {
    FakeShell shell;
    AccountGroup* f = shell.folder("Bills");
    AccountEnvelope* e = shell.envelope(f, "Power", 4000);
    QVERIFY(hideTreeItem(shell, f));
    shell.calls.clear();
    shell.questions.records.clear();
    QVERIFY(unhideItem(shell, e));
    QVERIFY(!e->isHidden());
    QVERIFY(f->isHidden());
    QCOMPARE(e->getBalance(), Amount(0));
    QCOMPARE(shell.questions.records.size(), 1);
    QCOMPARE(shell.questions.records[0].kind, PromptRecord::Message);
    QCOMPARE(shell.questions.records[0].title, QString("Unide warning"));
    QCOMPARE(
        shell.questions.records[0].text,
        QString("Item 'Power' is now marked as unhidden, but its parent 'Bills' is hidden.\n"));
    QCOMPARE(shell.questions.records[0].icon, PromptIcon::Exclamation);
    QCOMPARE(shell.windowCalls(), QStringList{});
}

void TestOpsHiding::unhideFolderAndEnvelopeAgain() {
    FakeShell shell;
    AccountGroup* f = shell.folder("Bills");
    shell.folder("Other");
    AccountEnvelope* e = shell.envelope(f, "Power", 0);
    QVERIFY(hideTreeItem(shell, f));
    shell.calls.clear();
    QVERIFY(unhideItem(shell, f));
    QVERIFY(!f->isHidden());
    QVERIFY(e->isHidden()); // envelopes come back one by one
    QCOMPARE(shell.model.folderOrder().back(), f);
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(f->id())}));
    shell.calls.clear();
    QVERIFY(unhideItem(shell, e));
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(e->id())}));
    QCOMPARE(shell.questions.records.size(), 1); // only the hide question
}

void TestOpsHiding::unhideAccountStaysOffBudget() {
    FakeShell shell;
    Account* a = shell.account("A", 100);
    QVERIFY(hideAccount(shell, a));
    shell.calls.clear();
    QVERIFY(unhideItem(shell, a));
    QVERIFY(!a->isHidden());
    QVERIFY(!a->contributesToBudget());
    QCOMPARE(shell.model.accountOrder().back(), a);
    QCOMPARE(shell.windowCalls(), (QStringList{QString("showItem %1").arg(a->id())}));
}

void TestOpsHiding::unhideMenuChoiceUnhides() {
    FakeShell shell;
    Account* a = shell.account("A", 100);
    a->setHidden(true);
    UnhideMenuDriver::choose = [](QMenu* menu, const QPoint&) {
        return submenu(menu, "Accounts")->actions().value(0);
    };
    showUnhideMenu(shell, QPoint(10, 10));
    QVERIFY(!a->isHidden());

    a->setHidden(true);
    shell.calls.clear();
    UnhideMenuDriver::choose = [](QMenu*, const QPoint&) -> QAction* { return nullptr; };
    showUnhideMenu(shell, QPoint(10, 10));
    QVERIFY(a->isHidden());
    QCOMPARE(shell.calls, QStringList{});
}

QTEST_MAIN(TestOpsHiding)
#include "test_ops_hiding.moc"
