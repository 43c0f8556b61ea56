#pragma once
// The clip both sides of the sampling benchmarks play: kBones tracks of kSeconds seconds
// with kKeysPerSecond keys a second, each key a translation and a rotation that wander
// smoothly (sums of sines with per-bone phases), as motion capture does.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "sg/OXSg.h"

namespace clipscene {

constexpr int kBones = 60;
constexpr int kSeconds = 30;
constexpr int kKeysPerSecond = 30;
constexpr int kKeys = kSeconds * kKeysPerSecond + 1;
constexpr int64_t kSecond = 1000000000;
constexpr int kFrameRate = 60;

struct Key {
    int64_t time;
    float t[3];
    float q[4]; // x, y, z, w, unit length
};

inline std::vector<std::vector<Key>> makeClip()
{
    std::vector<std::vector<Key>> clip(kBones);
    for (int b = 0; b < kBones; ++b) {
        const float phase = 0.37f * float(b);
        for (int k = 0; k < kKeys; ++k) {
            const float s = float(k) / float(kKeysPerSecond);
            Key key;
            key.time = int64_t(k) * kSecond / kKeysPerSecond;
            key.t[0] = 0.1f * std::sin(1.3f * s + phase);
            key.t[1] = 0.2f + 0.05f * std::sin(2.1f * s + phase);
            key.t[2] = 0.1f * std::cos(0.7f * s + phase);
            const float angle = 0.8f * std::sin(1.7f * s + phase);
            float axis[3] = {std::sin(phase + 0.3f * s), std::cos(phase), 0.5f};
            const float length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
            for (float& a : axis)
                a /= length;
            const float h = std::sin(angle / 2);
            key.q[0] = axis[0] * h;
            key.q[1] = axis[1] * h;
            key.q[2] = axis[2] * h;
            key.q[3] = std::cos(angle / 2);
            clip[size_t(b)].push_back(key);
        }
    }
    return clip;
}

// Frame times at kFrameRate over the clip, forwards, wrapping at its end.
inline std::vector<int64_t> forwardTimes()
{
    std::vector<int64_t> times;
    for (int f = 0; f < kSeconds * kFrameRate; ++f)
        times.push_back(int64_t(f) * kSecond / kFrameRate);
    return times;
}

// As many times again, anywhere in the clip, in no order.
inline std::vector<int64_t> randomTimes()
{
    std::mt19937_64 random(42);
    std::uniform_int_distribution<int64_t> any(0, int64_t(kSeconds) * kSecond);
    std::vector<int64_t> times(size_t(kSeconds * kFrameRate));
    for (int64_t& t : times)
        t = any(random);
    return times;
}

// One bone's keys as a keyframed sequence: translation and quaternion channels, one cycle.
inline Kel::Sg::oxSmartPointer<Kel::Sg::oxTransformSequence1_5> makeSequence(const std::vector<Key>& keys)
{
    using namespace Kel::Sg;
    oxSmartPointer<oxTransformSequence1_5> s = oxTransformSequence1_5::_instantiateRef();
    s->setComponentChannels(TRANSLATION | QUATERNION_ROTATION);
    s->setKeyFrameCount(int(keys.size()));
    for (int i = 0; i < int(keys.size()); ++i) {
        const Key& k = keys[size_t(i)];
        const oxVec3f v(k.t[0], k.t[1], k.t[2]);
        const oxQuaternionf q(k.q[0], k.q[1], k.q[2], k.q[3]);
        s->setTimeAsLong(i, k.time);
        s->setTranslation(i, &v);
        s->setQuaternion(i, &q);
    }
    s->setDuration(keys.back().time - keys.front().time);
    return s;
}

} // namespace clipscene
