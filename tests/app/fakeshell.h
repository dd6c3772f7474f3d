#pragma once
// A Shell for operation tests: owns a Budget and a FakePrompter and records every call
// to the window, in order, as short texts ("showItem 3", "help About Deposits").

#include "app/dialogdriver.h"
#include "app/shell.h"
#include "fakeprompter.h"
#include "model/budget.h"

#include <QStringList>
#include <QTest>
#include <functional>

class FakeShell : public Shell {
public:
    Budget model;
    FakePrompter questions;
    QStringList calls;
    QString helpHeading; // the heading shown while the last dialog was open
    QStringList helpBody;

    Budget& budget() override { return model; }
    QWidget* dialogParent() override { return nullptr; }
    Prompter& prompter() override { return questions; }
    void showHelp(const QString& heading, const QStringList& body) override {
        helpHeading = heading;
        helpBody = body;
        calls << "help " + heading.trimmed();
    }
    void restoreHelp() override { calls << "restoreHelp"; }
    void showItem(AccountBase* item) override { calls << QString("showItem %1").arg(item->id()); }
    void removeItem(AccountBase* item) override {
        calls << QString("removeItem %1").arg(item->id());
    }

    // The calls made to the window, without the help-pane bookkeeping.
    QStringList windowCalls() const {
        QStringList out;
        for (const QString& c : calls)
            if (!c.startsWith("help ") && c != "restoreHelp")
                out << c;
        return out;
    }

    // Convenience builders.
    Account* account(const QString& name, Amount balance, bool card = false) {
        Account* a = model.createAccount();
        a->setName(name);
        a->adjustBalance(balance);
        if (card) {
            a->setCCAccount(true);
            a->setContributesToBudget(false);
        }
        model.showTopLevel(a);
        return a;
    }
    AccountGroup* folder(const QString& name) {
        AccountGroup* f = model.createFolder();
        f->setName(name);
        model.showTopLevel(f);
        return f;
    }
    AccountEnvelope* envelope(AccountGroup* in, const QString& name, Amount balance,
                              Amount budgeted = 0) {
        AccountEnvelope* e = model.createEnvelope();
        e->setName(name);
        e->setVirtualAccount(true);
        e->adjustBalance(balance);
        e->setBudgeted(budgeted);
        if (in)
            in->addChild(e);
        return e;
    }
};

// Makes the next dialogs run by f (which fills fields and presses OK or Cancel) instead of a
// user. Tests reset DialogDriver::beforeExec in cleanup().
template <class D, class F> void driveDialogs(F f) {
    DialogDriver::beforeExec = [f](QDialog* d) {
        auto* typed = qobject_cast<D*>(d);
        QVERIFY2(typed, "an unexpected dialog was opened");
        f(typed);
    };
}
