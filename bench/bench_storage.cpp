// Save and load times of generated budgets, with the process's peak memory.
//   bench_storage [--keep DIR] [--legacy-accounts N] [transactions...]   (default: 10000 100000)
// --legacy-accounts times the start-up load of a legacy XML budget with N top-level accounts.

#include "budgetgen.h"
#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// CPU time of this thread: on a shared machine the wall clock also counts other people's work.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> counts;
    QString keep;
    int legacyAccounts = 0;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--keep" && i + 1 < args.size())
            keep = args[++i];
        else if (args[i] == u"--legacy-accounts" && i + 1 < args.size())
            legacyAccounts = args[++i].toInt();
        else
            counts << args[i].toInt();
    }
    if (counts.isEmpty())
        counts = {10000, 100000};
    QTemporaryDir temp;
    const QDir dir(keep.isEmpty() ? temp.path() : keep);
    if (legacyAccounts > 0) {
        QFile xml(dir.filePath(QStringLiteral("bench.xml")));
        if (!xml.open(QIODevice::WriteOnly))
            return 1;
        xml.write("<budget><accounts>");
        for (int i = 1; i <= legacyAccounts; ++i)
            xml.write(QStringLiteral("<accountItem type=\"0\" id=\"%1\" name=\"Account %1\" "
                                     "balance=\"%1\"/>")
                          .arg(i)
                          .toUtf8());
        xml.write("</accounts></budget>");
        xml.close();
        Budget budget;
        BudgetFile file(dir.filePath(QStringLiteral("bench")));
        QElapsedTimer timer;
        timer.start();
        const double cpu = cpuSeconds();
        const int status = file.load(budget);
        std::printf("legacy load of %d accounts: %.3f s (cpu %.3f s), status %d, shown %zu\n",
                    legacyAccounts, timer.nsecsElapsed() / 1e9, cpuSeconds() - cpu, status,
                    budget.accountOrder().size());
        return status;
    }
    std::printf("%12s %10s %10s %10s %10s %10s %12s\n", "transactions", "save s", "save cpu",
                "load s", "load cpu", "file MiB", "peak MiB");
    for (int count : counts) {
        auto budget = generateBudget(count);
        const QString path = dir.filePath(QStringLiteral("bench-%1.xlsx").arg(count));
        QElapsedTimer timer;
        timer.start();
        double cpu = cpuSeconds();
        const int status = writeWorkbookReplacing(path, *budget, budget->topLevelItemsForSave());
        const double saveSeconds = timer.nsecsElapsed() / 1e9;
        const double saveCpu = cpuSeconds() - cpu;
        if (status != 0) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(saveErrorText(status)));
            return 1;
        }
        budget.reset();
        Budget loaded;
        timer.restart();
        cpu = cpuSeconds();
        const WorkbookLoad r = loadWorkbook(path, loaded);
        const double loadSeconds = timer.nsecsElapsed() / 1e9;
        const double loadCpu = cpuSeconds() - cpu;
        if (r.status != 0 || int(loaded.transactions().size()) != count) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(r.error));
            return 1;
        }
        std::printf("%12d %10.3f %10.3f %10.3f %10.3f %10.2f %12.1f\n", count, saveSeconds, saveCpu,
                    loadSeconds, loadCpu, QFileInfo(path).size() / 1048576.0, peakMiB());
    }
    return 0;
}
