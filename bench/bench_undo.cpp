// Undo at 100,000 transactions: the memory a step keeps (heap growth that stays once the
// step is closed), the cost of opening and closing it, and the time to undo and redo it.
#include "budgetgen.h"

#include "model/clock.h"
#include "model/undo.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <malloc.h>

namespace {
using Clock_ = std::chrono::steady_clock;
double msSince(Clock_::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock_::now() - start).count();
}
long heapInUse() {
    return long(mallinfo2().uordblks);
}

AccountEnvelope* firstEnvelope(Budget& b) {
    return static_cast<AccountEnvelope*>(b.itemsOfType(ItemType::Envelope).front());
}
Account* firstAccount(Budget& b) {
    return static_cast<Account*>(b.itemsOfType(ItemType::Account).front());
}
} // namespace

int main() {
    const int count = 100000;
    auto budget = generateBudget(count);
    Budget& b = *budget;
    UndoHistory history(b);

    struct Case {
        const char* name;
        std::function<void()> run;
    };
    const std::vector<Case> cases = {
        {"record expense",
         [&] {
             b.recordTransaction(makeTransaction(TransactionType::Expense, -1234,
                                                 firstAccount(b)->id(), kNoId,
                                                 firstEnvelope(b)->id(), "Shop", "bench"));
         }},
        {"edit old transaction's day",
         [&] {
             const Transaction* t = b.transactions()[std::size_t(count / 2)];
             Transaction changed = *t;
             changed.amount -= 100;
             changed.transactionTime = b.transactions()[10]->transactionTime;
             b.editTransaction(t, changed);
         }},
        {"delete 10 transactions",
         [&] {
             for (int i = 0; i < 10; ++i)
                 b.removeTransaction(b.transactions()[std::size_t(1000 * i + 7)]);
         }},
        {"fund every envelope",
         [&] {
             for (AccountBase* e : b.itemsOfType(ItemType::Envelope))
                 e->adjustBalance(100);
         }},
        {"import 200 from last month",
         [&] {
             const DateTime now = Clock::now();
             std::vector<Transaction> batch;
             for (int i = 0; i < 200; ++i) {
                 DateTime when = previousMonth(now);
                 when.day = quint16(1 + i % 28);
                 batch.push_back(makeTransaction(TransactionType::Expense, -i,
                                                 firstAccount(b)->id(), kNoId,
                                                 firstEnvelope(b)->id(), "Import", "", when));
             }
             b.recordTransactions(std::move(batch));
         }},
    };

    std::printf("%d transactions, %zu items\n", int(b.transactions().size()), b.registry().size());
    // The history keeps its snapshot buffer (one image per item) from step to step; a first
    // step allocates it, so it is not counted against any step below.
    history.begin();
    firstAccount(b)->setName("warm-up");
    history.end("warm-up");
    for (const Case& c : cases) {
        const long before = heapInUse();
        auto start = Clock_::now();
        history.begin();
        c.run();
        history.end(c.name);
        const double stepMs = msSince(start);
        const long kept = heapInUse() - before;
        start = Clock_::now();
        history.undo();
        const double undoMs = msSince(start);
        start = Clock_::now();
        history.redo();
        const double redoMs = msSince(start);
        std::printf("%-28s step kept %8.1f KB (incl. its own new data) | begin+work+end %7.2f ms "
                    "| undo %6.2f ms | redo %6.2f ms\n",
                    c.name, kept / 1024.0, stepMs, undoMs, redoMs);
    }

    // A full history of ordinary steps, from an empty history (no step pushed out).
    history.clear();
    const long before = heapInUse();
    for (int i = 0; i < 100; ++i) {
        history.begin();
        const Transaction* t =
            createTransaction(b, TransactionType::Expense, -i, firstAccount(b)->id(), kNoId,
                              firstEnvelope(b)->id(), "Shop", "bench");
        applyTransaction(b, *t, false);
        history.end("Record expense");
    }
    std::printf("100 expense steps: %.1f KB in all, %.2f KB a step (the new transaction "
                "included)\n",
                (heapInUse() - before) / 1024.0, (heapInUse() - before) / 1024.0 / 100);
    return 0;
}
