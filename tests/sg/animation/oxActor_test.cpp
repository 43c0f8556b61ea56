// Characters drawn by the draw traversal onto a recording device, and the database their
// names are looked up in.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/attrs/OXAttrs.h"
#include "platform/core/oxOXBReader.h"
#include "platform/core/oxOXBWriter.h"
#include "platform/gfx/oxRecordingVisualContext.h"
#include "tests/sg/animation/oxCharacterTestSupport.h"

using namespace chartest;
using Kel::Gfx::oxRecordingVisualContext;
using State = oxAnimationState;

namespace {

class ActorTest : public Registered {
protected:
    void SetUp() override
    {
        traversal->setVisualContext(vc);
        traversal->setUserTimeState(true);
        traversal->setTimeAsLong(kSecond);

        bones = skeleton({{"root", -1}, {"arm", 0}, {"hand", 1}});
        bones->setName("body");
        bones->getBoneInfo(2)->setBmIdx(0);
        bones->allocateInverseJointArray(1);
        oxMatrix44f inverse;
        inverse.makeTranslation(oxVec3f(0, -1, 0));
        bones->setInverseJointMatrix(0, inverse);

        pose = animation("pose", kSecond);
        pose->addTrack(constantTrack("root", oxQuaternionf(), oxVec3f(0, 0, 0)), true);
        pose->addTrack(constantTrack("arm", oxQuaternionf(), oxVec3f(1, 2, 3)), true);
        pose->addTrack(constantTrack("hand", oxQuaternionf(), oxVec3f(0, 5, 0)), true);
        spin = SpinSource::_instantiateRef();
        pose->addTrack(sourcedTrack("spare", spin), false);

        // The skin draws 34 points; a graph on the arm bone draws 33.
        skin = oxSkin::_instantiateRef();
        skin->setName("skin");
        skin->setSkinnedGraph(points(34));
        look = oxAppearance::_instantiateRef();
        look->setName("look");
        look->setSkin(skin);
        oxSmartPointer<oxModelViewMatrixBoneSelect> onArm = oxModelViewMatrixBoneSelect::_instantiateRef();
        onArm->setMatrixIndex(1);
        onArm->appendChild(points(33));
        look->attachGraph(onArm);

        database = oxAnimationDatabase::_instantiateRef();
        database->setName("hero");
        database->getSkeletonList()->append(bones);
        database->getAnimationList()->append(pose);
        database->getSkinList()->append(skin);
        database->getAppearanceList()->append(look);
    }

    static oxSmartPointer<oxGeometry> points(int vertices)
    {
        oxSmartPointer<oxGeometry> g = oxGeometry::_instantiateRef();
        oxSmartPointer<Kel::Attrs::oxGeometryAttr> a = Kel::Attrs::oxGeometryAttr::_instantiateRef();
        a->configureVertexArray(Kel::Gfx::oxVertexFormat::kPositions, vertices);
        a->configurePrimitive(Kel::Gfx::OX_GFX_DRAW_POINTS, vertices);
        g->addGeometryAttr(a);
        return g;
    }

    oxSmartPointer<oxActor> actor()
    {
        oxSmartPointer<oxActor> a = oxActor::_instantiateRef();
        EXPECT_TRUE(a->configure("body", database));
        EXPECT_TRUE(a->setAppearanceByName("look"));
        EXPECT_TRUE(a->setAnimation("pose"));
        return a;
    }

    std::string frame(oxNode* root)
    {
        traversal->reset();
        traversal->apply(root);
        vc->clearTrace();
        traversal->getOutput()->apply(vc);
        return vc->getTrace();
    }

    oxSmartPointer<oxRecordingVisualContext> vc = oxRecordingVisualContext::_instantiateRef();
    oxSmartPointer<oxCommonTraversal> traversal = oxCommonTraversal::_instantiateRef();
    oxSmartPointer<oxSkeleton> bones;
    oxSmartPointer<oxAnimation> pose;
    oxSmartPointer<SpinSource> spin;
    oxSmartPointer<oxSkin> skin;
    oxSmartPointer<oxAppearance> look;
    oxSmartPointer<oxAnimationDatabase> database;
};

oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

// Whether some model-view matrix set on the device is `m`.
bool setsModelView(const std::string& trace, const oxMatrix44f& m)
{
    size_t at = 0;
    const std::string key = "setMatrix MODEL_VIEW 0 (";
    while ((at = trace.find(key, at)) != std::string::npos) {
        oxMatrix44f read;
        float* f = read.data();
        if (std::sscanf(trace.c_str() + at + key.size(), "%f %f %f %f | %f %f %f %f | %f %f %f %f | %f %f %f %f",
                        &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11],
                        &f[12], &f[13], &f[14], &f[15]) == 16 &&
            oxIsEqual(read, m, 1e-4f))
            return true;
        at += key.size();
    }
    return false;
}

bool drawsPoints(const std::string& trace, int vertices)
{
    return trace.find("vertices=" + std::to_string(vertices)) != std::string::npos;
}

TEST_F(ActorTest, TheDatabaseFindsObjectsByExactNameAndTrackSourcesByIndex)
{
    EXPECT_EQ(database->getSkeleton("body"), bones.get());
    EXPECT_EQ(database->getSkeleton("BODY"), nullptr);
    EXPECT_EQ(bones->findBoneIndex("ARM"), 1);
    EXPECT_EQ(database->getAnimation("pose"), pose.get());
    EXPECT_EQ(database->getSkin(0), skin.get());
    EXPECT_EQ(database->getSkin(1), nullptr);
    EXPECT_EQ(database->getAppearance("look"), look.get());

    EXPECT_EQ(database->resolve("hero"), database.get());
    EXPECT_EQ(database->resolve("look"), look.get());
    EXPECT_EQ(database->resolve("__TS__ pose 3"), spin.get());
    EXPECT_EQ(database->resolve("__TS__ pose 0"), nullptr);
    EXPECT_EQ(database->resolve("__TS__ pose 9"), nullptr);
    EXPECT_EQ(database->resolve("__TS__ gone 3"), nullptr);
    EXPECT_EQ(database->resolve("nobody"), nullptr);

    oxSmartPointer<oxActor> a = oxActor::_instantiateRef();
    EXPECT_FALSE(a->configure("Body", database));
    EXPECT_EQ(a->getAnimationSystem(), nullptr);
    EXPECT_FALSE(a->setAnimation("pose"));
    EXPECT_TRUE(a->configure("body"));
    EXPECT_EQ(a->getSkeleton(), bones.get());
    EXPECT_EQ(a->getBoneCount(), 3);
    EXPECT_EQ(a->getJointCount(), 1);
    EXPECT_FALSE(a->setAnimation("walk"));
    EXPECT_FALSE(a->setAppearanceByName("Look"));
    EXPECT_FALSE(a->setSkeleton("legs"));
    // The same skeleton keeps the combiner; nothing plays yet, so blending just starts.
    oxAnimationCombiner* combiner = a->getCombiner();
    EXPECT_TRUE(a->setSkeletonByReference(bones));
    EXPECT_EQ(a->getCombiner(), combiner);
    EXPECT_FALSE(a->blendToAnimation("pose"));
    EXPECT_EQ(combiner->getCurrentAnimationCount(), 1);
    EXPECT_TRUE(a->blendToAnimation("pose"));
    EXPECT_EQ(combiner->getAnimStateList()->get(1)->getTransitionMode(), State::kEaseInReplace);
    EXPECT_FALSE(a->isTransformable());
}

TEST_F(ActorTest, TheDrawTraversalPosesTheSkeletonAndDrawsTheAppearanceWithItsPalettes)
{
    oxSmartPointer<oxActor> hero = actor();
    hero->setTransform(translation(10, 0, 0));
    oxSmartPointer<oxTransform> place = oxTransform::_instantiateRef();
    const oxMatrix44f up = translation(0, 100, 0);
    place->setMatrix(&up);
    place->appendChild(hero);

    const std::string trace = frame(place);
    EXPECT_TRUE(drawsPoints(trace, 34)) << trace;
    EXPECT_TRUE(drawsPoints(trace, 33)) << trace;
    // The graph on the arm is drawn with the arm's matrix times the actor's placement.
    EXPECT_TRUE(setsModelView(trace, translation(11, 102, 3))) << trace;
    EXPECT_FALSE(setsModelView(trace, translation(11, 2, 3))) << trace;
    // Palettes are pushed only while the appearance draws.
    EXPECT_EQ(traversal->getCurrentBoneMatrixPalette(), nullptr);
    EXPECT_EQ(traversal->getCurrentBlendMatrixPaletteLength(), -1);

    EXPECT_EQ(hero->getMvmWhenTraversed(), up);
    EXPECT_FALSE(hero->getActorCacheUsed());
    EXPECT_TRUE(oxIsEqual(*hero->getBoneMatrix(0), translation(10, 100, 0), 1e-5f));
    EXPECT_TRUE(oxIsEqual(*hero->getBoneMatrix(1), translation(1, 2, 3), 1e-5f));
    EXPECT_TRUE(oxIsEqual(*hero->getBoneMatrix(2), translation(1, 7, 3), 1e-5f));
    // The hand is the one joint: its inverse bind matrix times its bone matrix.
    EXPECT_TRUE(oxIsEqual(*hero->getBlendMatrix(0), translation(1, 6, 3), 1e-5f));
    EXPECT_EQ(hero->getBlendMatrix(1), nullptr);
    oxMatrix44f inView;
    EXPECT_TRUE(hero->getBoneMatrixInViewSpace(1, inView));
    EXPECT_TRUE(oxIsEqual(inView, translation(1, 102, 3), 1e-5f));

    // Without rendering nothing is drawn, but the pose still moves.
    hero->setRender(false);
    EXPECT_FALSE(drawsPoints(frame(place), 34));
}

TEST_F(ActorTest, ActorsSharingACombinerReuseItsMatricesUnlessTheyHaveModifiers)
{
    oxSmartPointer<oxActor> first = actor();
    oxSmartPointer<oxActor> second = oxActor::_instantiateRef();
    second->configure(first->getAnimationSystem(), database);
    second->setAppearance(look);
    oxSmartPointer<oxGroup> root = oxGroup::_instantiateRef();
    root->appendChild(first);
    root->appendChild(second);
    frame(root);
    oxAnimationSystem* shared = first->getAnimationSystem();
    EXPECT_TRUE(shared->getHierarchyUpdated());
    EXPECT_EQ(second->getBoneMatrixCacheArray(), shared->getBoneMatrixArray());

    // Same time, same pose: the shared matrices are not made again.
    const oxMatrix44f marker = translation(-7, -7, -7);
    *shared->getBoneMatrix(2) = marker;
    EXPECT_EQ(second->traverse(traversal), OX_TRAVERSAL_CONTINUE);
    EXPECT_EQ(*shared->getBoneMatrix(2), marker);

    // A new time poses the skeleton again.
    traversal->setTimeAsLong(2 * kSecond);
    frame(root);
    EXPECT_TRUE(oxIsEqual(*shared->getBoneMatrix(2), translation(1, 7, 3), 1e-5f));

    // An actor with a modifier keeps matrices of its own, made every time.
    oxSmartPointer<oxTransform> lift = oxTransform::_instantiateRef();
    const oxMatrix44f by = translation(0, 0, 50);
    lift->setMatrix(&by);
    oxSmartPointer<oxAnimationModifier> modifier = oxAnimationModifier::_instantiateRef();
    modifier->configure(1, lift, oxAnimationModifier::kPost);
    second->addModifier(modifier);
    *shared->getBoneMatrix(2) = marker;
    EXPECT_EQ(second->traverse(traversal), OX_TRAVERSAL_CONTINUE);
    EXPECT_TRUE(second->getActorCacheUsed());
    EXPECT_NE(second->getBoneMatrixCacheArray(), shared->getBoneMatrixArray());
    EXPECT_TRUE(oxIsEqual(*second->getBoneMatrix(2), translation(1, 7, 53), 1e-5f));
    EXPECT_EQ(*shared->getBoneMatrix(2), marker);
    EXPECT_TRUE(second->removeModifier(modifier));
    EXPECT_FALSE(second->removeModifier(modifier));
}

TEST_F(ActorTest, AStoredActorComesBackPlayingItsAnimationsAndDrawsTheSame)
{
    oxSmartPointer<oxActor> hero = actor();
    hero->setTransform(translation(10, 0, 0));
    oxSmartPointer<oxAnimation> wave = animation("wave", kSecond);
    wave->addTrack(constantTrack("arm", oxQuaternionf(), oxVec3f(3, 2, 1)), true);
    ASSERT_TRUE(hero->getCombiner()->addManual(wave, State::kPlaying, 0));
    hero->getCombiner()->getAnimationState(wave)->setCurrentBlendRatio(0.5f);
    const std::string before = frame(hero);

    std::vector<uint8_t> bytes;
    ASSERT_EQ(oxOXBWriter::writeMemory(hero, bytes), kSuccess);
    oxOXBReader reader;
    ASSERT_EQ(reader.read(bytes.data(), bytes.size(), "hero"), kSuccess);
    oxSmartPointer<oxActor> copy = oxActor::dynamicCast(reader.getRoot());
    ASSERT_TRUE(copy);
    ASSERT_TRUE(copy->getCombiner());
    EXPECT_EQ(copy->getCombiner()->getCurrentAnimationCount(), 2);
    EXPECT_EQ(copy->getSkeleton()->getBoneCount(), 3);
    EXPECT_EQ(copy->getAnimationDatabase()->getSkeleton("body"), copy->getSkeleton());

    // A later time, so that the copy poses its skeleton itself.
    traversal->setTimeAsLong(3 * kSecond);
    const std::string after = frame(copy);
    const auto withoutTime = [](std::string trace) {
        const size_t at = trace.find("setTime ");
        return at == std::string::npos ? trace : trace.erase(at, trace.find('\n', at) - at);
    };
    EXPECT_EQ(withoutTime(after), withoutTime(before));
    EXPECT_TRUE(setsModelView(after, translation(12, 2, 2))) << after;
    EXPECT_TRUE(oxIsEqual(*copy->getBlendMatrix(0), translation(2, 6, 2), 1e-5f));
}

} // namespace
