// Times the model's refresh work at 10,000 and 100,000 transactions.
#include "budgetgen.h"

#include "model/clock.h"
#include "model/health.h"
#include "model/treevalues.h"

#include <chrono>
#include <cstdio>

int main() {
    for (int count : {10000, 100000}) {
        auto budget = generateBudget(count);
        auto start = std::chrono::steady_clock::now();
        StyledText health = buildBudgetHealth(*budget);
        auto mid = std::chrono::steady_clock::now();
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
        auto end = std::chrono::steady_clock::now();
        using ms = std::chrono::duration<double, std::milli>;
        std::printf("%7d transactions: health report %.2f ms (%zu runs), %zu tree rows %.2f ms\n",
                    count, ms(mid - start).count(), health.size(), rows, ms(end - mid).count());
    }
    return 0;
}
