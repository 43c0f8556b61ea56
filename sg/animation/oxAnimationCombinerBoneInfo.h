#pragma once
#include "sg/animation/oxAnimationState.h"
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// What one playing animation contributes to one bone: its track's source (none for a
// constant pose), the current rotation and translation, and the entry's priority in the
// bone's stack. Entries come from the combiner's pool and go back to it.
class oxAnimationCombinerBoneInfo : public oxObject {
    OX_CLASS(oxAnimationCombinerBoneInfo, oxObject)
    OX_FIELDS(animationState, transformSource, constantQuaternion, constantTranslation, priority,
              useAnimationTranslation, lastKeyframe, reflect)
public:
    oxAnimationState* getAnimationState() const { return _animationState; }
    void setAnimationState(oxAnimationState* state) { _animationState = state; }
    oxTransformSource* getTransformSource() const { return _transformSource; }
    void setTransformSource(oxTransformSource* source) { _transformSource = source; }
    const oxVec4f& getConstantQuaternion() const { return _constantQuaternion; }
    void setConstantQuaternion(const oxVec4f& q) { _constantQuaternion = q; }
    oxQuaternionf getQuaternion() const
    {
        return {_constantQuaternion.x, _constantQuaternion.y, _constantQuaternion.z, _constantQuaternion.w};
    }
    void setQuaternion(const oxQuaternionf& q) { _constantQuaternion.set(q.x, q.y, q.z, q.w); }
    const oxVec3f& getConstantTranslation() const { return _constantTranslation; }
    void setConstantTranslation(const oxVec3f& v) { _constantTranslation = v; }
    int getPriority() const { return _priority; }
    void setPriority(int priority) { _priority = priority; }
    bool getUseAnimationTranslation() const { return _useAnimationTranslation; }
    void setUseAnimationTranslation(bool use) { _useAnimationTranslation = use; }
    int getLastKeyframe() const { return _lastKeyframe; }
    void setLastKeyframe(int cursor) { _lastKeyframe = cursor; }
    int getReflect() const { return _reflect; }
    void setReflect(int type) { _reflect = type; }

    // Evaluates the source at local time t into the current pose, with the entry's own key
    // cursor or (withCursor false) the source's; mirrored as `_reflect` says. False without a
    // source or when the source gives nothing.
    bool evaluate(int64_t t, bool withCursor);

    // Mirrors a rotation in the plane of the reflection type (0 YZ, 1 XZ, 2 XY).
    static oxQuaternionf reflectQuaternion(const oxQuaternionf& q, int type);

protected:
    oxAnimationCombinerBoneInfo() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationCombinerBoneInfo>& f);

    oxSmartPointer<oxAnimationState> _animationState;
    oxSmartPointer<oxTransformSource> _transformSource;
    oxVec4f _constantQuaternion{0, 0, 0, 1};
    oxVec3f _constantTranslation;
    int _priority = 0;
    bool _useAnimationTranslation = false;
    int _lastKeyframe = 1;
    int _reflect = -1;
};

OX_OBJECT_LIST(oxAnimationCombinerBoneInfoList, oxAnimationCombinerBoneInfo)
OX_OBJECT_LIST(oxAnimationCombinerBoneInfoListList, oxAnimationCombinerBoneInfoList)
OX_OBJECT_POOL(oxAnimationCombinerBoneInfoPool, oxAnimationCombinerBoneInfo)

} // namespace Kel::Sg
