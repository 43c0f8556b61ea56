#pragma once
#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

// What drives one bone of an animation; its name is the bone's. A track either evaluates a
// source or holds a constant pose. The constant translation also serves a sourced track
// whose animation does not take translations from its sources.
class oxAnimationTrack : public oxNamedObject {
    OX_CLASS(oxAnimationTrack, oxNamedObject)
    OX_FIELDS(source, constantQuaternion, constantTranslation)
public:
    oxTransformSource* getSource() const { return _source; }
    void setSource(oxTransformSource* source) { _source = source; }
    // A quaternion as x, y, z, w.
    const oxVec4f& getConstantQuaternion() const { return _constantQuaternion; }
    void setConstantQuaternion(const oxVec4f& q) { _constantQuaternion = q; }
    void setConstantQuaternion(const oxQuaternionf& q) { _constantQuaternion.set(q.x, q.y, q.z, q.w); }
    const oxVec3f& getConstantTranslation() const { return _constantTranslation; }
    void setConstantTranslation(const oxVec3f& v) { _constantTranslation = v; }

protected:
    oxAnimationTrack() = default;
    static void arkRegisterInitialize(oxFields<oxAnimationTrack>& f);

    oxSmartPointer<oxTransformSource> _source;
    oxVec4f _constantQuaternion{0, 0, 0, 1};
    oxVec3f _constantTranslation;
};

OX_OBJECT_LIST(oxAnimationTrackList, oxAnimationTrack)

} // namespace Kel::Sg
