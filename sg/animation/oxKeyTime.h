#pragma once
#include <cstdint>

namespace Kel::Sg {

// Key times are signed nanoseconds. Fractions of a segment are formed on times in units of
// 2^18 ns (about a quarter of a millisecond) read as 32-bit floats: no 64-bit-to-float
// conversion per evaluation, and finer than any frame.
inline float oxCoarseTime(int64_t t)
{
    return float(uint32_t(uint64_t(t >> 18)));
}

// a / b, or 0 for a segment shorter than one unit (two keys at the same coarse time).
inline float oxSegmentFraction(float a, float b)
{
    return b >= 0.000001f ? a / b : 0.0f;
}

// Moves a key cursor c (the right-hand key of a segment) to where a walk key by key would
// leave it for time t: up while time(c) < t (at most to n), down while time(c - 1) > t (at
// most to 0). A few steps are walked, which is all that time running forwards needs; a longer
// way (a seek) is a binary search over the keys, ending where the walk would on ascending
// times, so that the cursor never changes the answer, only what it costs.
template <class TimeAt>
int oxSeekKey(int c, int n, int64_t t, TimeAt&& time)
{
    constexpr int kWalk = 4;
    if (time(c) < t) {
        int r = c + 1;
        for (int k = 0; k < kWalk && r < n && time(r) < t; ++k)
            ++r;
        if (r < n && time(r) < t) {
            int lo = r + 1, hi = n;
            while (lo < hi) {
                const int mid = lo + (hi - lo) / 2;
                if (time(mid) < t)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            r = lo;
        }
        return r;
    }
    if (c > 0 && t < time(c - 1)) {
        int r = c - 1;
        for (int k = 0; k < kWalk && r > 0 && time(r - 1) > t; ++k)
            --r;
        if (r > 0 && time(r - 1) > t) {
            int lo = 0, hi = r - 1;
            while (lo < hi) {
                const int mid = lo + (hi - lo) / 2;
                if (time(mid) > t)
                    hi = mid;
                else
                    lo = mid + 1;
            }
            r = lo;
        }
        return r;
    }
    return c;
}

} // namespace Kel::Sg
