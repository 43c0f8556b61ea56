#pragma once
#include "sg/animation/oxActor.h"
#include "sg/animation/oxAnimation.h"
#include "sg/animation/oxTransformRecorder.h"
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

// An animation that bends three consecutive bones of a skeleton so that the third reaches
// a goal: a bone of the same skeleton, a fixed matrix, or a transform elsewhere in the
// scene seen through a recorder. Its three tracks are driven by inverse kinematics sources;
// the solution accumulates per bone over the frames it is played.
class oxInverseKinematicsAnimation : public oxAnimation {
    OX_CLASS(oxInverseKinematicsAnimation, oxAnimation)
    OX_FIELDS(initialMatrixArray, solutionMatrixArray, resultMatrixArray, skeletonBoneIndexArray,
              skeletonParentBoneIndexArray, actor, recorder, goalBoneIndex, goalMatrix, solverPoleVector, solverTwistValue)
public:
    static constexpr int kChainLength = 3;

    virtual int getChainLength() const { return kChainLength; }
    // The chain of three bones starting at `firstBone` of the actor's skeleton, each next
    // bone its predecessor's first child: rest matrices from the bind translations, one
    // track per bone named after it and driven by a new source, solutions back to identity.
    // False, with a warning and nothing changed, without a skeleton or with a chain that
    // does not reach three bones.
    virtual bool configure(oxActor* actor, int firstBone);
    // The same from a bone's name (any case); false when the skeleton has no such bone.
    virtual bool configure(oxActor* actor, const char* firstBoneName);
    // One solving step from the actor's bone matrices of its last frame.
    virtual void update();
    virtual void twoBoneInverseKinematicSolver(const oxVec3f& a, const oxVec3f& b, const oxVec3f& c,
                                               const oxVec3f& goal, const oxVec3f& pole, float twist,
                                               oxQuaternionf& q1, oxQuaternionf& q2);

    // One solving step from a skeleton's bone matrices (actor space, indexed like the
    // skeleton); `worldToActor` brings a recorded goal into that space. False, with a
    // warning and nothing changed, when a chain bone, its parent or the goal bone lies
    // outside the array.
    bool update(const oxMatrix44f* boneMatrices, int boneCount, const oxMatrix44f& worldToActor);

    // Chain entries; out of range gets the identity (or -1) and sets nothing.
    oxMatrix44f getInitialMatrix(int i) const;
    void setInitialMatrix(int i, const oxMatrix44f& m);
    oxMatrix44f getSolutionMatrix(int i) const;
    void setSolutionMatrix(int i, const oxMatrix44f& m);
    oxMatrix44f getResultMatrix(int i) const;
    void setResultMatrix(int i, const oxMatrix44f& m);
    int getSkeletonBoneIndex(int i) const;
    void setSkeletonBoneIndex(int i, int bone);
    int getSkeletonParentBoneIndex(int i) const;
    void setSkeletonParentBoneIndex(int i, int bone);

    int getGoalBoneIndex() const { return _goalBoneIndex; }
    void setGoalBoneIndex(int bone) { _goalBoneIndex = bone; }
    const oxMatrix44f& getGoalMatrix() const { return _goalMatrix; }
    void setGoalMatrix(const oxMatrix44f& m) { _goalMatrix = m; }
    const oxVec3f& getSolverPoleVector() const { return _solverPoleVector; }
    void setSolverPoleVector(const oxVec3f& pole) { _solverPoleVector = pole; }
    float getSolverTwistValue() const { return _solverTwistValue; }
    void setSolverTwistValue(float radians) { _solverTwistValue = radians; }
    // The actor is not held: it holds this animation through its combiner, and it must
    // outlive the animation's play.
    oxActor* getActor() const { return _actor; }
    oxTransformRecorder* getRecorder() const { return _recorder; }
    void setRecorder(oxTransformRecorder* recorder) { _recorder = recorder; }

    // Follows the transform: a recorder placed below it keeps its world matrix for the
    // goal. False for a null transform.
    bool assignGoalTransform(oxTransform* transform);
    // The transform of that name below `root` (depth first), for the form above; null
    // when there is none.
    static oxTransform* assignGoalTransform(oxNode* root, const char* name);
    // Takes the recorder out of the graph and lets it go.
    void removeGoalTransform();

    // Solutions and results back to identity, three of each.
    void initializeNonPersistentFields();
    void postFileRead() override;
    // Three entries of every chain array, read as identity or -1 until set: rest matrices,
    // solutions and results at identity, no bones chosen. A new animation has none, and
    // its chain entries are neither read nor written before this.
    void allocateChain();

protected:
    oxInverseKinematicsAnimation() = default;
    static void arkRegisterInitialize(oxFields<oxInverseKinematicsAnimation>& f);

    oxMemoryBlock _initialMatrixArray;
    oxMemoryBlock _solutionMatrixArray;
    oxMemoryBlock _resultMatrixArray;
    oxMemoryBlock _skeletonBoneIndexArray;
    oxMemoryBlock _skeletonParentBoneIndexArray;
    oxActor* _actor = nullptr;
    oxSmartPointer<oxTransformRecorder> _recorder;
    int _goalBoneIndex = -1;
    oxMatrix44f _goalMatrix;
    oxVec3f _solverPoleVector{0, 0, 1};
    float _solverTwistValue = 0.0f;
};

} // namespace Kel::Sg
