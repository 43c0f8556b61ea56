#include "sg/ik/oxInverseKinematicsAnimation.h"

#include <cstring>

#include "sg/animation/oxAnimationTrack.h"
#include "sg/ik/oxInverseKinematicsSource.h"
#include "sg/ik/oxTwoBoneSolver.h"

namespace Kel::Sg {

namespace {

// Entries of a block that holds a whole number of them; a block of any other size (a file
// written elsewhere) has none, so that no entry is read half.
template <class T>
int entryCount(const oxMemoryBlock& block)
{
    return block.size() % sizeof(T) == 0 ? int(block.size() / sizeof(T)) : 0;
}

template <class T>
T readEntry(const oxMemoryBlock& block, int i, T otherwise)
{
    if (i < 0 || i >= entryCount<T>(block))
        return otherwise;
    T value;
    std::memcpy(&value, block.data() + size_t(i) * sizeof(T), sizeof(T));
    return value;
}

template <class T>
void writeEntry(oxMemoryBlock& block, int i, const T& value)
{
    if (i < 0 || i >= entryCount<T>(block))
        return;
    std::memcpy(block.data() + size_t(i) * sizeof(T), &value, sizeof(T));
}

void fillIdentities(oxMemoryBlock& block)
{
    const oxMatrix44f identity[oxInverseKinematicsAnimation::kChainLength];
    block.assign(identity, sizeof identity);
}

} // namespace

void oxInverseKinematicsAnimation::arkRegisterInitialize(oxFields<oxInverseKinematicsAnimation>& f)
{
    f.add(OX_FIELD(initialMatrixArray));
    f.add(OX_FIELD(solutionMatrixArray)).notPersistent();
    f.add(OX_FIELD(resultMatrixArray)).notPersistent();
    f.add(OX_FIELD(skeletonBoneIndexArray));
    f.add(OX_FIELD(skeletonParentBoneIndexArray));
    f.add(OX_FIELD(actor));
    f.add(OX_FIELD(recorder));
    f.add(OX_FIELD(goalBoneIndex)).setDefault(-1);
    f.add(OX_FIELD(goalMatrix));
    f.add(OX_FIELD(solverPoleVector)).setDefault(oxVec3f(0, 0, 1));
    f.add(OX_FIELD(solverTwistValue)).setDefault(0.0f);
}

void oxInverseKinematicsAnimation::allocateChain()
{
    initializeNonPersistentFields();
    fillIdentities(_initialMatrixArray);
    const int32_t none[kChainLength] = {-1, -1, -1};
    _skeletonBoneIndexArray.assign(none, sizeof none);
    _skeletonParentBoneIndexArray.assign(none, sizeof none);
}

void oxInverseKinematicsAnimation::initializeNonPersistentFields()
{
    fillIdentities(_solutionMatrixArray);
    fillIdentities(_resultMatrixArray);
}

void oxInverseKinematicsAnimation::postFileRead()
{
    oxAnimation::postFileRead();
    initializeNonPersistentFields();
}

oxMatrix44f oxInverseKinematicsAnimation::getInitialMatrix(int i) const
{
    return readEntry(_initialMatrixArray, i, oxMatrix44f());
}

void oxInverseKinematicsAnimation::setInitialMatrix(int i, const oxMatrix44f& m)
{
    writeEntry(_initialMatrixArray, i, m);
}

oxMatrix44f oxInverseKinematicsAnimation::getSolutionMatrix(int i) const
{
    return readEntry(_solutionMatrixArray, i, oxMatrix44f());
}

void oxInverseKinematicsAnimation::setSolutionMatrix(int i, const oxMatrix44f& m)
{
    writeEntry(_solutionMatrixArray, i, m);
}

oxMatrix44f oxInverseKinematicsAnimation::getResultMatrix(int i) const
{
    return readEntry(_resultMatrixArray, i, oxMatrix44f());
}

void oxInverseKinematicsAnimation::setResultMatrix(int i, const oxMatrix44f& m)
{
    writeEntry(_resultMatrixArray, i, m);
}

int oxInverseKinematicsAnimation::getSkeletonBoneIndex(int i) const
{
    return readEntry<int32_t>(_skeletonBoneIndexArray, i, -1);
}

void oxInverseKinematicsAnimation::setSkeletonBoneIndex(int i, int bone)
{
    writeEntry<int32_t>(_skeletonBoneIndexArray, i, bone);
}

int oxInverseKinematicsAnimation::getSkeletonParentBoneIndex(int i) const
{
    return readEntry<int32_t>(_skeletonParentBoneIndexArray, i, -1);
}

void oxInverseKinematicsAnimation::setSkeletonParentBoneIndex(int i, int bone)
{
    writeEntry<int32_t>(_skeletonParentBoneIndexArray, i, bone);
}

void oxInverseKinematicsAnimation::twoBoneInverseKinematicSolver(const oxVec3f& a, const oxVec3f& b,
                                                                 const oxVec3f& c, const oxVec3f& goal,
                                                                 const oxVec3f& pole, float twist, oxQuaternionf& q1,
                                                                 oxQuaternionf& q2)
{
    oxTwoBoneSolve(a, b, c, goal, pole, twist, q1, q2);
}

bool oxInverseKinematicsAnimation::configure(oxActor* actor, int firstBone)
{
    oxAnimationSystem* system = actor ? actor->getAnimationSystem() : nullptr;
    oxAnimationHierarchy* skeleton = system ? system->getAnimationHierarchy() : nullptr;
    if (!skeleton) {
        oxReportWarning("oxInverseKinematicsAnimation: %s", actor ? "the actor has no skeleton" : "no actor");
        return false;
    }
    int bones[kChainLength];
    bones[0] = firstBone >= 0 && firstBone < skeleton->getBoneCount() ? firstBone : -1;
    for (int i = 1; i < kChainLength && bones[i - 1] >= 0; ++i) {
        int cursor = 0;
        bones[i] = skeleton->getChild(bones[i - 1], cursor);
    }
    for (int bone : bones)
        if (bone < 0) {
            oxReportWarning("oxInverseKinematicsAnimation: no chain of %d bones from bone %d", kChainLength, firstBone);
            return false;
        }

    _actor = actor;
    allocateChain();
    if (_trackList)
        _trackList->removeAll();
    else
        _trackList = oxAnimationTrackList::_instantiateRef();
    for (int i = 0; i < kChainLength; ++i) {
        setSkeletonBoneIndex(i, bones[i]);
        setSkeletonParentBoneIndex(i, skeleton->getParent(bones[i]));
        oxMatrix44f rest;
        if (const oxVec3f* bind = skeleton->getBoneTranslation(bones[i]))
            rest.setTranslation(*bind);
        setInitialMatrix(i, rest);

        oxSmartPointer<oxInverseKinematicsSource> source = oxInverseKinematicsSource::_instantiateRef();
        source->setInverseKinematicsAnimation(this);
        source->setBoneIndex(unsigned(i));
        oxSmartPointer<oxAnimationTrack> track = oxAnimationTrack::_instantiateRef();
        track->setName(skeleton->getBoneName(bones[i]));
        track->setSource(source);
        addTrack(track, true);
    }
    return true;
}

bool oxInverseKinematicsAnimation::configure(oxActor* actor, const char* firstBoneName)
{
    oxAnimationSystem* system = actor ? actor->getAnimationSystem() : nullptr;
    oxAnimationHierarchy* skeleton = system ? system->getAnimationHierarchy() : nullptr;
    const int bone = skeleton && firstBoneName ? skeleton->findBoneIndex(firstBoneName) : -1;
    if (bone < 0) {
        oxReportWarning("oxInverseKinematicsAnimation: no bone \"%s\" to start the chain at",
                        firstBoneName ? firstBoneName : "");
        return false;
    }
    return configure(actor, bone);
}

void oxInverseKinematicsAnimation::update()
{
    if (!_actor) {
        oxReportWarning("oxInverseKinematicsAnimation: no actor to take the chain's bone matrices from");
        return;
    }
    // A recorded goal is a world point; the actor's space is below its last model-view and
    // the inverse view of that frame.
    oxMatrix44f worldToActor = _actor->getMvmWhenTraversed() * _actor->getInverseViewWhenTraversed();
    if (!worldToActor.invertAffine())
        worldToActor = oxMatrix44f();
    update(_actor->getBoneMatrixCacheArray(), _actor->getBoneCount(), worldToActor);
}

bool oxInverseKinematicsAnimation::update(const oxMatrix44f* boneMatrices, int boneCount,
                                          const oxMatrix44f& worldToActor)
{
    const auto inRange = [&](int bone) { return boneMatrices && bone >= 0 && bone < boneCount; };
    int bones[kChainLength];
    for (int i = 0; i < kChainLength; ++i) {
        bones[i] = getSkeletonBoneIndex(i);
        if (!inRange(bones[i])) {
            oxReportWarning("oxInverseKinematicsAnimation: chain bone %d (skeleton bone %d) is not among %d bones", i,
                            bones[i], boneCount);
            return false;
        }
    }
    // Bones whose parent is the root bone are posed in the actor's space: the root's own
    // matrix (the actor's place in the view) is not above them, so such a chain solves in
    // actor space like one without a parent.
    const int parent = getSkeletonParentBoneIndex(0);
    if (parent > 0 && !inRange(parent)) {
        oxReportWarning("oxInverseKinematicsAnimation: the chain's parent bone %d is not among %d bones", parent,
                        boneCount);
        return false;
    }
    oxVec3f goal;
    if (_recorder)
        goal = worldToActor.transformPoint(_recorder->getMatrix()->getTranslation());
    else if (_goalBoneIndex >= 0) {
        if (!inRange(_goalBoneIndex)) {
            oxReportWarning("oxInverseKinematicsAnimation: goal bone %d is not among %d bones", _goalBoneIndex,
                            boneCount);
            return false;
        }
        goal = boneMatrices[_goalBoneIndex].getTranslation();
    } else
        goal = _goalMatrix.getTranslation();

    oxMatrix44f toParent;
    if (parent > 0) {
        toParent = boneMatrices[parent];
        if (!toParent.invertAffine())
            return false;
    }
    const oxVec3f a = toParent.transformPoint(boneMatrices[bones[0]].getTranslation());
    const oxVec3f b = toParent.transformPoint(boneMatrices[bones[1]].getTranslation());
    const oxVec3f c = toParent.transformPoint(boneMatrices[bones[2]].getTranslation());
    goal = toParent.transformPoint(goal);

    oxQuaternionf q1, q2;
    twoBoneInverseKinematicSolver(a, b, c, goal, _solverPoleVector, _solverTwistValue, q1, q2);

    oxMatrix44f rootRotation = getResultMatrix(0);
    rootRotation.setTranslation(oxVec3f(0, 0, 0));
    setSolutionMatrix(0, getSolutionMatrix(0) * q1.toMatrix());
    setSolutionMatrix(1, getSolutionMatrix(1) * oxIKMiddleJointCorrection(q2, rootRotation));
    for (int i = 0; i < kChainLength; ++i)
        setResultMatrix(i, oxIKPose(getInitialMatrix(i), getSolutionMatrix(i)));
    return true;
}

bool oxInverseKinematicsAnimation::assignGoalTransform(oxTransform* transform)
{
    if (!transform)
        return false;
    removeGoalTransform();
    oxSmartPointer<oxTransformRecorder> recorder = oxTransformRecorder::_instantiateRef();
    transform->appendChild(recorder);
    _recorder = recorder;
    return true;
}

oxTransform* oxInverseKinematicsAnimation::assignGoalTransform(oxNode* root, const char* name)
{
    if (!root || !name)
        return nullptr;
    return static_cast<oxTransform*>(oxNode::findNamedNodeOfType(root, name, oxTransform::getClassTypeSafe()));
}

void oxInverseKinematicsAnimation::removeGoalTransform()
{
    if (!_recorder)
        return;
    oxSmartPointer<oxTransformRecorder> recorder = _recorder;
    _recorder = nullptr;
    const oxMatrix44f identity;
    recorder->setMatrix(&identity);
    while (recorder->getParentCount() > 0) {
        auto* parent = oxGroup::dynamicCast(recorder->getParent(0));
        if (!parent || parent->removeChild(recorder) < 0)
            break;
    }
}

} // namespace Kel::Sg
