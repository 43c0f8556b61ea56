#include "sg/traversal/oxProbe.h"

namespace Kel::Sg {

void oxProbe::arkRegisterInitialize(oxFields<oxProbe>& f)
{
    f.add(OX_FIELD(volume));
    f.add(OX_FIELD(rays)).constructWithOwner();
    f.add(OX_FIELD(intersectFaceType)).constructWithOwner();
}

bool oxProbe::checkSides(int sides)
{
    if (sides >= ISET_FRONT && sides <= ISET_BOTH)
        return true;
    oxReportWarning("probe: ray sides %d are none of front (1), back (2) or both (3); the ray is refused", sides);
    return false;
}

int oxProbe::appendRay(oxRay* ray, int sides)
{
    if (!ray) {
        oxReportWarning("probe: a null ray is refused");
        return -1;
    }
    if (!checkSides(sides))
        return -1;
    const int i = getRayCount();
    return setRay(i, ray, sides) ? i : -1;
}

int oxProbe::appendRay(const oxVec3f& origin, const oxVec3f& direction, float length, int sides)
{
    const int i = getRayCount();
    return setRay(i, origin, direction, length, sides) ? i : -1;
}

bool oxProbe::setRay(int i, oxRay* ray, int sides)
{
    if (!ray || i < 0) {
        oxReportWarning("probe: ray %d refused (%s)", i, ray ? "negative index" : "null ray");
        return false;
    }
    if (!checkSides(sides) || (i >= getRayCount() && !setRayCount(i + 1)))
        return false;
    _rays->set(i, ray);
    setSides(i, sides);
    return true;
}

bool oxProbe::setRay(int i, const oxVec3f& origin, const oxVec3f& direction, float length, int sides)
{
    if (i < 0) {
        oxReportWarning("probe: ray %d refused (negative index)", i);
        return false;
    }
    if (!checkSides(sides) || (i >= getRayCount() && !setRayCount(i + 1)))
        return false;
    oxRay* ray = _rays->get(i);
    if (!ray) {
        ray = oxRay::_instantiateFromPool(getMemoryPool());
        _rays->set(i, ray);
    }
    ray->set(origin, direction, length);
    setSides(i, sides);
    return true;
}

oxRay* oxProbe::getRay(int i) const
{
    return i >= 0 && i < getRayCount() ? _rays->get(i) : nullptr;
}

bool oxProbe::getRay(int i, oxVec3f& origin, oxVec3f& direction, float& length) const
{
    const oxRay* ray = getRay(i);
    if (!ray)
        return false;
    origin = ray->getOrigin();
    direction = ray->getDirection();
    length = ray->getLength();
    return true;
}

int oxProbe::getRaySides(int i) const
{
    return i >= 0 && i < _intersectFaceType->getCount() ? _intersectFaceType->get(i) : ISET_BOTH;
}

bool oxProbe::setRayCount(int n)
{
    if (n < 0) {
        oxReportWarning("probe: a ray count of %d is refused", n);
        return false;
    }
    const int before = getRayCount();
    if (!_rays->setCount(n))
        return false;
    for (int i = before; i < n; ++i)
        _rays->set(i, oxRay::_instantiateFromPool(getMemoryPool()));
    const int sidesBefore = _intersectFaceType->getCount();
    _intersectFaceType->setCount(n);
    for (int i = sidesBefore; i < n; ++i)
        _intersectFaceType->set(i, ISET_BOTH);
    return true;
}

void oxProbe::setSides(int i, int sides)
{
    // The lists are open to the application and may have drifted apart.
    const int before = _intersectFaceType->getCount();
    if (i >= before) {
        _intersectFaceType->setCount(i + 1);
        for (int k = before; k < i; ++k)
            _intersectFaceType->set(k, ISET_BOTH);
    }
    _intersectFaceType->set(i, sides);
}

} // namespace Kel::Sg
