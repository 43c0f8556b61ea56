// One character frame side by side with osgAnimation, on the three clips and the skeleton
// of bench/characterScene.h. Ours: the combiner's pose at the frame's time, then the
// skeleton's bone and blend matrices. osgAnimation: its BasicAnimationManager updating the
// three animations (the third's weight set for the frame, as an application eases one in
// without a timeline) and an update traversal through the skeleton's bones, then each bone's
// skinning matrix (inverse bind times bone) as its rig geometry would take it. The sides
// take turns within every iteration, each timed on its own with the steady clock.
// Counters: ours and OSG in microseconds per frame, and ours / OSG.
#include <benchmark/benchmark.h>

#include <chrono>

#include <osg/FrameStamp>
#include <osgAnimation/BasicAnimationManager>
#include <osgAnimation/Bone>
#include <osgAnimation/Skeleton>
#include <osgAnimation/StackedQuaternionElement>
#include <osgAnimation/StackedTranslateElement>
#include <osgAnimation/UpdateBone>
#include <osgUtil/UpdateVisitor>

#include "bench/characterScene.h"
#include "platform/core/oxCoreLibrary.h"
#include "sg/OXSg.h"

using namespace Kel::Sg;
using namespace characterscene;

namespace {

double nowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---- ours -------------------------------------------------------------------------------

struct Ours {
    oxSmartPointer<oxSkeleton> skeleton = oxSkeleton::_instantiateRef();
    oxSmartPointer<oxAnimationCombiner> combiner = oxAnimationCombiner::_instantiateRef();
    std::vector<oxMatrix44f> bones = std::vector<oxMatrix44f>(kBones), blends = std::vector<oxMatrix44f>(kBones);

    static oxSmartPointer<oxAnimation> animation(const std::vector<std::vector<Key>>& clip)
    {
        oxSmartPointer<oxAnimation> a = oxAnimation::_instantiateRef();
        a->setDuration(int64_t(kSeconds) * kSecond);
        for (int b = 0; b < kBones; ++b) {
            oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
            track->setName(boneName(b).c_str());
            track->setSource(makeSequence(clip[size_t(b)]));
            a->addTrack(track, true);
        }
        return a;
    }

    Ours()
    {
        for (int b = 0; b < kBones; ++b)
            skeleton->insertBone(boneName(b).c_str(), parentOf(b), oxVec3f(0, 0.2f, 0));
        skeleton->allocateInverseJointArray(kBones);
        for (int b = 0; b < kBones; ++b)
            skeleton->getBoneInfo(b)->setBmIdx(b);
        combiner->configure(skeleton);
        oxSmartPointer<oxAnimation> clips[3];
        for (int c = 0; c < 3; ++c)
            clips[c] = animation(shiftedClip(kClipShifts[c]));
        combiner->add(clips[0], oxAnimationState::kOverride, oxAnimationState::kNone, oxAnimationState::kPlaying, 0);
        combiner->addManual(clips[1], oxAnimationState::kPlaying, 0);
        combiner->getAnimationState(clips[1])->setCurrentBlendRatio(kSecondWeight);
        combiner->addDynamic(clips[2], oxAnimationState::kBlend, oxAnimationState::kEaseIn,
                             oxAnimationState::kPlaying, 0, 1, kRamp, 0);
    }

    void frame(int64_t t)
    {
        const oxMatrix44f* local = combiner->updateAtTime(t);
        skeleton->update(nullptr, nullptr, local, bones.data(), blends.data(), nullptr);
        benchmark::DoNotOptimize(blends.data());
    }
};

// ---- osgAnimation ----------------------------------------------------------------------

struct Theirs {
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osgAnimation::BasicAnimationManager> manager = new osgAnimation::BasicAnimationManager;
    osg::ref_ptr<osgAnimation::Animation> clips[3];
    std::vector<osg::ref_ptr<osgAnimation::Bone>> bones;
    std::vector<osg::Matrix> palette = std::vector<osg::Matrix>(kBones);
    osg::ref_ptr<osgUtil::UpdateVisitor> visitor = new osgUtil::UpdateVisitor;
    osg::ref_ptr<osg::FrameStamp> stamp = new osg::FrameStamp;
    unsigned frameNumber = 0;

    static osg::ref_ptr<osgAnimation::Animation> animation(const std::vector<std::vector<Key>>& clip)
    {
        osg::ref_ptr<osgAnimation::Animation> a = new osgAnimation::Animation;
        a->setPlayMode(osgAnimation::Animation::LOOP);
        for (int b = 0; b < kBones; ++b) {
            osg::ref_ptr<osgAnimation::Vec3LinearChannel> t = new osgAnimation::Vec3LinearChannel;
            osg::ref_ptr<osgAnimation::QuatSphericalLinearChannel> q = new osgAnimation::QuatSphericalLinearChannel;
            t->setName("translate");
            q->setName("quaternion");
            t->setTargetName(boneName(b));
            q->setTargetName(boneName(b));
            for (const Key& k : clip[size_t(b)]) {
                const double seconds = double(k.time) * 1e-9;
                t->getOrCreateSampler()->getOrCreateKeyframeContainer()->push_back(
                    osgAnimation::Vec3Keyframe(seconds, osg::Vec3(k.t[0], k.t[1], k.t[2])));
                q->getOrCreateSampler()->getOrCreateKeyframeContainer()->push_back(
                    osgAnimation::QuatKeyframe(seconds, osg::Quat(k.q[0], k.q[1], k.q[2], k.q[3])));
            }
            a->addChannel(t.get());
            a->addChannel(q.get());
        }
        a->computeDuration();
        return a;
    }

    Theirs()
    {
        osg::ref_ptr<osgAnimation::Skeleton> skeleton = new osgAnimation::Skeleton;
        skeleton->setDefaultUpdateCallback();
        for (int b = 0; b < kBones; ++b) {
            osg::ref_ptr<osgAnimation::Bone> bone = new osgAnimation::Bone(boneName(b));
            auto* update = new osgAnimation::UpdateBone(boneName(b));
            update->getStackedTransforms().push_back(new osgAnimation::StackedTranslateElement("translate"));
            update->getStackedTransforms().push_back(new osgAnimation::StackedQuaternionElement("quaternion"));
            bone->setUpdateCallback(update);
            (b == 0 ? static_cast<osg::Group*>(skeleton.get()) : bones[size_t(parentOf(b))].get())->addChild(bone);
            bones.push_back(bone);
        }
        root->addChild(skeleton);
        root->setUpdateCallback(manager);
        for (int c = 0; c < 3; ++c) {
            clips[c] = animation(shiftedClip(kClipShifts[c]));
            manager->registerAnimation(clips[c].get());
        }
        manager->playAnimation(clips[0].get(), 0, 1.0f);
        manager->playAnimation(clips[1].get(), 1, kSecondWeight);
        manager->playAnimation(clips[2].get(), 2, 0.0f);
        visitor->setFrameStamp(stamp.get());
        frame(0);
    }

    void frame(int64_t t)
    {
        clips[2]->setWeight(rampWeight(t));
        stamp->setFrameNumber(++frameNumber);
        stamp->setSimulationTime(double(t) * 1e-9);
        visitor->setTraversalNumber(frameNumber);
        root->accept(*visitor);
        for (int b = 0; b < kBones; ++b)
            palette[size_t(b)] = bones[size_t(b)]->getInvBindMatrixInSkeletonSpace() *
                                 bones[size_t(b)]->getMatrixInSkeletonSpace();
        benchmark::DoNotOptimize(palette.data());
    }
};

void BM_CharacterFrameOursVsOsg(benchmark::State& state)
{
    Kel::libOXCore_arkRegister();
    Kel::libOXSg_arkRegister();
    Ours ours;
    Theirs theirs;
    const std::vector<int64_t> times = forwardTimes();
    size_t next = 0;
    double oursSeconds = 0, osgSeconds = 0;
    for (auto _ : state) {
        const int64_t t = times[next] + 1;
        next = next + 1 == times.size() ? 0 : next + 1;
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == ((next & 1) == 0);
            const double start = nowSeconds();
            if (oursNow) {
                ours.frame(t);
                oursSeconds += nowSeconds() - start;
            } else {
                theirs.frame(t);
                osgSeconds += nowSeconds() - start;
            }
        }
    }
    const double frames = double(state.iterations());
    state.counters["ours_us"] = oursSeconds / frames * 1e6;
    state.counters["osg_us"] = osgSeconds / frames * 1e6;
    state.counters["ratio"] = osgSeconds > 0 ? oursSeconds / osgSeconds : 0;
}

BENCHMARK(BM_CharacterFrameOursVsOsg);

} // namespace
