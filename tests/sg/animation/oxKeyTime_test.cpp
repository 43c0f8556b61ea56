#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sg/animation/oxKeyTime.h"

using namespace Kel::Sg;

namespace {

// The walk the seek stands for, key by key.
int walk(int c, int n, int64_t t, const std::vector<int64_t>& times)
{
    if (times[size_t(c)] < t) {
        while (c < n && times[size_t(c)] < t)
            ++c;
    } else if (c > 0 && t < times[size_t(c - 1)]) {
        while (c > 0 && times[size_t(c - 1)] > t)
            --c;
    }
    return c;
}

TEST(oxKeyTime, SeekingEndsWhereWalkingKeyByKeyEnds)
{
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + int(random() % 200);
        std::vector<int64_t> times(size_t(n) + 1);
        int64_t t = int64_t(random() % 50) - 25;
        for (int i = 0; i < n; ++i) {
            times[size_t(i)] = t;
            t += int64_t(random() % 4); // repeated times included
        }
        times[size_t(n)] = times[size_t(n - 1)];
        for (int probe = 0; probe < 20; ++probe) {
            const int c = 1 + int(random() % unsigned(n - 1));
            const int64_t at = int64_t(random() % uint32_t(t + 60)) - 30;
            const int sought = oxSeekKey(c, n, at, [&times](int k) { return times[size_t(k)]; });
            ASSERT_EQ(sought, walk(c, n, at, times)) << "keys " << n << " cursor " << c << " time " << at;
        }
    }
    EXPECT_EQ(oxSegmentFraction(0.0f, 0.0f), 0.0f);
    EXPECT_EQ(oxCoarseTime(int64_t(3) << 18), 3.0f);
}

} // namespace
