#pragma once
// The present moment. Everything that depends on "now" asks here, so tests can pin it.

#include "model/money.h"

namespace Clock {
// The local time, or the fixed time while one is set.
DateTime now();
void fix(const DateTime& dt);
void release();
} // namespace Clock

// Pins Clock::now() for the lifetime of the object (tests).
class FixedClock {
public:
    explicit FixedClock(const DateTime& dt) { Clock::fix(dt); }
    ~FixedClock() { Clock::release(); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
};
