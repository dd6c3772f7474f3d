#include "model/clock.h"

#include <QDateTime>
#include <optional>

namespace {
std::optional<DateTime> fixedNow;
}

namespace Clock {
DateTime now() {
    if (fixedNow)
        return *fixedNow;
    return fromQDateTime(QDateTime::currentDateTime());
}

void fix(const DateTime& dt) {
    fixedNow = dt;
}

void release() {
    fixedNow.reset();
}
} // namespace Clock
