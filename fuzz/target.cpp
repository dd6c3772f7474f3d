// One libFuzzer target; TALLYKEEP_FUZZ_TARGET names which check of checks.h it runs.

#include "checks.h"

#include <QLocale>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // QIF dates read day and month in the locale's order; keep findings reproducible.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static const fuzzcheck::Check check =
        fuzzcheck::byTarget(QStringLiteral(TALLYKEEP_FUZZ_TARGET));
    const QString why = check(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!why.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", TALLYKEEP_FUZZ_TARGET, qPrintable(why));
        std::abort();
    }
    return 0;
}
