// Save and load times of generated budgets (a save's time includes its complete read-back, also
// shown alone as "check"), with the process's peak memory and the peak of the load alone; every
// figure is the median of the runs.
//   bench_storage [--keep DIR] [--runs N] [--vs-libreoffice] [--legacy-accounts N]
//                 [transactions...]   (default: 10000 100000; 5 runs)
// --vs-libreoffice also times LibreOffice opening the same file headless (converting it to CSV,
// start-up included), when soffice is installed; the ratio is LibreOffice's time over ours.
// --legacy-accounts times the start-up load of a legacy XML budget with N top-level accounts.
// --load FILE only loads FILE (a workbook, or a legacy budget when it ends in .xml), in a
// process that did nothing else, so its peak is the load's.

#include "budgetgen.h"
#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/legacybudget.h"
#include "storage/savecheck.h"
#include "storage/workbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// CPU time of the process (the load runs on several threads): on a shared machine the wall
// clock also counts other people's work.
double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The kernel's peak resident size is reset here, so the next reading is the peak of what ran
// in between.
void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double peakSinceResetMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Wall seconds LibreOffice takes to open the workbook headless and write its first sheet as
// CSV, in a profile of its own so a running instance is not reused; negative when it failed.
double libreOfficeSeconds(const QString& soffice, const QString& path, const QDir& dir) {
    const QString out = dir.filePath(QStringLiteral("lo-out"));
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    p.start(soffice, {QStringLiteral("-env:UserInstallation=file://") +
                          dir.filePath(QStringLiteral("lo-profile")),
                      QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                      QStringLiteral("csv"), QStringLiteral("--outdir"), out, path});
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!QFileInfo::exists(QDir(out).filePath(QFileInfo(path).completeBaseName() + ".csv")))
        return -1;
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> counts;
    QString keep;
    int legacyAccounts = 0;
    int runs = 5;
    bool vsLibreOffice = false;
    QString loadOnly;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--keep" && i + 1 < args.size())
            keep = args[++i];
        else if (args[i] == u"--legacy-accounts" && i + 1 < args.size())
            legacyAccounts = args[++i].toInt();
        else if (args[i] == u"--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == u"--vs-libreoffice")
            vsLibreOffice = true;
        else if (args[i] == u"--load" && i + 1 < args.size())
            loadOnly = args[++i];
        else
            counts << args[i].toInt();
    }
    if (counts.isEmpty())
        counts = {10000, 100000};
    if (!loadOnly.isEmpty()) {
        std::vector<double> load, loadCpu;
        for (int run = 0; run < runs; ++run) {
            Budget loaded;
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuSeconds();
            QString error;
            if (loadOnly.endsWith(QStringLiteral(".xml"))) {
                const LegacyLoad r = loadLegacyBudget(loadOnly, loaded);
                error = r.status != 0 ? r.error : QString();
            } else {
                const WorkbookLoad r = loadWorkbook(loadOnly, loaded);
                error = r.status != 0 ? r.error : QString();
            }
            load.push_back(timer.nsecsElapsed() / 1e9);
            loadCpu.push_back(cpuSeconds() - cpu);
            if (!error.isNull()) {
                std::fprintf(stderr, "load failed after %.3f s: %s\n", load.back(),
                             qPrintable(error.isEmpty() ? QStringLiteral("?") : error));
                return 1;
            }
        }
        std::printf("load of %s: %.3f s (cpu %.3f s), peak %.1f MiB\n", qPrintable(loadOnly),
                    median(load), median(loadCpu), peakMiB());
        return 0;
    }
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
    QString soffice;
    if (vsLibreOffice) {
        soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            std::printf("LibreOffice is not installed: its part is skipped.\n");
    }
    std::printf("%12s %8s %8s %8s %9s %8s %8s %8s %9s %9s %8s %7s\n", "transactions", "save s",
                "save cpu", "check s", "check cpu", "load s", "load cpu", "file MiB", "load MiB",
                "peak MiB", "LO s", "LO/us");
    for (int count : counts) {
        auto budget = generateBudget(count);
        const QString path = dir.filePath(QStringLiteral("bench-%1.xlsx").arg(count));
        std::vector<double> save, saveCpu, check, checkCpu, load, loadCpu, loadPeak, lo;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuSeconds();
            const int status =
                writeWorkbookReplacing(path, *budget, budget->topLevelItemsForSave());
            save.push_back(timer.nsecsElapsed() / 1e9);
            saveCpu.push_back(cpuSeconds() - cpu);
            if (status != 0) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(saveErrorText(status)));
                return 1;
            }
            // The read-back a save makes before the file replaces the budget, on its own.
            timer.restart();
            const double checkStart = cpuSeconds();
            if (!writtenWorkbookIsWhole(path, expectedTransactionsDigest(*budget))) {
                std::fprintf(stderr, "the saved file does not read back whole\n");
                return 1;
            }
            check.push_back(timer.nsecsElapsed() / 1e9);
            checkCpu.push_back(cpuSeconds() - checkStart);
        }
        budget.reset();
        for (int run = 0; run < runs; ++run) {
            resetPeak();
            Budget loaded;
            QElapsedTimer timer;
            timer.start();
            const double cpu = cpuSeconds();
            const WorkbookLoad r = loadWorkbook(path, loaded);
            load.push_back(timer.nsecsElapsed() / 1e9);
            loadCpu.push_back(cpuSeconds() - cpu);
            loadPeak.push_back(peakSinceResetMiB());
            if (r.status != 0 || int(loaded.transactions().size()) != count) {
                std::fprintf(stderr, "load failed: %s\n", qPrintable(r.error));
                return 1;
            }
        }
        if (!soffice.isEmpty()) // once untimed, so its first-run set-up is not counted
            libreOfficeSeconds(soffice, path, dir);
        for (int run = 0; !soffice.isEmpty() && run < runs; ++run) {
            const double seconds = libreOfficeSeconds(soffice, path, dir);
            if (seconds < 0) {
                std::fprintf(stderr, "LibreOffice failed to open %s\n", qPrintable(path));
                return 1;
            }
            lo.push_back(seconds);
        }
        const double loSeconds = median(lo);
        std::printf("%12d %8.3f %8.3f %8.3f %9.3f %8.3f %8.3f %8.2f %9.1f %9.1f %8.2f %7.1f\n",
                    count, median(save), median(saveCpu), median(check), median(checkCpu),
                    median(load), median(loadCpu), QFileInfo(path).size() / 1048576.0,
                    median(loadPeak), peakMiB(), loSeconds,
                    lo.empty() ? 0.0 : loSeconds / median(load));
    }
    return 0;
}
