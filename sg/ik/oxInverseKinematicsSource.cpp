#include "sg/ik/oxInverseKinematicsSource.h"

namespace Kel::Sg {

void oxInverseKinematicsSource::arkRegisterInitialize(oxFields<oxInverseKinematicsSource>& f)
{
    f.add(OX_FIELD(inverseKinematicsAnimation));
    f.add(OX_FIELD(boneIndex));
    f.add(OX_FIELD(evaluated));
}

bool oxInverseKinematicsSource::getMatrix(oxMatrix44f& m, int64_t)
{
    if (!_inverseKinematicsAnimation) {
        oxReportWarning("oxInverseKinematicsSource: no animation to take bone %u from", _boneIndex);
        return false;
    }
    if (!_evaluated) {
        _evaluated = true;
        m = _inverseKinematicsAnimation->getInitialMatrix(int(_boneIndex));
        return true;
    }
    if (_boneIndex == 0)
        _inverseKinematicsAnimation->update();
    m = _inverseKinematicsAnimation->getResultMatrix(int(_boneIndex));
    return true;
}

bool oxInverseKinematicsSource::getQuaternion(oxQuaternionf& q, int64_t t)
{
    oxMatrix44f m;
    if (!getMatrix(m, t))
        return false;
    q = oxQuaternionf::fromMatrix(m);
    return true;
}

bool oxInverseKinematicsSource::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
{
    oxMatrix44f m;
    if (!getMatrix(m, t))
        return false;
    q = oxQuaternionf::fromMatrix(m);
    v = m.getTranslation();
    return true;
}

} // namespace Kel::Sg
