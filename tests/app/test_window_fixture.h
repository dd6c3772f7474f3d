#pragma once
// A small budget shaped like a real one, and a main window over it, for the window tests.

#include "app/mainwindow.h"
#include "fakeprompter.h"
#include "model/budget.h"
#include "model/clock.h"
#include "testdates.h"

#include <QLocale>
#include <memory>

struct SampleBudget {
    Budget budget;
    Account* checking = nullptr;
    Account* savings = nullptr;
    Account* visa = nullptr;
    AccountGroup* bills = nullptr;
    AccountGroup* fun = nullptr;
    AccountGroup* archive = nullptr; // hidden
    AccountGroup* cards = nullptr;   // read-only "Credit cards"
    AccountEnvelope* rent = nullptr;
    AccountEnvelope* groceries = nullptr;
    AccountEnvelope* oldBills = nullptr; // hidden, between rent and groceries
    AccountEnvelope* power = nullptr;
    AccountEnvelope* vacation = nullptr;
    AccountEnvelope* charges = nullptr;

    static DateTime at(int y, int m, int d, int hour = 12) { return makeDate(y, m, d, hour); }

    Account* account(const QString& name, Amount balance, bool card = false) {
        Account* a = budget.createAccount();
        a->setName(name);
        a->setStoredBalance(balance);
        a->setCCAccount(card);
        budget.showTopLevel(a);
        return a;
    }
    AccountGroup* folder(const QString& name, Amount limit = 0) {
        AccountGroup* f = budget.createFolder();
        f->setName(name);
        f->setExpenseLimit(limit);
        budget.showTopLevel(f);
        return f;
    }
    AccountEnvelope* envelope(AccountGroup* in, const QString& name, Amount budgeted,
                              Amount balance, Amount goal = 0) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        e->setBudgeted(budgeted);
        e->setStoredBalance(balance);
        e->setSavingsGoal(goal);
        e->setVirtualAccount(true);
        in->addChild(e);
        return e;
    }
    const Transaction* add(TransactionType type, Amount amount, ItemId from, ItemId to,
                           ItemId category, const QString& payee, const QString& description,
                           const DateTime& when) {
        return createTransaction(budget, type, amount, from, to, category, payee, description,
                                 when);
    }

    SampleBudget() {
        checking = account(QStringLiteral("Checking"), 250000);
        savings = account(QStringLiteral("Savings"), 1000000);
        visa = account(QStringLiteral("Visa"), -4500, true);
        bills = folder(QStringLiteral("Bills"), -200000);
        rent = envelope(bills, QStringLiteral("Rent"), -120000, 120000);
        oldBills = envelope(bills, QStringLiteral("Old bills"), 0, 0);
        oldBills->setHidden(true);
        groceries = envelope(bills, QStringLiteral("Groceries"), -10000, 10000);
        power = envelope(bills, QStringLiteral("Power"), -9000, 4000);
        fun = folder(QStringLiteral("Fun"));
        vacation = envelope(fun, QStringLiteral("Vacation"), 0, 12500, 50000);
        archive = folder(QStringLiteral("Archive"));
        archive->setHidden(true);
        budget.removeFromOrder(archive);
        ensureCardChargesEnvelope(budget, visa);
        charges = budget.findEnvelope(kChargesEnvelopeId);
        cards = charges->getParent();

        add(TransactionType::Deposit, 300000, kNoId, checking->id(), kNoId,
            QStringLiteral("Employer"), QStringLiteral("Salary"), at(2026, 3, 1));
        add(TransactionType::Transfer, 50000, checking->id(), savings->id(), kNoId, QString(),
            QStringLiteral("Monthly saving"), at(2026, 3, 2));
        add(TransactionType::Expense, -11250, checking->id(), kNoId, groceries->id(),
            QStringLiteral("Food Mart"), QStringLiteral("Weekly shop"), at(2026, 3, 3));
        add(TransactionType::Expense, -4500, visa->id(), kNoId, groceries->id(),
            QStringLiteral("Corner Shop"), QString(), at(2026, 3, 4));
        add(TransactionType::CCPayment, -2000, checking->id(), visa->id(), kNoId, QString(),
            QStringLiteral("Card bill"), at(2026, 3, 5));
        add(TransactionType::Expense, 1500, checking->id(), kNoId, power->id(),
            QStringLiteral("Power Co"), QStringLiteral("Refund"), at(2026, 3, 6));
        add(TransactionType::Expense, -120000, checking->id(), kNoId, rent->id(),
            QStringLiteral("Landlord"), QStringLiteral("March rent"), at(2026, 3, 7));
        add(TransactionType::Expense, -999, checking->id(), kNoId, 999999,
            QStringLiteral("Lost envelope"), QString(), at(2026, 3, 8));
    }
};

// The window as the program builds it, with scripted answers and a recorded dispatch. Each
// dispatched command changes the budget a little (a mapping rule), as a real one would, so
// the window's save after it can be seen; changeOnDispatch = false makes it change nothing.
struct WindowFixture {
    FixedClock clock{SampleBudget::at(2026, 3, 15)};
    SampleBudget sample;
    FakePrompter prompter;
    MainWindow window{sample.budget, &prompter};
    QList<CommandRequest> dispatched;
    bool changeOnDispatch = true;
    int saves = 0;

    explicit WindowFixture(const QSize& size = QSize(1366, 768)) {
        window.setOperationHandler([this](const CommandRequest& r) {
            dispatched.append(r);
            if (changeOnDispatch)
                sample.budget.rules().addMappingRule(
                    QStringLiteral("DISPATCH %1").arg(dispatched.size()), kNoId, false, "x");
            return true;
        });
        window.setSaver([this](const Budget&, Prompter&) { ++saves; });
        window.resize(size);
        window.populate();
        window.show();
        window.layoutWindow();
    }
};

inline void pinLocale() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
