#include <cmath>

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

oxSmartPointer<oxCapsule> capsule(const oxVec3f& start, const oxVec3f& end, float radius)
{
    oxSmartPointer<oxCapsule> c = oxCapsule::_instantiateRef();
    c->set(start, end, radius);
    return c;
}

TEST(oxCapsule, ASegmentMeetsWhatItPassesThroughAndNothingElse)
{
    auto b = box({0, 0, 0}, {1, 1, 1});
    EXPECT_TRUE(capsule({-1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, 0)->intersects(b));
    EXPECT_TRUE(b->intersects(capsule({-1, 0.5f, 0.5f}, {2, 0.5f, 0.5f}, 0))) << "asked from either side";
    EXPECT_FALSE(capsule({-1, 0.5f, 0.5f}, {-0.1f, 0.5f, 0.5f}, 0)->intersects(b)) << "ends before the box";
    EXPECT_TRUE(capsule({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, 0)->intersects(b)) << "a point inside";
    EXPECT_TRUE(capsule({1.2f, 0, 0.5f}, {0, 1.2f, 0.5f}, 0)->intersects(b)) << "cuts a corner off";
    // Past the corner, where the boxes around the two overlap.
    auto pastCorner = capsule({2.2f, 0, 0.5f}, {0, 2.2f, 0.5f}, 0);
    EXPECT_TRUE(pastCorner->getBox().intersects(b->getBox()));
    EXPECT_FALSE(pastCorner->intersects(b));
    // A radius widens it.
    EXPECT_FALSE(capsule({-1, 1.5f, 0.5f}, {2, 1.5f, 0.5f}, 0.4f)->intersects(b));
    EXPECT_TRUE(capsule({-1, 1.5f, 0.5f}, {2, 1.5f, 0.5f}, 0.6f)->intersects(b));

    auto s = sphere({5, 5, 0}, 1);
    EXPECT_TRUE(capsule({0, 5.9f, 0}, {10, 5.9f, 0}, 0)->intersects(s));
    EXPECT_FALSE(capsule({0, 6.1f, 0}, {10, 6.1f, 0}, 0)->intersects(s));
    EXPECT_TRUE(s->intersects(capsule({0, 6.5f, 0}, {10, 6.5f, 0}, 0.6f)));
    EXPECT_FALSE(capsule({0, 5, 0}, {3.9f, 5, 0}, 0)->intersects(s)) << "stops short of the sphere";

    // Two skew segments 1 apart at their nearest.
    auto across = capsule({-5, 0, 0}, {5, 0, 0}, 0.4f);
    EXPECT_TRUE(across->intersects(capsule({0, -5, 1}, {0, 5, 1}, 0.61f)));
    EXPECT_FALSE(across->intersects(capsule({0, -5, 1}, {0, 5, 1}, 0.59f)));
    EXPECT_FALSE(across->intersects(capsule({6, -5, 0}, {6, 5, 0}, 0.5f))) << "beyond the first one's end";
    EXPECT_TRUE(across->intersects(capsule({-3, 0.5f, 0}, {3, 0.5f, 0}, 0.2f))) << "parallel";
}

TEST(oxCapsule, UnlimitedRaysStayFinite)
{
    // From the origin along a diagonal for 1e30: the squared length would overflow a float.
    const oxVec3f dir = oxVec3f(1, 1, 1).normalized();
    auto ray = capsule({0, 0, 0}, dir * 1e30f, 0);
    EXPECT_TRUE(ray->intersects(box({999, 999, 999}, {1001, 1001, 1001})));
    EXPECT_FALSE(ray->intersects(box({999, 1002, 999}, {1001, 1004, 1001})));
    EXPECT_TRUE(ray->intersects(sphere({1e6f, 1e6f, 1e6f}, 1)));
    EXPECT_FALSE(ray->intersects(sphere({-10, -10, -10}, 1))) << "behind the start";
    EXPECT_TRUE(ray->intersects(capsule({100, 100, 0}, {100, 100, 200}, 0.1f)));
    EXPECT_LT((ray->closestPoint({2, 2, 2}) - oxVec3f(2, 2, 2)).length(), 1e-4f);
    EXPECT_EQ(ray->closestPoint({-2, -2, -2}), oxVec3f(0, 0, 0));
    oxMatrix44f m;
    m.makeTranslation({0, 0, 5});
    ray->transform(m);
    EXPECT_TRUE(ray->intersects(box({999, 999, 1004}, {1001, 1001, 1006})));
}

TEST(oxCapsule, RaysEnterThroughTheSideOrTheEnds)
{
    auto c = capsule({0, 0, 0}, {10, 0, 0}, 1);
    float t = -1;
    ASSERT_TRUE(c->intersectRay({5, 5, 0}, {0, -1, 0}, 100, t));
    EXPECT_NEAR(t, 4, 1e-5f) << "the side";
    ASSERT_TRUE(c->intersectRay({-5, 0, 0}, {1, 0, 0}, 100, t));
    EXPECT_NEAR(t, 4, 1e-5f) << "the start's cap";
    ASSERT_TRUE(c->intersectRay({15, 0.5f, 0}, {-1, 0, 0}, 100, t));
    EXPECT_NEAR(t, 5 - std::sqrt(0.75f), 1e-5f) << "the end's cap, off the axis";
    ASSERT_TRUE(c->intersectRay({3, 0.5f, 0}, {0, 1, 0}, 100, t));
    EXPECT_EQ(t, 0) << "from inside";
    EXPECT_FALSE(c->intersectRay({5, 5, 0}, {0, -1, 0}, 3.9f, t)) << "too short";
    EXPECT_FALSE(c->intersectRay({5, 5, 0}, {0, 1, 0}, 100, t)) << "away from it";
    EXPECT_FALSE(c->intersectRay({-5, 2, 0}, {1, 0, 0}, 100, t)) << "alongside";

    EXPECT_TRUE(c->contains({10.5f, 0.5f, 0}));
    EXPECT_FALSE(c->contains({10.8f, 0.8f, 0}));
    EXPECT_EQ(c->getBox(), oxBox3f({-1, -1, -1}, {11, 1, 1}));
    EXPECT_EQ(c->getCenter(), oxVec3f(5, 0, 0));

    oxSmartPointer<oxCapsule> grown = oxCapsule::_instantiateRef();
    EXPECT_TRUE(grown->isEmpty());
    grown->extendBy(oxVec3f(1, 2, 3));
    EXPECT_FALSE(grown->isEmpty());
    EXPECT_TRUE(grown->contains({1, 2, 3}));
    grown->extendBy(oxVec3f(1, 2, 5));
    EXPECT_FLOAT_EQ(grown->getRadius(), 2);

    oxMatrix44f m;
    m.makeScale(oxVec3f(1, 3, 1));
    c->transform(m);
    EXPECT_FLOAT_EQ(c->getRadius(), 3) << "grown by the largest scale, to keep what it held";
}

TEST(oxVolumeIntersects, EmptyAndMissingVolumesMeetNothing)
{
    oxSmartPointer<oxAABox> emptyBox = oxAABox::_instantiateRef();
    oxSmartPointer<oxSphere> emptySphere = oxSphere::_instantiateRef();
    oxSmartPointer<oxCapsule> emptyCapsule = oxCapsule::_instantiateRef();
    auto b = box({-1, -1, -1}, {1, 1, 1});
    auto s = sphere({0, 0, 0}, 5);
    auto c = capsule({0, 0, 0}, {1, 0, 0}, 2);
    for (const oxVolume* v : {static_cast<const oxVolume*>(b.get()), static_cast<const oxVolume*>(s.get()),
                              static_cast<const oxVolume*>(c.get())}) {
        for (const oxVolume* e : {static_cast<const oxVolume*>(emptyBox.get()),
                                  static_cast<const oxVolume*>(emptySphere.get()),
                                  static_cast<const oxVolume*>(emptyCapsule.get())}) {
            EXPECT_FALSE(v->intersects(e));
            EXPECT_FALSE(e->intersects(v));
        }
        EXPECT_FALSE(v->intersects(nullptr));
    }
}

} // namespace
