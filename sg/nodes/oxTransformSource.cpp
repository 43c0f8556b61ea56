#include "sg/nodes/oxTransformSource.h"

namespace Kel::Sg {

oxTransformSourceParameters::~oxTransformSourceParameters() = default;

bool oxTransformSource::getMatrix(oxMatrix44f& m, int64_t t, int&, oxTransformSourceParameters*)
{
    return getMatrix(m, t);
}

bool oxTransformSource::getQuaternion(oxQuaternionf& q, int64_t t, int& cursor, oxTransformSourceParameters* params)
{
    oxMatrix44f m;
    const bool produced = getMatrix(m, t, cursor, params);
    q = oxQuaternionf::fromMatrix(m);
    return produced;
}

bool oxTransformSource::getQuaternion(oxQuaternionf& q, int64_t t)
{
    oxMatrix44f m;
    const bool produced = getMatrix(m, t);
    q = oxQuaternionf::fromMatrix(m);
    return produced;
}

bool oxTransformSource::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t, int& cursor,
                                                    oxTransformSourceParameters* params)
{
    oxMatrix44f m;
    const bool produced = getMatrix(m, t, cursor, params);
    q = oxQuaternionf::fromMatrix(m);
    v = m.getTranslation();
    return produced;
}

bool oxTransformSource::getQuaternionAndTranslation(oxQuaternionf& q, oxVec3f& v, int64_t t)
{
    oxMatrix44f m;
    const bool produced = getMatrix(m, t);
    q = oxQuaternionf::fromMatrix(m);
    v = m.getTranslation();
    return produced;
}

} // namespace Kel::Sg
