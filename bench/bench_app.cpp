// The application's start-up and refresh costs with a large budget, and screenshots of the
// main window with a realistic small one.
//
//   bench_app                 timings with 100,000 transactions (written to a temporary
//                             workbook first, so loading is part of the start-up figure)
//   bench_app --shots <dir>   window screenshots at 1366x768 and 1920x1080, in en_US and
//                             de_DE, with Checking's register shown, into <dir>
//   bench_app --workbook <executable>
//                             writes the screenshot budget as that executable's workbook,
//                             to look at the real program with it

#include "app/accountlist.h"
#include "app/envelopetree.h"
#include "app/mainwindow.h"
#include "app/reconciledialog.h"
#include "app/transactionlist.h"
#include "budgetgen.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "model/reconcile.h"
#include "model/undo.h"
#include "storage/budgetfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unordered_map>

namespace {
class PrintingPrompter : public Prompter {
public:
    bool askYesNo(const QString& title, const QString& text, PromptIcon) override {
        std::printf("question: %s: %s\n", qPrintable(title), qPrintable(text));
        return true;
    }
    void inform(const QString& title, const QString& text, PromptIcon) override {
        std::printf("message: %s: %s\n", qPrintable(title), qPrintable(text));
    }
};

DateTime at(int y, int m, int d, int hour = 12) {
    DateTime dt;
    dt.year = quint16(y);
    dt.month = quint16(m);
    dt.day = quint16(d);
    dt.hour = quint16(hour);
    return dt;
}

// A household budget: two pay-day folders, a savings folder, a card, three months of life.
void buildShowcase(Budget& b) {
    auto account = [&](const QString& name, Amount balance, bool card = false,
                       bool inBudget = true) {
        Account* a = b.createAccount();
        a->setName(name);
        a->setStoredBalance(balance);
        a->setCCAccount(card);
        a->setContributesToBudget(inBudget);
        b.showTopLevel(a);
        return a;
    };
    Account* checking = account(QStringLiteral("Checking"), 412850);
    Account* savings = account(QStringLiteral("Savings"), 1250000);
    Account* visa = account(QStringLiteral("Visa"), -38625, true);
    account(QStringLiteral("Brokerage"), 2890000, false, false);

    auto folder = [&](const QString& name, Amount limit) {
        AccountGroup* f = b.createFolder();
        f->setName(name);
        f->setExpenseLimit(limit);
        b.showTopLevel(f);
        return f;
    };
    auto envelope = [&](AccountGroup* f, const QString& name, Amount budgeted, Amount balance,
                        Amount goal = 0) {
        AccountEnvelope* e = b.createEnvelope();
        e->setName(name);
        e->setBudgeted(budgeted);
        e->setStoredBalance(balance);
        e->setSavingsGoal(goal);
        e->setVirtualAccount(true);
        e->setDefaultPayFromAccount(checking->id());
        f->addChild(e);
        return e;
    };
    AccountGroup* first = folder(QStringLiteral("15th"), -250000);
    AccountEnvelope* rent = envelope(first, QStringLiteral("Rent"), -145000, 145000);
    AccountEnvelope* power = envelope(first, QStringLiteral("Electricity"), -9500, 6120);
    AccountEnvelope* phone = envelope(first, QStringLiteral("Phone and internet"), -8900, 8900);
    AccountGroup* last = folder(QStringLiteral("31st"), -120000);
    AccountEnvelope* groceries = envelope(last, QStringLiteral("Groceries"), -60000, 21540);
    AccountEnvelope* fuel = envelope(last, QStringLiteral("Fuel"), -18000, 4210);
    AccountEnvelope* dining = envelope(last, QStringLiteral("Dining out"), -12000, 0);
    AccountEnvelope* gifts = envelope(last, QStringLiteral("Gifts"), -5000, 12000);
    AccountGroup* goals = folder(QStringLiteral("Savings goals"), 0);
    envelope(goals, QStringLiteral("Vacation"), -20000, 96000, 300000);
    envelope(goals, QStringLiteral("New laptop"), -10000, 45000, 150000);
    envelope(goals, QStringLiteral("Emergency"), 0, 150000, 600000);
    ensureCardChargesEnvelope(b, visa);
    if (AccountEnvelope* charges = b.findEnvelope(kChargesEnvelopeId))
        charges->setStoredBalance(38625);

    const QStringList shops{QStringLiteral("Food Mart"), QStringLiteral("Green Grocer"),
                            QStringLiteral("Corner Shop")};
    std::uint32_t seed = 7;
    auto next = [&](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % std::uint32_t(n));
    };
    const DateTime now = Clock::now();
    for (int back = 2; back >= 0; --back) {
        int year = now.year;
        int month = now.month - back;
        if (month < 1) {
            month += 12;
            --year;
        }
        const int lastDay = back == 0 ? qMax(1, int(now.day)) : 28;
        auto on = [&](int day) { return at(year, month, qMin(day, lastDay), 9 + next(9)); };
        auto expense = [&](Account* from, AccountEnvelope* e, Amount amount, const QString& payee,
                           const QString& text, int day) {
            createTransaction(b, TransactionType::Expense, -amount, from->id(), kNoId, e->id(),
                              payee, text, on(day));
        };
        createTransaction(b, TransactionType::Deposit, 310000, kNoId, checking->id(), kNoId,
                          QStringLiteral("Employer"), QStringLiteral("Salary"), on(1));
        createTransaction(b, TransactionType::Deposit, 310000, kNoId, checking->id(), kNoId,
                          QStringLiteral("Employer"), QStringLiteral("Salary"), on(15));
        createTransaction(b, TransactionType::Transfer, 40000, checking->id(), savings->id(), kNoId,
                          QString(), QStringLiteral("Monthly saving"), on(2));
        expense(checking, rent, 145000, QStringLiteral("Landlord"), QStringLiteral("Rent"), 3);
        expense(checking, power, 8200 + next(2000), QStringLiteral("City Power"), QString(), 9);
        expense(checking, phone, 8900, QStringLiteral("Telco"), QStringLiteral("Fibre"), 12);
        for (int i = 0; i < 80; ++i) {
            const int day = 1 + next(28);
            switch (next(6)) {
            case 0:
            case 1:
                expense(next(3) ? checking : visa, groceries, 1500 + next(9000),
                        shops[next(shops.size())], QStringLiteral("Weekly shop"), day);
                break;
            case 2:
                expense(visa, fuel, 3000 + next(4000), QStringLiteral("Fuel Stop"), QString(), day);
                break;
            case 3:
                expense(visa, dining, 1200 + next(5000), QStringLiteral("Noodle Bar"),
                        QStringLiteral("Dinner"), day);
                break;
            case 4:
                expense(checking, gifts, 1000 + next(3000), QStringLiteral("Book Nook"),
                        QStringLiteral("Birthday"), day);
                break;
            default:
                expense(checking, groceries, 300 + next(1500), QStringLiteral("Bakery"), QString(),
                        day);
                break;
            }
        }
        createTransaction(b, TransactionType::CCPayment, -35000, checking->id(), visa->id(), kNoId,
                          QString(), QStringLiteral("Card bill"), on(20));
    }
    b.sortTransactionsByTime();

    // The bank's view of Checking: reconciled to the end of last month, this month's first
    // half booked, and a statement imported three days ago that books the rest up to then.
    const QDate today(now.year, now.month, now.day);
    const DateTime monthEnd = fromQDateTime(QDate(now.year, now.month, 1).addDays(-1).startOfDay());
    Reconciliation lastMonth(b, *checking, monthEnd);
    for (std::size_t i = 0; i < lastMonth.rows().size(); ++i)
        lastMonth.setTicked(i, true);
    finishReconcile(b, *checking, lastMonth, monthEnd, clampAmount(lastMonth.clearedTotal()), false,
                    now);
    std::vector<ClearedChange> booked;
    const DateTime statementDay = fromQDateTime(today.addDays(-3).startOfDay());
    std::int64_t statement = clearedBalance(b, *checking);
    for (const Transaction* t : b.transactions()) {
        if (clearedStateOn(*t, checking->id()) != ClearedState::Uncleared ||
            (t->accountFrom != checking->id() && t->accountTo != checking->id()))
            continue;
        // The bakery's card payments the bank shows at once, the rest once the statement has them.
        if (serialDayOf(t->transactionTime) > serialDayOf(statementDay)) {
            if (t->payee == QStringLiteral("Bakery"))
                booked.push_back({t, checking->id(), ClearedState::Cleared});
            continue;
        }
        if (t->transactionTime.day <= 14)
            booked.push_back({t, checking->id(), ClearedState::Cleared});
        statement += accountChange(*t, checking->id());
    }
    b.setClearedStates(booked);
    checking->setStatementBalance(statementDay, clampAmount(statement));
}

void settle(QWidget* w) {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    w->repaint();
}

int takeShots(const QString& dir) {
    FixedClock clock(at(2026, 11, 24, 10));
    Budget budget;
    buildShowcase(budget);
    PrintingPrompter prompter;
    QDir().mkpath(dir);
    for (const QString& locale : {QStringLiteral("en_US"), QStringLiteral("de_DE")}) {
        QLocale::setDefault(QLocale(locale));
        for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
            MainWindow window(budget, &prompter);
            window.resize(size);
            window.populate();
            window.show();
            window.envelopeTree()->setCurrentItem(window.envelopeTree()->topLevelItem(1)->child(0));
            // Checking's own register: its side of every amount and its running balance.
            window.filterBar()->byAccount()->setChecked(true);
            window.accountList()->selectRow(0);
            window.rebuildTransactionList();
            settle(&window);
            const QString file = QDir(dir).filePath(QStringLiteral("window-%1-%2x%3.png")
                                                        .arg(locale)
                                                        .arg(size.width())
                                                        .arg(size.height()));
            window.grab().save(file);
            std::printf("%s\n", qPrintable(file));
            if (size.width() != 1366)
                continue;
            ReconcileDialog reconcile(budget, *budget.accountOrder().front(), &window);
            reconcile.show();
            settle(&reconcile);
            const QString shot = QDir(dir).filePath(QStringLiteral("reconcile-%1.png").arg(locale));
            reconcile.grab().save(shot);
            std::printf("%s\n", qPrintable(shot));
        }
    }
    return 0;
}

int writeShowcase(const QString& executable) {
    Budget budget;
    buildShowcase(budget);
    PrintingPrompter prompter;
    BudgetFile file(executable);
    if (file.save(budget, prompter) != 0)
        return 1;
    std::printf("%s\n", qPrintable(file.workbookPath()));
    return 0;
}

double ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

// This thread's processor time: on a machine busy with other work the wall clock says more
// about the neighbours than about the code measured.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int runBench() {
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("bench_app_budget"));
    PrintingPrompter prompter;
    {
        std::unique_ptr<Budget> generated = generateBudget(100000);
        BudgetFile file(exe);
        QElapsedTimer t;
        t.start();
        if (file.save(*generated, prompter) != 0)
            return 1;
        std::printf("preparing: wrote %zu transactions in %.0f ms\n",
                    generated->transactions().size(), ms(t));
    }

    // From here on the process is what the program is: its peak is the program's.
    if (QFile clear(QStringLiteral("/proc/self/clear_refs")); clear.open(QIODevice::WriteOnly))
        clear.write("5");
    QElapsedTimer start;
    start.start();
    Budget budget;
    BudgetFile file(exe);
    const int status = file.load(budget);
    const double loaded = ms(start);
    MainWindow window(budget, &prompter);
    window.resize(1920, 1080);
    window.populate();
    window.show();
    settle(&window);
    const double shown = ms(start);
    std::printf("start to window shown: %.1f ms (load %.1f ms, status %d, %zu transactions)\n",
                shown, loaded, status, budget.transactions().size());

    const int rounds = 10;
    QElapsedTimer t;
    t.start();
    double cpu = cpuMs();
    for (int i = 0; i < rounds; ++i) {
        // What a saved command costs: texts, the tree's values afresh, repaint.
        window.refreshTexts();
        window.envelopeTree()->invalidateValues();
        window.envelopeTree()->computeColumnWidths();
        window.envelopeTree()->viewport()->repaint();
        window.repaintAccountList();
    }
    std::printf("full refresh (texts, tree values and widths, repaint): %.1f ms (cpu %.1f ms)\n",
                ms(t) / rounds, (cpuMs() - cpu) / rounds);

    t.restart();
    cpu = cpuMs();
    for (int i = 0; i < rounds; ++i) {
        window.rebuildTransactionList();
        window.transactionList()->viewport()->repaint();
    }
    std::printf("transaction list rebuild (%d rows): %.1f ms (cpu %.1f ms)\n",
                window.transactionList()->model()->rowCount(), ms(t) / rounds,
                (cpuMs() - cpu) / rounds);

    // Typing a search: what the list costs once the pause after the last key has passed. The
    // first search makes the date and amount texts, the later ones reuse them.
    QLineEdit* search = window.filterBar()->searchField();
    for (const QString& text : {QStringLiteral("gro"), QStringLiteral("12.5"),
                                QStringLiteral("zzz"), QStringLiteral("gro")}) {
        search->setText(text);
        t.restart();
        cpu = cpuMs();
        window.rebuildTransactionList();
        window.transactionList()->viewport()->repaint();
        std::printf("search \"%s\" (%d rows): %.1f ms (cpu %.1f ms)\n", qPrintable(text),
                    window.transactionList()->model()->rowCount(), ms(t), cpuMs() - cpu);
    }
    search->clear();
    window.rebuildTransactionList();

    // Sorting all rows by a text column and by an amount column, then back to newest first.
    for (const int column : {int(PayeeColumn), int(OutflowColumn), int(DateColumn)}) {
        t.restart();
        cpu = cpuMs();
        window.transactionList()->sortByColumn(column, Qt::DescendingOrder);
        window.transactionList()->viewport()->repaint();
        std::printf("sort by column %d: %.1f ms (cpu %.1f ms)\n", column, ms(t), cpuMs() - cpu);
    }

    // One account's register with its running balance.
    window.filterBar()->byAccount()->setChecked(true);
    window.accountList()->selectRow(0);
    t.restart();
    cpu = cpuMs();
    window.rebuildTransactionList();
    window.transactionList()->viewport()->repaint();
    std::printf("account register with balances (%d rows): %.1f ms (cpu %.1f ms)\n",
                window.transactionList()->model()->rowCount(), ms(t), cpuMs() - cpu);

    // Reconcile on the account with the most transactions: the dialog built and shown, then
    // finishing with every row ticked (one undo step, the register and texts refreshed).
    {
        std::unordered_map<ItemId, int> counts;
        for (const Transaction* tr : budget.transactions()) {
            if (tr->accountFrom != kNoId)
                ++counts[tr->accountFrom];
            if (tr->accountTo != kNoId && tr->accountTo != tr->accountFrom)
                ++counts[tr->accountTo];
        }
        const auto busiest =
            std::max_element(counts.begin(), counts.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        Account* account = budget.findAccount(busiest->first);
        window.setSaver([](const Budget&, Prompter&) {});
        t.restart();
        cpu = cpuMs();
        auto dialog = std::make_unique<ReconcileDialog>(budget, *account, &window);
        dialog->show();
        settle(dialog.get());
        std::printf(
            "open Reconcile on %s (%d transactions, %d rows listed): %.1f ms (cpu %.1f ms)\n",
            qPrintable(account->getName()), busiest->second, dialog->table()->model()->rowCount(),
            ms(t), cpuMs() - cpu);
        Reconciliation& r = dialog->reconciliation();
        for (std::size_t i = 0; i < r.rows().size(); ++i)
            r.setTicked(i, true);
        t.restart();
        cpu = cpuMs();
        window.history().begin();
        finishReconcile(budget, *account, r, Clock::now(), clampAmount(r.clearedTotal()), false,
                        Clock::now());
        window.showChanges(window.history().end(QStringLiteral("Reconcile")));
        std::printf(
            "finish Reconcile (%zu rows reconciled, register refreshed): %.1f ms (cpu %.1f ms)\n",
            r.rows().size(), ms(t), cpuMs() - cpu);
        dialog.reset();
        t.restart();
        cpu = cpuMs();
        window.rebuildTransactionList();
        window.transactionList()->viewport()->repaint();
        std::printf("account register after the reconcile (%d rows): %.1f ms (cpu %.1f ms)\n",
                    window.transactionList()->model()->rowCount(), ms(t), cpuMs() - cpu);
    }

    t.restart();
    window.refreshBudgetHealth();
    std::printf("State of the Budget report: %.1f ms\n", ms(t));

    // A saved command, from the call to the event loop being free again; medians of 5. In
    // the foreground the write is inside that time, in the background only the snapshot is,
    // and the file is whole on disk when the worker is done.
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    Account* renamed = budget.accountOrder().front();
    std::vector<double> snapshots;
    for (int i = 0; i < 5; ++i) {
        t.restart();
        SaveSnapshot snap = takeSaveSnapshot(budget);
        snapshots.push_back(ms(t));
    }
    std::printf("save snapshot (%zu transactions): %.1f ms\n", budget.transactions().size(),
                median(snapshots));
    // "none" is the same command without any save: what the refresh alone blocks, so the
    // save's own share is the difference.
    enum Mode { NoSave, Foreground, Background };
    for (const Mode mode : {NoSave, Foreground, Background}) {
        const bool background = mode == Background;
        if (mode == NoSave)
            window.setSaver([](const Budget&, Prompter&) {});
        else if (background)
            window.setSaver([&file](const Budget& b, Prompter& p) { file.saveInBackground(b, p); });
        else
            window.setSaver([&file](const Budget& b, Prompter& p) { file.save(b, p); });
        std::vector<double> blocked, onDisk;
        for (int i = 0; i < 5; ++i) {
            renamed->setName(QStringLiteral("Checking %1").arg(i));
            t.restart();
            window.saveBudget();
            QCoreApplication::processEvents();
            blocked.push_back(ms(t));
            if (file.waitForSaves() != 0)
                return 1;
            onDisk.push_back(ms(t));
        }
        std::printf("save command, %s: window blocked %.1f ms, file complete after %.1f ms\n",
                    mode == NoSave ? "none"
                    : background   ? "background"
                                   : "foreground",
                    median(blocked), median(onDisk));
    }
    QFile procStatus(QStringLiteral("/proc/self/status"));
    if (procStatus.open(QIODevice::ReadOnly))
        for (const QByteArray& line : procStatus.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                std::printf(
                    "peak memory of the program (load, window, refreshes, saves): %.0f MiB\n",
                    line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0);
    return 0;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (argc >= 3 && QByteArray(argv[1]) == "--shots")
        return takeShots(QString::fromLocal8Bit(argv[2]));
    if (argc >= 3 && QByteArray(argv[1]) == "--workbook")
        return writeShowcase(QString::fromLocal8Bit(argv[2]));
    return runBench();
}
