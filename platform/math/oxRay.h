#pragma once
#include "platform/core/oxObjectList.h"
#include "platform/math/oxMathTypes.h"

namespace Kel::Math {

// A ray with an origin, a unit direction and a length (hits beyond it do not count).
class oxRay : public Core::oxObject {
    OX_CLASS(oxRay, Core::oxObject)
    OX_FIELDS(origin, direction, length)
public:
    const oxVec3f& getOrigin() const { return _origin; }
    const oxVec3f& getDirection() const { return _direction; }
    float getLength() const { return _length; }
    void set(const oxVec3f& origin, const oxVec3f& direction, float length)
    {
        _origin = origin;
        _direction = direction.normalized();
        _length = length;
    }
    // The ray from a to b.
    void setSegment(const oxVec3f& a, const oxVec3f& b)
    {
        oxVec3f d = b - a;
        set(a, d, d.length());
    }
    oxVec3f getPoint(float t) const { return _origin + _direction * t; }
    // Into another space: the direction stays unit, the length keeps its end point.
    void transform(const oxMatrix44f& m)
    {
        setSegment(m.transformPoint(_origin), m.transformPoint(getPoint(_length)));
    }

protected:
    oxRay() = default;
    static void arkRegisterInitialize(Core::oxFields<oxRay>& f)
    {
        f.add(OX_FIELD(origin));
        f.add(OX_FIELD(direction)).setDefault(oxVec3f(0, 0, -1));
        f.add(OX_FIELD(length)).setDefault(1e30f);
    }
    oxVec3f _origin;
    oxVec3f _direction{0, 0, -1};
    float _length = 1e30f;
};

OX_OBJECT_LIST(oxRayList, oxRay)

} // namespace Kel::Math
