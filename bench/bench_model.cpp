// Times the model's refresh work at 10,000 and 100,000 transactions: the health report and
// every tree row's values (with averages) as one refresh computes them, beside the
// per-envelope scans they replace.
#include "budgetgen.h"

#include "model/clock.h"
#include "model/health.h"
#include "model/treevalues.h"

#include <chrono>
#include <cstdio>

namespace {
using Clock_ = std::chrono::steady_clock;
double msSince(Clock_::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock_::now() - start).count();
}
} // namespace

int main() {
    for (int count : {10000, 100000}) {
        auto start = Clock_::now();
        auto budget = generateBudget(count);
        const double generated = msSince(start);

        start = Clock_::now();
        const StyledText health = buildBudgetHealth(*budget);
        const double healthMs = msSince(start);

        start = Clock_::now();
        const MonthFlows flows = MonthFlows::compute(*budget);
        std::size_t rows = 0;
        for (AccountGroup* folder : budget->folderOrder()) {
            computeTreeRowValues(*budget, *folder, flows);
            ++rows;
            for (AccountBase* child : folder->children()) {
                computeTreeRowValues(*budget, *child, flows);
                ++rows;
            }
        }
        const double treeMs = msSince(start);

        // What the rows would cost with one history scan per row and per average.
        start = Clock_::now();
        for (AccountBase* item : budget->itemsOfType(ItemType::Envelope)) {
            actualThisMonth(*budget, *item);
            envelopeSpendingAverages(*budget, static_cast<AccountEnvelope&>(*item), true, -1, -1);
        }
        const double perRowMs = msSince(start);

        start = Clock_::now();
        budget->sortTransactionsByTime();
        budget->normaliseAfterLoad();
        const double sortMs = msSince(start);

        std::printf("%6d transactions: generate %.1f ms | health %.2f ms (%zu runs) | %zu tree "
                    "rows %.2f ms | per-row scans %.1f ms | sort+normalise %.1f ms\n",
                    count, generated, healthMs, health.size(), rows, treeMs, perRowMs, sortMs);
    }
    return 0;
}
