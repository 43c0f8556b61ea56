#pragma once
// The character both sides of the character benchmarks update: a skeleton of kBones bones in
// a binary tree (bone b hangs under bone (b - 1) / 2, as limbs branch), every bone a joint,
// and three clips made from bench/clipScene.h's motion at different phases: a base that
// overrides, a second blended in at half weight, and a third whose blend ramps in (a
// transition) over the whole run.
#include <string>
#include <vector>

#include "bench/clipScene.h"

namespace characterscene {

using namespace clipscene;

inline int parentOf(int bone)
{
    return bone == 0 ? -1 : (bone - 1) / 2;
}

inline std::string boneName(int bone)
{
    return "bone " + std::to_string(bone);
}

// The clip's keys shifted by `seconds` along its cycle, so that the three clips differ.
inline std::vector<std::vector<Key>> shiftedClip(double seconds)
{
    std::vector<std::vector<Key>> clip = makeClip();
    const int shift = int(seconds * kKeysPerSecond) % (kKeys - 1);
    for (std::vector<Key>& keys : clip) {
        std::vector<Key> moved = keys;
        for (int k = 0; k < kKeys; ++k) {
            const Key& from = keys[size_t((k + shift) % (kKeys - 1))];
            std::copy(from.t, from.t + 3, moved[size_t(k)].t);
            std::copy(from.q, from.q + 4, moved[size_t(k)].q);
        }
        keys = moved;
    }
    return clip;
}

constexpr double kClipShifts[3] = {0.0, 7.3, 15.1};
constexpr float kSecondWeight = 0.5f;
// The third clip's weight goes from 0 to 1 over this long.
constexpr int64_t kRamp = int64_t(kSeconds) * kSecond;

inline float rampWeight(int64_t t)
{
    return float(double(t % kRamp) / double(kRamp));
}

} // namespace characterscene
