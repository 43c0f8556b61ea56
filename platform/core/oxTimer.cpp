#include "platform/core/oxTimer.h"

#include <chrono>

namespace Kel::Core {

namespace {
oxTimer::Clock g_clock = nullptr;
}

int64_t oxTimer::getGlobalTimeAsLong()
{
    if (g_clock)
        return g_clock();
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

oxTimer::Clock oxTimer::setClock(Clock clock)
{
    Clock old = g_clock;
    g_clock = clock;
    return old;
}

} // namespace Kel::Core
