#pragma once
// Fourteen months of a small budget (January 2024 to February 2025, today 15 February 2025)
// whose reports over time are worked out by hand in the tests: a salary, a transfer to an
// off-budget account, a card expense and its payment, an envelope overspent and then
// refunded, and an envelope without a monthly budget.

#include "model/budget.h"
#include "model/clock.h"
#include "testdates.h"

struct TrendBudget {
    Budget budget;
    Account* checking = nullptr;
    Account* savings = nullptr;
    Account* visa = nullptr;
    AccountEnvelope* food = nullptr;  // 300.00 a month
    AccountEnvelope* fun = nullptr;   // 50.00 a month, overspent in April 2024
    AccountEnvelope* gifts = nullptr; // no monthly budget

    static DateTime today() { return makeDate(2025, 2, 15, 12); }

    TrendBudget() {
        FixedClock clock(today());
        checking = account(QStringLiteral("Checking"), 100000, true);
        savings = account(QStringLiteral("Savings"), 300000, false);
        visa = account(QStringLiteral("Visa"), 0, true);
        visa->setCCAccount(true);
        ensureCardChargesEnvelope(budget, visa);
        AccountGroup* living = folder(QStringLiteral("Living"));
        AccountGroup* extras = folder(QStringLiteral("Extras"));
        food = envelope(living, QStringLiteral("Food"), -30000);
        fun = envelope(extras, QStringLiteral("Fun"), -5000);
        gifts = envelope(extras, QStringLiteral("Gifts"), 0);

        using T = TransactionType;
        add(T::Deposit, 200000, nullptr, checking, kNoId, makeDate(2024, 1, 5));
        add(T::Expense, -12000, checking, nullptr, food->id(), makeDate(2024, 1, 10));
        add(T::Expense, -8000, visa, nullptr, food->id(), makeDate(2024, 2, 3));
        add(T::CCPayment, -8000, checking, visa, kChargesEnvelopeId, makeDate(2024, 2, 20));
        add(T::Transfer, 50000, checking, savings, kNoId, makeDate(2024, 3, 15));
        add(T::Expense, -7000, checking, nullptr, fun->id(), makeDate(2024, 4, 2));
        add(T::Expense, 1500, checking, nullptr, fun->id(), makeDate(2024, 4, 9)); // refund
        add(T::Deposit, 100000, nullptr, checking, kNoId, makeDate(2024, 6, 1));
        add(T::Expense, -20000, visa, nullptr, gifts->id(), makeDate(2024, 12, 24));
        add(T::Deposit, 200000, nullptr, checking, kNoId, makeDate(2025, 1, 10));
        add(T::CCPayment, -20000, checking, visa, kChargesEnvelopeId, makeDate(2025, 1, 15));
        add(T::Expense, -5000, checking, nullptr, food->id(), makeDate(2025, 2, 5));

        // Today's envelope balances, as the user left them by funding.
        setBalance(food, 25000);
        setBalance(fun, 5000);
        setBalance(gifts, 0);
        setBalance(budget.findEnvelope(kChargesEnvelopeId), 0);
    }

    Account* account(const QString& name, Amount opening, bool inBudget) {
        Account* a = budget.createAccount();
        a->setName(name);
        a->adjustBalance(opening);
        a->setContributesToBudget(inBudget);
        budget.showTopLevel(a);
        return a;
    }
    AccountGroup* folder(const QString& name) {
        AccountGroup* f = budget.createFolder();
        f->setName(name);
        budget.showTopLevel(f);
        return f;
    }
    AccountEnvelope* envelope(AccountGroup* parent, const QString& name, Amount budgeted) {
        AccountEnvelope* e = budget.createEnvelope();
        e->setName(name);
        e->setBudgeted(budgeted);
        e->setVirtualAccount(true);
        e->setCreatedDate(makeDate(2024, 1, 1));
        parent->addChild(e);
        return e;
    }
    void add(TransactionType type, Amount amount, Account* from, Account* to, ItemId category,
             const DateTime& when) {
        const Transaction* t = createTransaction(budget, type, amount, from ? from->id() : kNoId,
                                                 to ? to->id() : kNoId, category,
                                                 QStringLiteral("Payee"), QString(), when);
        applyTransaction(budget, *t, false);
    }
    static void setBalance(AccountBase* item, Amount value) {
        item->adjustBalance(value - item->getBalance());
    }
};
