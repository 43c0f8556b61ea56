#include <gtest/gtest.h>

#include "tests/sg/animation/oxCharacterTestSupport.h"

using namespace chartest;

namespace {

class SkeletonTest : public Registered {};

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

TEST_F(SkeletonTest, BonesFindTheirChildrenAndNamesIgnoringCase)
{
    oxSmartPointer<oxSkeleton> s = skeleton({{"Root", -1}, {"Hip", 0}, {"Spine", 0}, {"Neck", 2}, {"Head", 3}});
    EXPECT_EQ(s->getBoneCount(), 5);
    EXPECT_EQ(s->findBoneIndex("neck"), 3);
    EXPECT_EQ(s->findBoneIndex("NECK"), 3);
    EXPECT_EQ(s->findBoneIndex("tail"), -1);
    EXPECT_EQ(s->findBoneIndex(nullptr), -1);
    EXPECT_STREQ(s->getBoneName(4), "Head");
    EXPECT_EQ(s->getBoneName(5), nullptr);
    EXPECT_EQ(s->getParent(3), 2);
    EXPECT_EQ(s->getParent(9), -1);

    int cursor = 0;
    EXPECT_EQ(s->getChild(0, cursor), 1);
    EXPECT_EQ(cursor, 2);
    EXPECT_EQ(s->getChild(0, cursor), 2);
    EXPECT_EQ(s->getChild(0, cursor), -1);
    EXPECT_EQ(s->getChildCount(0), 2);
    EXPECT_EQ(s->getChildCount(4), 0);
    EXPECT_EQ(s->getSpecifiedChild(0, 1), 2);
    EXPECT_EQ(s->getSpecifiedChild(0, 2), -1);

    // A parent must come before its child.
    EXPECT_EQ(s->insertBone("Orphan", 7, oxVec3f(0, 0, 0)), -1);

    // Removing the spine hands the neck to the root and shifts the later bones down.
    s->setBoneTranslation(3, oxVec3f(0, 3, 0));
    s->setBoneTranslation(4, oxVec3f(0, 4, 0));
    EXPECT_TRUE(s->removeBone("spine"));
    EXPECT_EQ(s->getBoneCount(), 4);
    EXPECT_STREQ(s->getBoneName(2), "Neck");
    EXPECT_EQ(s->getParent(2), 0);
    EXPECT_EQ(s->getParent(3), 2);
    EXPECT_EQ(s->getBoneTranslationCount(), 4);
    EXPECT_FLOAT_EQ(s->getBoneTranslation(3)->y, 4.0f);
    EXPECT_FALSE(s->removeBone(11));
    EXPECT_FALSE(s->removeBone("spine"));
}

TEST_F(SkeletonTest, UpdateChainsBonesThroughTheirParentsAndMakesBlendMatricesForJoints)
{
    // Bones 1 and 2 hang off the root, 3 off 2; 4 off 3 and 5 off 4.
    oxSmartPointer<oxSkeleton> s =
        skeleton({{"root", -1}, {"a", 0}, {"b", 0}, {"c", 2}, {"d", 3}, {"e", 4}});
    s->getBoneInfo(2)->setBmIdx(0);
    s->getBoneInfo(5)->setBmIdx(1);
    s->allocateInverseJointArray(2);
    EXPECT_EQ(s->getJointCount(), 2);
    s->setInverseJointMatrix(0, translation(0, -10, 0));
    s->setInverseJointMatrix(1, translation(0, 0, -20));
    EXPECT_FALSE(s->setInverseJointMatrix(2, oxMatrix44f()));

    oxMatrix44f local[6];
    local[1] = translation(1, 0, 0);
    local[2].makeRotationZ(kQuarterTurn);
    local[2].setTranslation(oxVec3f(0, 2, 0));
    local[3] = translation(3, 0, 0);
    local[4] = translation(0, 0, 4);
    local[5] = translation(5, 0, 0);
    oxMatrix44f bones[6], blends[2];
    bones[0] = translation(100, 0, 0);
    s->update(nullptr, nullptr, local, bones, blends, nullptr);

    // Children of the root take their local pose as it is: the root's matrix is the actor's.
    EXPECT_EQ(bones[0], translation(100, 0, 0));
    EXPECT_EQ(bones[1], local[1]);
    EXPECT_EQ(bones[2], local[2]);
    EXPECT_TRUE(oxIsEqual(bones[3], local[3] * local[2], 1e-5f));
    // (3, 0, 0) turned a quarter about z lands on (0, 3, 0), then moves up by 2.
    EXPECT_TRUE(near(bones[3].getTranslation(), oxVec3f(0, 5, 0)));
    EXPECT_TRUE(oxIsEqual(bones[5], local[5] * local[4] * bones[3], 1e-5f));
    EXPECT_TRUE(oxIsEqual(blends[0], translation(0, -10, 0) * bones[2], 1e-5f));
    EXPECT_TRUE(oxIsEqual(blends[1], translation(0, 0, -20) * bones[5], 1e-5f));
}

TEST_F(SkeletonTest, ModifiersChangeTheLocalPoseBeforeItIsChained)
{
    oxSmartPointer<oxSkeleton> s = skeleton({{"root", -1}, {"arm", 0}, {"hand", 1}});
    oxMatrix44f local[3];
    local[1].makeRotationX(0.5f);
    local[1].setTranslation(oxVec3f(1, 2, 3));
    local[2] = translation(0, 1, 0);

    oxSmartPointer<oxTransform> turn = oxTransform::_instantiateRef();
    oxMatrix44f quarter;
    quarter.makeRotationZ(kQuarterTurn);
    quarter.setTranslation(oxVec3f(7, 7, 7));
    turn->setMatrix(&quarter);
    oxSmartPointer<oxAnimationModifierList> modifiers = oxAnimationModifierList::_instantiateRef();
    oxSmartPointer<oxAnimationModifier> m = oxAnimationModifier::_instantiateRef();
    EXPECT_EQ(m->getBoneIndex(), -1);
    EXPECT_EQ(m->getType(), oxAnimationModifier::kPre);
    m->configure(1, turn, oxAnimationModifier::kOverrideOrientation);
    modifiers->append(m);

    oxMatrix44f bones[3];
    s->update(nullptr, nullptr, local, bones, nullptr, modifiers);
    // The rotation is the transform's, the translation the animation's.
    EXPECT_TRUE(near(rotationOf(bones[1]), aboutZ(kQuarterTurn)));
    EXPECT_TRUE(near(bones[1].getTranslation(), oxVec3f(1, 2, 3)));
    EXPECT_TRUE(oxIsEqual(bones[2], local[2] * bones[1], 1e-5f));

    m->setType(oxAnimationModifier::kOverride);
    s->update(nullptr, nullptr, local, bones, nullptr, modifiers);
    EXPECT_TRUE(oxIsEqual(bones[1], quarter, 1e-5f));
    m->setType(oxAnimationModifier::kPre);
    s->update(nullptr, nullptr, local, bones, nullptr, modifiers);
    EXPECT_TRUE(oxIsEqual(bones[1], quarter * local[1], 1e-5f));
    m->setType(oxAnimationModifier::kPost);
    s->update(nullptr, nullptr, local, bones, nullptr, modifiers);
    EXPECT_TRUE(oxIsEqual(bones[1], local[1] * quarter, 1e-5f));
    // A modifier of another bone changes nothing here.
    m->setBoneIndex(2);
    s->update(nullptr, nullptr, local, bones, nullptr, modifiers);
    EXPECT_TRUE(oxIsEqual(bones[1], local[1], 1e-6f));
}

} // namespace
