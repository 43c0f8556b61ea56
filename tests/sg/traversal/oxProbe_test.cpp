#include <gtest/gtest.h>

#include "sg/OXSg.h"
#include "tests/platform/core/oxbFileBuilder.h"

using namespace Kel::Sg;
using oxbfile::WarningCatcher;

namespace {

class ProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kel::libOXSg_arkRegister(); }
    oxSmartPointer<oxProbe> probe = oxProbe::_instantiateRef();
};

TEST_F(ProbeTest, RaysAndTheirSidesStayInStep)
{
    EXPECT_EQ(probe->getRayCount(), 0);
    EXPECT_EQ(probe->appendRay(oxVec3f(1, 2, 3), oxVec3f(0, 0, -2), 50, ISET_FRONT), 0);
    oxSmartPointer<oxRay> mine = oxRay::_instantiateRef();
    mine->set({0, 0, 0}, {1, 0, 0}, 7);
    EXPECT_EQ(probe->appendRay(mine, ISET_BACK), 1);
    EXPECT_EQ(probe->getRayCount(), 2);
    EXPECT_EQ(probe->getFaceTypeList()->getCount(), 2);
    EXPECT_EQ(probe->getRay(1), mine.get()) << "a ray handed in is held, not copied";
    EXPECT_EQ(probe->getRaySides(0), ISET_FRONT);
    EXPECT_EQ(probe->getRaySides(1), ISET_BACK);

    oxVec3f origin, direction;
    float length = 0;
    ASSERT_TRUE(probe->getRay(0, origin, direction, length));
    EXPECT_EQ(origin, oxVec3f(1, 2, 3));
    EXPECT_EQ(direction, oxVec3f(0, 0, -1)) << "directions are kept unit";
    EXPECT_EQ(length, 50);
    EXPECT_EQ(probe->getRay(2), nullptr);
    EXPECT_EQ(probe->getRay(-1), nullptr);
    EXPECT_FALSE(probe->getRay(2, origin, direction, length));
}

TEST_F(ProbeTest, SettingARayBeyondTheEndGrowsBothLists)
{
    ASSERT_TRUE(probe->setRay(3, oxVec3f(0, 1, 0), oxVec3f(0, 1, 0), 5, ISET_BACK));
    EXPECT_EQ(probe->getRayCount(), 4);
    EXPECT_EQ(probe->getFaceTypeList()->getCount(), 4);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(probe->getRay(i), nullptr) << "the gap is filled with default rays";
        EXPECT_EQ(probe->getRay(i)->getDirection(), oxVec3f(0, 0, -1));
        EXPECT_EQ(probe->getRaySides(i), ISET_BOTH);
    }
    EXPECT_EQ(probe->getRaySides(3), ISET_BACK);

    // Filling an existing ray changes it in place; handing one in replaces it.
    oxRay* third = probe->getRay(2);
    ASSERT_TRUE(probe->setRay(2, oxVec3f(5, 5, 5), oxVec3f(1, 0, 0), 1, ISET_FRONT));
    EXPECT_EQ(probe->getRay(2), third);
    EXPECT_EQ(third->getOrigin(), oxVec3f(5, 5, 5));
    EXPECT_EQ(probe->getRaySides(2), ISET_FRONT);
    oxSmartPointer<oxRay> other = oxRay::_instantiateRef();
    ASSERT_TRUE(probe->setRay(2, other, ISET_BOTH));
    EXPECT_EQ(probe->getRay(2), other.get());
    EXPECT_EQ(probe->getRaySides(2), ISET_BOTH);

    ASSERT_TRUE(probe->setRayCount(1));
    EXPECT_EQ(probe->getRayCount(), 1);
    EXPECT_EQ(probe->getFaceTypeList()->getCount(), 1);
    EXPECT_EQ(probe->getRaySides(0), ISET_BOTH);
}

TEST_F(ProbeTest, BadRaysAreRefusedAndChangeNothing)
{
    probe->appendRay(oxVec3f(0, 0, 0), oxVec3f(0, 0, -1), 1, ISET_FRONT);
    WarningCatcher warnings;
    EXPECT_EQ(probe->appendRay(nullptr, ISET_BOTH), -1);
    EXPECT_EQ(probe->appendRay(oxVec3f(0, 0, 0), oxVec3f(0, 0, -1), 1, 0), -1);
    EXPECT_EQ(probe->appendRay(oxVec3f(0, 0, 0), oxVec3f(0, 0, -1), 1, 4), -1);
    EXPECT_FALSE(probe->setRay(-1, oxVec3f(0, 0, 0), oxVec3f(0, 0, -1), 1, ISET_BOTH));
    EXPECT_FALSE(probe->setRay(5, nullptr, ISET_BOTH));
    EXPECT_FALSE(probe->setRay(5, oxVec3f(0, 0, 0), oxVec3f(0, 0, -1), 1, 9));
    EXPECT_FALSE(probe->setRayCount(-2));
    EXPECT_EQ(warnings.count(), 7u) << warnings.all();
    EXPECT_EQ(probe->getRayCount(), 1);
    EXPECT_EQ(probe->getFaceTypeList()->getCount(), 1);
    EXPECT_EQ(probe->getRaySides(0), ISET_FRONT);
}

TEST_F(ProbeTest, ListsThatDriftedApartAreBroughtBackInStep)
{
    // The lists are open: an application may shorten one of them.
    probe->setRayCount(3);
    probe->getFaceTypeList()->setCount(1);
    EXPECT_EQ(probe->getRaySides(2), ISET_BOTH);
    ASSERT_TRUE(probe->setRay(2, oxVec3f(0, 0, 0), oxVec3f(1, 0, 0), 1, ISET_BACK));
    EXPECT_EQ(probe->getFaceTypeList()->getCount(), 3);
    EXPECT_EQ(probe->getRaySides(1), ISET_BOTH);
    EXPECT_EQ(probe->getRaySides(2), ISET_BACK);
    probe->getRayList()->set(0, nullptr);
    ASSERT_TRUE(probe->setRay(0, oxVec3f(1, 0, 0), oxVec3f(1, 0, 0), 1, ISET_BOTH));
    ASSERT_NE(probe->getRay(0), nullptr) << "a null entry gets a ray of its own";
    EXPECT_EQ(probe->getRay(0)->getOrigin(), oxVec3f(1, 0, 0));
}

} // namespace
