// The due check at start with 100,000 transactions and 500 schedules, as the window runs it
// (one undo step around it): on a day with nothing due, on an ordinary day, and after two
// months away. Also the upcoming list of the next 30 days.
#include "budgetgen.h"

#include "model/clock.h"
#include "model/schedule.h"
#include "model/undo.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
using Steady = std::chrono::steady_clock;
double msSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}
// CPU time of this thread: what other programs on the machine do does not count.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// 500 schedules over the budget's accounts and envelopes, every one up to date as of `upTo`.
void addSchedules(Budget& b, const QDate& upTo) {
    const auto accounts = b.itemsOfType(ItemType::Account);
    const auto envelopes = b.itemsOfType(ItemType::Envelope);
    for (int i = 0; i < 500; ++i) {
        Schedule s;
        s.amount = -(1000 + i * 37);
        s.payee = QStringLiteral("Payee %1").arg(i);
        s.accountFrom = accounts[std::size_t(i) % accounts.size()]->id();
        s.category = envelopes[std::size_t(i) % envelopes.size()]->id();
        s.unit = RepeatUnit(i % 10 == 0 ? 0 : i % 10 < 3 ? 1 : i % 10 < 9 ? 2 : 3);
        s.every = s.unit == RepeatUnit::Days ? 7 : s.unit == RepeatUnit::Weeks ? 2 : 1;
        s.first = QDate(2020, 1, 1).addDays(i % 28);
        s.lastDayOfMonth = i % 7 == 0;
        s.weekend = WeekendRule(i % 3);
        s.mode = i % 5 == 0 ? ScheduleMode::AskMe : ScheduleMode::Automatic;
        while (occurrenceDate(s, s.done).isValid() && occurrenceDate(s, s.done) <= upTo)
            ++s.done;
        b.schedules().push_back(s);
    }
}

struct Times {
    double wall = 0;
    double cpu = 0;
};

Times dueCheck(Budget& b, const QDate& today, int* entered) {
    UndoHistory history(b);
    const auto start = Steady::now();
    const double cpuStart = cpuMs();
    history.begin();
    const auto entering = Steady::now();
    *entered = enterDueOccurrences(b, today);
    const double enterMs = msSince(entering);
    const auto closing = Steady::now();
    history.end(QStringLiteral("Enter scheduled transactions"));
    const double cpu = cpuMs() - cpuStart;
    std::printf("  (entering %.3f ms, closing the step %.3f ms)\n", enterMs, msSince(closing));
    return {msSince(start), cpu};
}
} // namespace

int main() {
    const QDate today(2027, 6, 15);
    FixedClock clock(fromQDateTime(QDateTime(today, QTime(9, 0))));
    struct Case {
        const char* name;
        QDate upTo;
    };
    for (const Case& c : {Case{"nothing due", today}, Case{"one day's due", today.addDays(-1)},
                          Case{"two months away", today.addMonths(-2)}}) {
        std::vector<double> wall;
        std::vector<double> cpu;
        int entered = 0;
        for (int run = 0; run < 5; ++run) {
            auto budget = generateBudget(100000);
            addSchedules(*budget, c.upTo);
            const Times t = dueCheck(*budget, today, &entered);
            wall.push_back(t.wall);
            cpu.push_back(t.cpu);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("due check, %-16s %4d entered: CPU median %.3f ms (min %.3f, max %.3f), "
                    "wall median %.3f ms\n",
                    c.name, entered, cpu[2], cpu[0], cpu[4], wall[2]);
    }
    auto budget = generateBudget(100000);
    addSchedules(*budget, today);
    const auto start = Steady::now();
    std::size_t rows = 0;
    for (int i = 0; i < 20; ++i)
        rows = upcomingEntries(*budget, today).size();
    std::printf("upcoming list, next 30 days: %zu rows, %.3f ms each\n", rows, msSince(start) / 20);
    return 0;
}
