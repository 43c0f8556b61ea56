#include <gtest/gtest.h>

#include "tests/sg/animation/oxAnimationTestSupport.h"

using namespace animtest;
using V = std::vector<int>;

namespace {

constexpr int YZ = oxAnimationBinding::PlaneYZ;
constexpr int XZ = oxAnimationBinding::PlaneXZ;
constexpr int XY = oxAnimationBinding::PlaneXY;

class AnimationBindingTest : public Registered {};

TEST_F(AnimationBindingTest, ConfigureRefusesWhatCannotBeBoundAndStartsEveryBoneWithoutATrack)
{
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    EXPECT_FALSE(b->configure(nullptr));
    EXPECT_FALSE(b->configure(flatBones({})));
    EXPECT_FALSE(b->configured());

    oxSmartPointer<BoneTable> h = flatBones({"a", "b", "c"});
    ASSERT_TRUE(b->configure(h));
    EXPECT_EQ(trackIndices(b), V({-1, -1, -1}));
    EXPECT_FALSE(b->configure(h)) << "a binding belongs to one hierarchy";

    const int given[] = {2, -1, 0};
    oxSmartPointer<oxAnimationBinding> c = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(c->configure(h, given));
    EXPECT_EQ(trackIndices(c), V({2, -1, 0}));
    EXPECT_EQ(c->getBoneIndexOfTrack(0), 2);
    EXPECT_EQ(c->getBoneTrackIndex(3), -1);
    EXPECT_FALSE(c->setBoneTrackIndex(3, 1));
}

TEST_F(AnimationBindingTest, ReflectionTypesTakeTwoBitsPerBoneStoredPlusOne)
{
    oxSmartPointer<BoneTable> h = flatBones({"a", "b", "c", "d"});
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h));
    EXPECT_FALSE(b->isReflected());
    EXPECT_EQ(b->getBoneReflectionType(0), -1);

    EXPECT_TRUE(b->setBoneReflectionType(0, YZ));
    EXPECT_TRUE(b->setBoneReflectionType(1, XZ));
    EXPECT_TRUE(b->setBoneReflectionType(2, XY));
    ASSERT_TRUE(b->isReflected());
    const oxBitMask* mask = b->getReflectTrack();
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->getBitCount(), 8u);
    // Stored value type + 1: bit 2i is its low bit, bit 2i + 1 its high bit.
    const bool expected[8] = {true, false, false, true, true, true, false, false};
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(mask->getBit(i), expected[i]) << "bit " << i;
    EXPECT_EQ(reflectionTypes(b), V({YZ, XZ, XY, -1}));

    // A bone can be made unreflected again, and a bad bone or type changes nothing.
    EXPECT_TRUE(b->setBoneReflectionType(2, -1));
    EXPECT_FALSE(b->setBoneReflectionType(4, YZ));
    EXPECT_FALSE(b->setBoneReflectionType(3, 3));
    EXPECT_FALSE(b->setBoneReflectionType(3, -2));
    EXPECT_EQ(reflectionTypes(b), V({YZ, XZ, -1, -1}));

    // A mask that claims more bits than it holds words (a damaged file) reads the missing
    // ones as clear and is given its words before it is written.
    oxSmartPointer<BoneTable> many = flatBones({});
    for (int i = 0; i < 20; ++i)
        many->addBone("bone", -1);
    oxSmartPointer<oxAnimationBinding> d = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(d->configure(many));
    oxSmartPointer<oxBitMask> damaged = oxBitMask::_instantiateRef();
    damaged->setBitCount(40);
    damaged->resizeAndSetCount(1);
    d->setReflectTrack(damaged);
    EXPECT_EQ(d->getBoneReflectionType(17), -1);
    EXPECT_TRUE(d->setBoneReflectionType(17, XY));
    EXPECT_EQ(damaged->getCount(), 2);
    EXPECT_EQ(d->getBoneReflectionType(17), XY);

    b->removeReflections();
    EXPECT_TRUE(b->isReflected()) << "the mask stays, cleared";
    EXPECT_EQ(reflectionTypes(b), V({-1, -1, -1, -1}));
    b->addSwap(-1, -2, XZ);
    b->removeSwapsAndReflections();
    EXPECT_FALSE(b->isReflected());
    EXPECT_EQ(b->getChainSwapList(), nullptr);
}

TEST_F(AnimationBindingTest, SwappingBonesExchangesTracksAndRecordsNegatedIndices)
{
    oxSmartPointer<BoneTable> h = flatBones({"root", "l_arm", "r_arm"});
    const int given[] = {0, 1, 2};
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h, given));

    EXPECT_TRUE(b->swapAndReflectBones("L_ARM", "r_arm", XZ)) << "bones are looked up as the hierarchy does";
    EXPECT_TRUE(b->reflectBone(0, XZ));
    EXPECT_FALSE(b->swapAndReflectBones("l_arm", "nothing", XZ));
    EXPECT_FALSE(b->swapAndReflectBones(1, 3, XZ));
    EXPECT_EQ(trackIndices(b), V({0, 2, 1}));
    EXPECT_EQ(reflectionTypes(b), V({XZ, XZ, XZ}));
    EXPECT_EQ(swapList(b), V({-1, -2, XZ, 0, 0, XZ}));

    b->removeSwaps();
    EXPECT_EQ(swapList(b), V());
}

// Two arms below a spine: the left arm has a wrist, the right one ends at the elbow.
oxSmartPointer<BoneTable> twoArms()
{
    return bones({{"spine", -1},
                  {"l_shoulder", 0},
                  {"l_elbow", 1},
                  {"l_wrist", 2},
                  {"r_shoulder", 0},
                  {"r_elbow", 4}});
}

TEST_F(AnimationBindingTest, ChainSwapsWalkDownBothChainsUntilEitherEnds)
{
    oxSmartPointer<BoneTable> h = twoArms();
    const int given[] = {0, 1, 2, 3, 4, 5};
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h, given));

    EXPECT_TRUE(b->swapAndReflectChains("l_shoulder", "r_shoulder", YZ));
    EXPECT_EQ(trackIndices(b), V({0, 4, 5, 3, 1, 2}));
    EXPECT_EQ(reflectionTypes(b), V({-1, YZ, YZ, -1, YZ, YZ})) << "the wrist has no partner";
    EXPECT_EQ(swapList(b), V({1, 4, YZ}));

    // Reflecting a chain in place marks every bone down it and moves no track.
    oxSmartPointer<oxAnimationBinding> c = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(c->configure(h, given));
    EXPECT_TRUE(c->reflectChain(1, XY));
    EXPECT_EQ(trackIndices(c), V({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(reflectionTypes(c), V({-1, XY, XY, XY, -1, -1}));
    EXPECT_FALSE(c->reflectChain("nothing", XY));
}

TEST_F(AnimationBindingTest, ReplayingTheSwapListRebuildsSwapsAndReflections)
{
    oxSmartPointer<BoneTable> h = twoArms();
    const int given[] = {0, 1, 2, 3, 4, 5};
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h, given));
    ASSERT_TRUE(b->swapAndReflectChains(1, 4, YZ));
    ASSERT_TRUE(b->reflectBone(0, XZ));
    ASSERT_TRUE(b->swapAndReflectBones(3, 5, XY));
    const V tracks = trackIndices(b);
    const V types = reflectionTypes(b);

    oxSmartPointer<oxAnimationBinding> replay = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(replay->configure(h, given));
    replay->setChainSwapList(b->getChainSwapList());
    replay->setBoneReflectionType(3, YZ); // cleared first: only the record counts
    replay->applySwapListToBinding();
    EXPECT_EQ(trackIndices(replay), tracks);
    EXPECT_EQ(reflectionTypes(replay), types);
    EXPECT_EQ(types, V({XZ, YZ, YZ, XY, YZ, XY}));

    // The root reflected alone is recorded as (0, 0) and replays alone, not down a chain;
    // the root's chain reflected is recorded bone by bone and replays the same.
    oxSmartPointer<oxAnimationBinding> root = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(root->configure(h, given));
    ASSERT_TRUE(root->reflectBone(0, YZ));
    root->applySwapListToBinding();
    EXPECT_EQ(reflectionTypes(root), V({YZ, -1, -1, -1, -1, -1}));
    oxSmartPointer<oxAnimationBinding> chain = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(chain->configure(h, given));
    ASSERT_TRUE(chain->reflectChain(0, XZ));
    EXPECT_EQ(reflectionTypes(chain), V({XZ, XZ, XZ, XZ, -1, -1}));
    chain->applySwapListToBinding();
    EXPECT_EQ(reflectionTypes(chain), V({XZ, XZ, XZ, XZ, -1, -1}));

    // A record that does not fit the hierarchy (a file from another skeleton) is skipped
    // with a warning.
    oxbtest::WarningCatcher warnings;
    oxSmartPointer<oxAnimationBinding> odd = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(odd->configure(h, given));
    odd->addSwap(-1, -9, YZ);
    odd->addSwap(-1, -4, 7);
    odd->addSwap(-2, -5, YZ);
    odd->applySwapListToBinding();
    EXPECT_EQ(trackIndices(odd), V({0, 1, 5, 3, 4, 2}));
    EXPECT_EQ(warnings.count(), 2u) << warnings.all();
}

TEST_F(AnimationBindingTest, AutomaticMirroringPicksTheIdentifiersWithTheMostPairs)
{
    oxSmartPointer<BoneTable> h = flatBones({"l_hand", "r_hand", "spine"});
    const int given[] = {0, 1, 2};
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h, given));
    EXPECT_EQ(b->testIdentifiers("l_", "r_", false), 1);
    EXPECT_EQ(b->testIdentifiers("left", "right", false), 0);
    EXPECT_EQ(b->testIdentifiers("_l", "_r", false), 0);
    EXPECT_FALSE(b->isReflected()) << "counting changes nothing";

    EXPECT_EQ(b->reflect(YZ), 1);
    EXPECT_EQ(trackIndices(b), V({1, 0, 2}));
    EXPECT_EQ(reflectionTypes(b), V({YZ, YZ, YZ}));
    EXPECT_EQ(b->reflect(XZ), 0) << "already reflected";
    EXPECT_EQ(reflectionTypes(b), V({YZ, YZ, YZ}));

    // "l_" and "_l" find one pair each: nothing is mirrored.
    oxSmartPointer<BoneTable> tie = flatBones({"l_arm", "r_arm", "leg_l", "leg_r"});
    const int four[] = {0, 1, 2, 3};
    oxSmartPointer<oxAnimationBinding> t = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(t->configure(tie, four));
    EXPECT_EQ(t->testIdentifiers("l_", "r_", false), 1);
    EXPECT_EQ(t->testIdentifiers("_l", "_r", false), 1);
    EXPECT_EQ(t->reflect(YZ), 0);
    EXPECT_FALSE(t->isReflected());
    EXPECT_EQ(trackIndices(t), V({0, 1, 2, 3}));

    // One more pair on the suffix side breaks the tie.
    oxSmartPointer<BoneTable> suffix = flatBones({"l_arm", "r_arm", "leg_l", "leg_r", "Foot_L", "foot_r"});
    const int six[] = {0, 1, 2, 3, 4, 5};
    oxSmartPointer<oxAnimationBinding> s = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(s->configure(suffix, six));
    EXPECT_EQ(s->reflect(XY), 2);
    EXPECT_EQ(trackIndices(s), V({0, 1, 3, 2, 5, 4}));
    // l_arm and r_arm have no "_l" and do not begin with "_r": reflected in place.
    EXPECT_EQ(reflectionTypes(s), V({XY, XY, XY, XY, XY, XY}));
}

TEST_F(AnimationBindingTest, IdentifiersMatchAnywhereOrOnlyAsPrefixes)
{
    oxSmartPointer<BoneTable> h = flatBones({"LeftArm", "RightArm", "Spine", "ArmLeft", "ArmRight", "leftovers"});
    const int given[] = {0, 1, 2, 3, 4, 5};
    oxSmartPointer<oxAnimationBinding> b = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(b->configure(h, given));
    EXPECT_EQ(b->testIdentifiers("left", "right", false), 2);
    EXPECT_EQ(b->testIdentifiers("left", "right", true), 1);
    EXPECT_EQ(b->testIdentifiers(nullptr, "right", true), 0);

    EXPECT_EQ(b->reflect("left", "right", true, XZ), 1);
    EXPECT_EQ(trackIndices(b), V({1, 0, 2, 3, 4, 5}));
    // RightArm begins with the right identifier and is left to its pair; "leftovers"
    // begins with the left one and finds no partner.
    EXPECT_EQ(reflectionTypes(b), V({XZ, XZ, XZ, XZ, XZ, -1}));

    oxSmartPointer<oxAnimationBinding> c = oxAnimationBinding::_instantiateRef();
    ASSERT_TRUE(c->configure(h, given));
    EXPECT_EQ(c->reflect("left", "right", false, XZ), 2);
    EXPECT_EQ(trackIndices(c), V({1, 0, 2, 4, 3, 5}));
    // ArmRight does not begin with "right": it is also reflected in place, keeping the
    // track it was given by the swap.
    EXPECT_EQ(reflectionTypes(c), V({XZ, XZ, XZ, XZ, XZ, -1}));
    EXPECT_EQ(swapList(c), V({0, -1, XZ, -2, -2, XZ, -3, -4, XZ, -4, -4, XZ}));
}

TEST_F(AnimationBindingTest, HierarchyBindTranslationsAreCheckedAgainstTheirBlock)
{
    oxSmartPointer<BoneTable> h = flatBones({"a", "b"});
    EXPECT_FALSE(h->setBoneTranslation(0, oxVec3f(1, 2, 3))) << "no block yet";
    const oxVec3f rest[] = {{1, 0, 0}, {0, 2, 0}};
    EXPECT_FALSE(h->setBoneTranslationArray(nullptr, 2));
    ASSERT_TRUE(h->setBoneTranslationArray(rest, 2));
    EXPECT_TRUE(h->setBoneTranslation(1, oxVec3f(0, 0, 5)));
    EXPECT_EQ(h->getBoneTranslation(1)->z, 5.0f);
    EXPECT_EQ(h->getBoneTranslation(2), nullptr);
    EXPECT_EQ(h->getBoneTranslation(-1), nullptr);
}

} // namespace
