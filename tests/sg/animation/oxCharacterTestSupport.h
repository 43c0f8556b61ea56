#pragma once
// Helpers shared by the skeleton, combiner and actor tests: skeletons from a list of bone
// names and parents, a source whose pose is a simple function of time, and animations of
// constant poses.
#include <cmath>
#include <initializer_list>
#include <utility>

#include "tests/sg/animation/oxAnimationTestSupport.h"

namespace chartest {
using namespace Kel::Sg;

constexpr int64_t kSecond = 1000000000;
constexpr float kQuarterTurn = 1.57079633f;

// Turns about z by a quarter turn per second and moves along x by one unit per second;
// counts its evaluations.
class SpinSource : public oxTransformSource {
    OX_CLASS(SpinSource, oxTransformSource)
public:
    int _evaluations = 0;

    bool getMatrix(oxMatrix44f& m, int64_t t) override
    {
        ++_evaluations;
        const float seconds = float(double(t) / double(kSecond));
        m.makeRotationZ(kQuarterTurn * seconds);
        m.setTranslation(oxVec3f(seconds, 0, 0));
        return true;
    }

protected:
    SpinSource() = default;
};

inline oxQuaternionf aboutZ(float radians)
{
    return oxQuaternionf::fromAxisAngle(oxVec3f(0, 0, 1), radians);
}

// Bones in index order with their parents and bind translations.
inline oxSmartPointer<oxSkeleton> skeleton(std::initializer_list<std::pair<const char*, int>> bones)
{
    oxSmartPointer<oxSkeleton> s = oxSkeleton::_instantiateRef();
    for (const auto& [name, parent] : bones)
        s->insertBone(name, parent, oxVec3f(0, 0, 0));
    return s;
}

// A track of a constant pose.
inline oxSmartPointer<oxAnimationTrack> constantTrack(const char* name, const oxQuaternionf& q, const oxVec3f& v)
{
    oxSmartPointer<oxAnimationTrack> t = oxAnimationTrack::_instantiateRef();
    t->setName(name);
    t->setConstantQuaternion(q);
    t->setConstantTranslation(v);
    return t;
}

inline oxSmartPointer<oxAnimationTrack> sourcedTrack(const char* name, oxTransformSource* source)
{
    oxSmartPointer<oxAnimationTrack> t = oxAnimationTrack::_instantiateRef();
    t->setName(name);
    t->setSource(source);
    return t;
}

inline oxSmartPointer<oxAnimation> animation(const char* name, int64_t duration)
{
    oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
    a->setName(name);
    a->setDuration(duration);
    return a;
}

// The rotation in a pose matrix, as a quaternion with w ≥ 0.
inline oxQuaternionf rotationOf(const oxMatrix44f& m)
{
    oxQuaternionf q = oxQuaternionf::fromMatrix(m);
    return q.w < 0 ? -q : q;
}

inline bool near(const oxQuaternionf& a, const oxQuaternionf& b, float eps = 1e-4f)
{
    const float d = std::fabs(a.dot(b));
    return std::fabs(d - 1.0f) < eps;
}

inline bool near(const oxVec3f& a, const oxVec3f& b, float eps = 1e-4f)
{
    return std::fabs(a.x - b.x) < eps && std::fabs(a.y - b.y) < eps && std::fabs(a.z - b.z) < eps;
}

class Registered : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        oxbtest::registerAll();
        SpinSource::arkRegister();
    }
};

} // namespace chartest
