#include <gtest/gtest.h>

#include "tests/sg/animation/oxAnimationTestSupport.h"
#include "tests/sg/nodes/oxNodeTestSupport.h"

using namespace animtest;
using V = std::vector<int>;

namespace {

constexpr int YZ = oxAnimationBinding::PlaneYZ;
constexpr int XY = oxAnimationBinding::PlaneXY;

class AnimationTest : public Registered {};

TEST_F(AnimationTest, BonesFindTheFirstTrackOfTheirExactNameAndBindingsAreKept)
{
    oxSmartPointer<BoneTable> h = flatBones({"hips", "l_arm", "r_arm"});
    oxSmartPointer<oxAnimation> a = animation({"r_arm", "hips"});
    oxAnimationBinding* b = nullptr;
    EXPECT_EQ(a->bind(h, b), 2);
    ASSERT_TRUE(b);
    EXPECT_EQ(trackIndices(b), V({1, -1, 0}));
    EXPECT_EQ(b->getBindCount(), 2);
    EXPECT_FALSE(b->isReflected());

    // Asking again gives the same binding; nothing new is listed.
    oxAnimationBinding* again = nullptr;
    EXPECT_EQ(a->bind(h, again), 2);
    EXPECT_EQ(again, b);
    EXPECT_EQ(a->getBindCount(), 1);
    oxAnimationBinding* found = nullptr;
    EXPECT_EQ(a->getReflectedBinding(h, found), -1);
    EXPECT_EQ(found, nullptr);

    EXPECT_EQ(a->getAnimationTrack(h, 0), a->getAnimationTrack(1));
    EXPECT_EQ(a->getAnimationTrack(h, 1), nullptr);
    EXPECT_EQ(a->getAnimationTrack(h, 3), nullptr);

    // Each hierarchy gets its own binding, made on first request for one of its tracks.
    oxSmartPointer<BoneTable> other = flatBones({"r_arm"});
    EXPECT_EQ(a->getAnimationTrack(other, 0), a->getAnimationTrack(0));
    EXPECT_EQ(a->getBindCount(), 2);
}

TEST_F(AnimationTest, AHierarchyWithoutMatchingBonesGetsNoBinding)
{
    oxSmartPointer<BoneTable> h = flatBones({"head", "tail"});
    oxSmartPointer<oxAnimation> a = animation({"wing", "HEAD"});
    oxSmartPointer<oxAnimationBinding> stale = oxAnimationBinding::_instantiateRef();
    oxAnimationBinding* b = stale;
    EXPECT_EQ(a->bind(h, b), 0);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(a->getBindCount(), 0);
    EXPECT_EQ(a->getAnimationTrack(h, 0), nullptr);
    EXPECT_EQ(a->getBindCount(), 0);
    EXPECT_EQ(a->bind(nullptr), 0);
    EXPECT_EQ(a->getAnimationTrack(nullptr, 0), nullptr);
    EXPECT_EQ(a->getAnimationTrack(static_cast<const oxAnimationBinding*>(nullptr), 0), nullptr);
}

TEST_F(AnimationTest, ExactNamesCountCaseAndLooseNamesDoNot)
{
    oxSmartPointer<oxAnimation> a = animation({"Arm", "arm"});
    EXPECT_EQ(a->getTrackIndex("arm"), 1);
    EXPECT_EQ(a->getTrackIndex("Arm"), 0);
    EXPECT_EQ(a->getTrackIndex("ARM"), -1);
    EXPECT_EQ(a->getTrackIndex(nullptr), -1);
    EXPECT_EQ(a->getAnimationTrack("arm"), a->getAnimationTrack(0));
    EXPECT_EQ(a->getAnimationTrack("ARM"), a->getAnimationTrack(0));
    EXPECT_EQ(a->getAnimationTrack("leg"), nullptr);
    EXPECT_EQ(a->getAnimationTrack(2), nullptr);
    EXPECT_EQ(a->getAnimationTrack(-1), nullptr);
    EXPECT_EQ(a->getTrackName(5), nullptr);

    // A bone named "arm" is bound to the track of its exact name.
    oxSmartPointer<BoneTable> h = flatBones({"arm"});
    oxAnimationBinding* b = nullptr;
    EXPECT_EQ(a->bind(h, b), 1);
    EXPECT_EQ(trackIndices(b), V({1}));
}

TEST_F(AnimationTest, TranslationBitsFollowTheTracks)
{
    oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
    EXPECT_EQ(a->addTrack(nullptr, true), -1);
    EXPECT_EQ(a->addTrack(track("a"), false), 0);
    EXPECT_EQ(a->addTrack(track("b"), false), 1);
    EXPECT_EQ(a->getUseAnimationTransBoolArray(), nullptr) << "false bits need no array";
    EXPECT_FALSE(a->getUseAnimationTranslationBool(0));
    EXPECT_FALSE(a->setUseAnimationTranslationBool(0, true));

    EXPECT_EQ(a->addTrack(track("c"), true), 2);
    const oxBitMask* bits = a->getUseAnimationTransBoolArray();
    ASSERT_TRUE(bits);
    EXPECT_EQ(bits->getBitCount(), 3u);
    EXPECT_FALSE(a->getUseAnimationTranslationBool(0));
    EXPECT_FALSE(a->getUseAnimationTranslationBool(1));
    EXPECT_TRUE(a->getUseAnimationTranslationBool(2));

    EXPECT_EQ(a->addTrack(track("d"), false), 3);
    EXPECT_EQ(a->addTrack(track("e"), true), 4);
    EXPECT_EQ(bits->getBitCount(), 5u);
    EXPECT_TRUE(a->setUseAnimationTranslationBool(0, true));
    EXPECT_FALSE(a->setUseAnimationTranslationBool(5, true));
    EXPECT_FALSE(a->getUseAnimationTranslationBool(5));

    // Removing a track takes its bit with it: the later tracks keep theirs.
    EXPECT_TRUE(a->removeTrack(2));
    EXPECT_FALSE(a->removeTrack(4));
    EXPECT_EQ(a->getTrackCount(), 4);
    EXPECT_STREQ(a->getTrackName(2), "d");
    EXPECT_EQ(bits->getBitCount(), 4u);
    const bool expected[] = {true, false, false, true};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a->getUseAnimationTranslationBool(i), expected[i]) << "track " << i;

    // An array shorter than the tracks (set by hand) is first brought up to them.
    oxSmartPointer<oxBitMask> shorter = oxBitMask::_instantiateRef();
    shorter->addBit(true);
    a->setUseAnimationTransBoolArray(shorter);
    EXPECT_EQ(a->addTrack(track("f"), true), 4);
    EXPECT_EQ(shorter->getBitCount(), 5u);
    EXPECT_TRUE(a->getUseAnimationTranslationBool(0));
    EXPECT_FALSE(a->getUseAnimationTranslationBool(3));
    EXPECT_TRUE(a->getUseAnimationTranslationBool(4));
}

TEST_F(AnimationTest, AddingATrackRebindsKeepingRecordedSwapsRemovingOneDoesNot)
{
    oxSmartPointer<BoneTable> h = bones({{"spine", -1},
                                          {"l_shoulder", 0},
                                          {"l_elbow", 1},
                                          {"l_wrist", 2},
                                          {"r_shoulder", 0},
                                          {"r_elbow", 4}});
    oxSmartPointer<oxAnimation> a = animation({"r_elbow", "l_shoulder", "l_elbow", "r_shoulder"});
    oxAnimationBinding* b = nullptr;
    ASSERT_EQ(a->bind(h, b), 4);
    EXPECT_EQ(trackIndices(b), V({-1, 1, 2, -1, 3, 0}));
    ASSERT_TRUE(b->swapAndReflectChains("l_shoulder", "r_shoulder", YZ));
    ASSERT_TRUE(b->reflectBone(0, XY));
    EXPECT_EQ(trackIndices(b), V({-1, 3, 0, -1, 1, 2}));
    const V swaps = swapList(b);

    EXPECT_EQ(a->addTrack(track("l_wrist"), false), 4);
    oxAnimationBinding* rebuilt = a->getBinding(0);
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(a->getBindCount(), 1);
    EXPECT_EQ(rebuilt->getHierarchy(), h.get());
    EXPECT_EQ(rebuilt->getBindCount(), 5);
    EXPECT_EQ(trackIndices(rebuilt), V({-1, 3, 0, 4, 1, 2}));
    EXPECT_EQ(reflectionTypes(rebuilt), V({XY, YZ, YZ, -1, YZ, YZ}));
    EXPECT_EQ(swapList(rebuilt), swaps);
    EXPECT_TRUE(rebuilt->isReflected());

    // The binding is left alone when a track goes, stale indices and all.
    EXPECT_TRUE(a->removeTrack(0));
    EXPECT_EQ(a->getBinding(0), rebuilt);
    EXPECT_EQ(trackIndices(rebuilt), V({-1, 3, 0, 4, 1, 2}));
    EXPECT_EQ(a->getAnimationTrack(rebuilt, 3), nullptr) << "index 4 is past the tracks now";
}

TEST_F(AnimationTest, ReflectedBindingsStandBesideThePlainOnes)
{
    oxSmartPointer<BoneTable> h = flatBones({"l_hand", "r_hand", "spine"});
    oxSmartPointer<oxAnimation> a = animation({"l_hand", "r_hand", "spine"});
    oxAnimationBinding* mirrored = nullptr;
    EXPECT_EQ(a->bindReflected(h, mirrored, YZ), 3);
    ASSERT_TRUE(mirrored);
    EXPECT_TRUE(mirrored->isReflected());
    EXPECT_EQ(trackIndices(mirrored), V({1, 0, 2}));
    EXPECT_EQ(reflectionTypes(mirrored), V({YZ, YZ, YZ}));

    oxAnimationBinding* plain = nullptr;
    EXPECT_EQ(a->bind(h, plain), 3);
    ASSERT_TRUE(plain);
    EXPECT_NE(plain, mirrored);
    EXPECT_EQ(trackIndices(plain), V({0, 1, 2}));
    EXPECT_EQ(a->getBindCount(), 2);
    oxAnimationBinding* again = nullptr;
    EXPECT_EQ(a->bindReflected(h, again, XY), 3);
    EXPECT_EQ(again, mirrored);

    // Reflecting every binding turns the plain one too; mirrored ones stay as they were.
    EXPECT_EQ(a->reflectAllBindings(XY), 1);
    EXPECT_EQ(reflectionTypes(plain), V({XY, XY, XY}));
    EXPECT_EQ(reflectionTypes(mirrored), V({YZ, YZ, YZ}));
    EXPECT_EQ(a->generateReflectedBindings(XY), 0);

    // Without a winning pair of identifiers nothing mirrored is made or kept.
    oxSmartPointer<BoneTable> tie = flatBones({"l_arm", "r_arm", "leg_l", "leg_r"});
    oxSmartPointer<oxAnimation> t = animation({"l_arm", "r_arm", "leg_l", "leg_r"});
    EXPECT_EQ(t->bindReflected(tie, mirrored, YZ), 0);
    EXPECT_EQ(mirrored, nullptr);
    EXPECT_EQ(t->getBindCount(), 0);
    EXPECT_EQ(t->bind(tie), 4);
    EXPECT_EQ(t->reflectAllBindings(YZ), 0);
    EXPECT_EQ(t->reflectAllBindings("_l", "_r", false, YZ), 1);
    EXPECT_EQ(trackIndices(t->getBinding(0)), V({0, 1, 3, 2}));
}

TEST_F(AnimationTest, TransitionDefinitionsNameTheAnimationsTheyLeave)
{
    oxSmartPointer<oxAnimation> walk = animation({"hips"});
    oxSmartPointer<oxAnimation> run = animation({"hips"});
    oxSmartPointer<oxAnimationTransitionDefinition> d = oxAnimationTransitionDefinition::_instantiateRef();
    d->configure(walk);
    EXPECT_EQ(run->addTransitionDefinition(d), 0);
    EXPECT_EQ(run->addTransitionDefinition(nullptr), -1);
    EXPECT_TRUE(run->hasTransitionDefinitionFrom(walk));
    EXPECT_FALSE(run->hasTransitionDefinitionFrom(run));
    EXPECT_FALSE(walk->hasTransitionDefinitionFrom(walk));

    // A point given ratios makes parameters of its own.
    oxSmartPointer<oxAnimationTransitionPoint> p = oxAnimationTransitionPoint::_instantiateRef();
    p->configure(200'000'000, 0.0f, 1.0f, 300'000'000, 50);
    ASSERT_TRUE(p->getTransitionParams());
    EXPECT_EQ(p->getTransitionParams()->getDuration(), 300'000'000);
    EXPECT_EQ(d->addTransitionPoint(p), 0);
    EXPECT_TRUE(d->removeTransitionPoint(p));
    EXPECT_FALSE(d->removeTransitionPoint(p));

    EXPECT_TRUE(run->removeTransitionDefinition(d));
    EXPECT_FALSE(run->hasTransitionDefinitionFrom(walk));
}

TEST_F(AnimationTest, AMirroredAnimationComesBackFromASceneFileBoundAsBefore)
{
    oxSmartPointer<BoneTable> h = bones({{"spine", -1}, {"l_arm", 0}, {"r_arm", 0}});
    const oxVec3f rest[] = {{0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    ASSERT_TRUE(h->setBoneTranslationArray(rest, 3));
    oxSmartPointer<oxAnimation> a = animation({"spine", "l_arm", "r_arm"});
    a->setName("wave");
    a->setDuration(2'000'000'000);
    a->setPriority(3);
    a->getAnimationTrack(1)->setSource(oxbtest::ScaleSource::_instantiateRef());
    a->getAnimationTrack(2)->setConstantQuaternion(oxQuaternionf(0, 0, 1, 0));
    oxAnimationBinding* mirrored = nullptr;
    ASSERT_EQ(a->bindReflected(h, mirrored, XY), 3);

    oxSmartPointer<oxAnimation> back = oxAnimation::dynamicCast(nodetest::throughFile(a));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getDuration(), 2'000'000'000);
    EXPECT_EQ(back->getPriority(), 3);
    ASSERT_EQ(back->getTrackCount(), 3);
    EXPECT_TRUE(oxbtest::ScaleSource::dynamicCast(back->getAnimationTrack(1)->getSource()));
    EXPECT_EQ(back->getAnimationTrack(2)->getConstantQuaternion().z, 1.0f);
    EXPECT_EQ(back->getAnimationTrack(2)->getConstantQuaternion().w, 0.0f);
    oxAnimationBinding* b = back->getBinding(0);
    ASSERT_TRUE(b);
    EXPECT_TRUE(b->isReflected());
    EXPECT_EQ(trackIndices(b), V({0, 2, 1}));
    EXPECT_EQ(reflectionTypes(b), V({XY, XY, XY}));
    EXPECT_EQ(swapList(b), swapList(mirrored));
    auto* readHierarchy = BoneTable::dynamicCast(b->getHierarchy());
    ASSERT_TRUE(readHierarchy);
    ASSERT_TRUE(readHierarchy->getBoneTranslation(2));
    EXPECT_EQ(readHierarchy->getBoneTranslation(2)->x, 1.0f);
    EXPECT_EQ(readHierarchy->getBoneTranslation(3), nullptr);
    oxAnimationBinding* found = nullptr;
    EXPECT_EQ(back->getReflectedBinding(readHierarchy, found), 0);
}


TEST_F(AnimationTest, CompressingAnAnimationCompressesItsKeyframedTracksOnly)
{
    oxSmartPointer<oxAnimation> animation = oxAnimation::_instantiateRef();
    oxSmartPointer<oxTransformSequence1_5> keys = oxTransformSequence1_5::_instantiateRef();
    keys->setComponentChannels(TRANSLATION);
    keys->setKeyFrameCount(2);
    const oxVec3f a(0, 1, 2), b(4, 5, 6);
    keys->setTimeAsLong(1, 1000000000);
    keys->setTranslation(0, &a);
    keys->setTranslation(1, &b);
    for (oxTransformSource* source : {static_cast<oxTransformSource*>(keys.get()), static_cast<oxTransformSource*>(nullptr)}) {
        oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
        track->setSource(source);
        animation->addTrack(track, true);
    }
    EXPECT_EQ(animation->compress(true), 1);
    EXPECT_EQ(keys->getTranslationCount(), 0);
    EXPECT_EQ(animation->compress(true), 0); // already compressed
    EXPECT_EQ(animation->uncompress(true), 1);
    ASSERT_EQ(keys->getTranslationCount(), 2);
    EXPECT_NEAR(keys->getTranslation(1)->z, 6.0f, 1e-3f);
    EXPECT_FALSE(keys->compressed());
}

} // namespace
