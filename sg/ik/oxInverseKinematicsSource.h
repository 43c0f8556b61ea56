#pragma once
#include "sg/animation/oxAnimationSequence.h"
#include "sg/ik/oxInverseKinematicsAnimation.h"

namespace Kel::Sg {

// Drives one bone of an inverse kinematics chain: the track of chain position `_boneIndex`
// gets its local matrix from the animation's solution. It has no keys of its own. Its first
// evaluation shows the rest pose; from the second on, the source of the chain's first bone
// has the animation solve before it answers, so the three bones of a frame agree.
class oxInverseKinematicsSource : public oxAnimationSequence {
    OX_CLASS(oxInverseKinematicsSource, oxAnimationSequence)
    OX_FIELDS(inverseKinematicsAnimation, boneIndex, evaluated)
public:
    bool getMatrix(oxMatrix44f& m, int64_t t) override;
    bool getQuaternion(oxQuaternionf& q, int64_t t) override;
    bool getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t) override;
    bool getInterpolatedQuaternion(oxQuaternionf& q, int64_t t) { return getQuaternion(q, t); }
    bool getInterpolatedQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
    {
        return getQuaternionAndTranslation(q, v, t);
    }

    unsigned char getComponentChannels() const override { return TRANSLATION | QUATERNION_ROTATION; }
    int getTranslationCount() const override { return 0; }
    const oxVec3f* getTranslation(int) const override { return nullptr; }
    void removeTranslationChannel() override {}
    int getScaleCount() const override { return 0; }
    const oxVec3f* getScale(int) const override { return nullptr; }
    void removeScaleChannel() override {}
    int64_t getKeyframeTimeOffset() override { return 0; }
    int64_t getTimeAsLong(int) const override { return 0; }
    int64_t getDuration() override { return 0; }

    oxInverseKinematicsAnimation* getInverseKinematicsAnimation() const { return _inverseKinematicsAnimation; }
    void setInverseKinematicsAnimation(oxInverseKinematicsAnimation* animation)
    {
        _inverseKinematicsAnimation = animation;
    }
    unsigned getBoneIndex() const { return _boneIndex; }
    void setBoneIndex(unsigned index) { _boneIndex = index; }
    bool getEvaluated() const { return _evaluated; }
    void setEvaluated(bool evaluated) { _evaluated = evaluated; }

protected:
    oxInverseKinematicsSource() = default;
    static void arkRegisterInitialize(oxFields<oxInverseKinematicsSource>& f);

    // Not held: the animation holds its sources through its tracks.
    oxInverseKinematicsAnimation* _inverseKinematicsAnimation = nullptr;
    unsigned _boneIndex = 0;
    bool _evaluated = false;
};

} // namespace Kel::Sg
