#include "sg/animation/oxAnimationCombinerBoneInfo.h"

namespace Kel::Sg {

void oxAnimationCombinerBoneInfo::arkRegisterInitialize(oxFields<oxAnimationCombinerBoneInfo>& f)
{
    f.add(OX_FIELD(animationState));
    f.add(OX_FIELD(transformSource));
    f.add(OX_FIELD(constantQuaternion)).setDefault(oxVec4f(0, 0, 0, 1));
    f.add(OX_FIELD(constantTranslation));
    f.add(OX_FIELD(priority));
    f.add(OX_FIELD(useAnimationTranslation));
    f.add(OX_FIELD(lastKeyframe)).setDefault(1).notPersistent();
    f.add(OX_FIELD(reflect)).setDefault(-1);
}

oxQuaternionf oxAnimationCombinerBoneInfo::reflectQuaternion(const oxQuaternionf& q, int type)
{
    oxQuaternionf r(-q.x, -q.y, -q.z, q.w);
    switch (type) {
    case 0:
        r.x = q.x;
        break;
    case 1:
        r.y = q.y;
        break;
    case 2:
        r.z = q.z;
        break;
    default:
        return q;
    }
    return r;
}

bool oxAnimationCombinerBoneInfo::evaluate(int64_t t, bool withCursor)
{
    if (!_transformSource)
        return false;
    oxQuaternionf q = getQuaternion();
    bool produced;
    if (_useAnimationTranslation) {
        oxVec3f v = _constantTranslation;
        produced = withCursor ? _transformSource->getQuaternionAndTranslation(q, v, t, _lastKeyframe, nullptr)
                              : _transformSource->getQuaternionAndTranslation(q, v, t);
        if (produced)
            _constantTranslation = v;
    } else {
        produced = withCursor ? _transformSource->getQuaternion(q, t, _lastKeyframe, nullptr)
                              : _transformSource->getQuaternion(q, t);
    }
    if (!produced)
        return false;
    if (_reflect >= 0)
        q = reflectQuaternion(q, _reflect);
    setQuaternion(q);
    return true;
}

} // namespace Kel::Sg
