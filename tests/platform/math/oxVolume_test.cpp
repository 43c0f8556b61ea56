#include <gtest/gtest.h>

#include "platform/math/oxVolume.h"

using namespace Kel::Math;
using Kel::Core::oxSmartPointer;

namespace {

oxSmartPointer<oxAABox> box(const oxVec3f& min, const oxVec3f& max)
{
    oxSmartPointer<oxAABox> b = oxAABox::_instantiateRef();
    b->set(min, max);
    return b;
}

oxSmartPointer<oxSphere> sphere(const oxVec3f& centre, float radius)
{
    oxSmartPointer<oxSphere> s = oxSphere::_instantiateRef();
    s->set(centre, radius);
    return s;
}

TEST(oxVolumeIntersects, BoxesMeetWhenTheyOverlapOnEveryAxis)
{
    auto a = box({0, 0, 0}, {1, 1, 1});
    EXPECT_TRUE(a->intersects(box({0.5f, 0.5f, 0.5f}, {2, 2, 2})));
    EXPECT_TRUE(a->intersects(box({1, 1, 1}, {2, 2, 2}))) << "touching corners share a point";
    EXPECT_FALSE(a->intersects(box({0.5f, 0.5f, 1.5f}, {2, 2, 2}))) << "apart along z only";
    EXPECT_FALSE(a->intersects(box({2, 0, 0}, {3, 1, 1})));
}

TEST(oxVolumeIntersects, SpheresMeetWithinTheSumOfTheirRadii)
{
    auto a = sphere({0, 0, 0}, 1);
    EXPECT_TRUE(a->intersects(sphere({1.9f, 0, 0}, 1)));
    EXPECT_TRUE(a->intersects(sphere({0, 2, 0}, 1))) << "touching";
    EXPECT_FALSE(a->intersects(sphere({0, 0, 2.1f}, 1)));
    EXPECT_TRUE(a->intersects(sphere({0.1f, 0, 0}, 0.1f))) << "one inside the other";
}

TEST(oxVolumeIntersects, SphereAgainstBoxIsExactAtTheCorners)
{
    auto b = box({0, 0, 0}, {1, 1, 1});
    // Beyond the corner (1, 1, 1) along the diagonal: inside the enclosing boxes' overlap,
    // but farther than the radius from the box.
    auto offCorner = sphere({1.5f, 1.5f, 1.5f}, 0.8f);
    EXPECT_TRUE(b->getBox().intersects(offCorner->getBox()));
    EXPECT_FALSE(b->intersects(offCorner));
    EXPECT_FALSE(offCorner->intersects(b)) << "the answer does not depend on which side asks";

    auto nearCorner = sphere({1.5f, 1.5f, 1.5f}, 0.9f);
    EXPECT_TRUE(b->intersects(nearCorner));
    EXPECT_TRUE(nearCorner->intersects(b));
    EXPECT_TRUE(sphere({0.5f, 0.5f, 0.5f}, 0.1f)->intersects(b)) << "centre inside the box";
    EXPECT_TRUE(sphere({0.5f, 3, 0.5f}, 2)->intersects(b)) << "facing a face";
    EXPECT_FALSE(sphere({0.5f, 3, 0.5f}, 1.9f)->intersects(b));
}

TEST(oxVolumeIntersects, EmptyAndMissingVolumesMeetNothing)
{
    oxSmartPointer<oxAABox> emptyBox = oxAABox::_instantiateRef();
    oxSmartPointer<oxSphere> emptySphere = oxSphere::_instantiateRef();
    auto b = box({-1, -1, -1}, {1, 1, 1});
    auto s = sphere({0, 0, 0}, 5);
    for (const oxVolume* v : {static_cast<const oxVolume*>(b.get()), static_cast<const oxVolume*>(s.get())}) {
        EXPECT_FALSE(v->intersects(emptyBox));
        EXPECT_FALSE(v->intersects(emptySphere));
        EXPECT_FALSE(emptyBox->intersects(v));
        EXPECT_FALSE(emptySphere->intersects(v));
        EXPECT_FALSE(v->intersects(nullptr));
    }
}

} // namespace
