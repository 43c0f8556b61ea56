#pragma once
#include <cstdint>

namespace Kel::Core {

// Global time in nanoseconds. Monotonic by default; a host that drives its own clock (a
// replay, a fixed-step simulation) or a test installs a replacement.
class oxTimer {
public:
    using Clock = int64_t (*)();

    static int64_t getGlobalTimeAsLong();
    static double getGlobalTimeAsSeconds() { return double(getGlobalTimeAsLong()) * 1e-9; }
    // Returns the previous clock; null restores the monotonic one.
    static Clock setClock(Clock clock);
};

} // namespace Kel::Core
