#include "platform/math/oxVolume.h"

#include <cmath>

#include "platform/math/oxIntersect.h"

namespace Kel::Math {

void oxVolume::extendBy(const oxVolume* volume)
{
    if (!volume || volume->isEmpty())
        return;
    oxBox3f b = volume->getBox();
    for (int i = 0; i < 8; ++i)
        extendBy(oxVec3f(i & 1 ? b.max.x : b.min.x, i & 2 ? b.max.y : b.min.y, i & 4 ? b.max.z : b.min.z));
}

bool oxVolume::intersects(const oxVolume* other) const
{
    return other && !isEmpty() && !other->isEmpty() && getBox().intersects(other->getBox());
}

void oxAABox::arkRegisterInitialize(oxFields<oxAABox>& f)
{
    oxBox3f empty;
    f.add(OX_FIELD(min)).setDefault(empty.min);
    f.add(OX_FIELD(max)).setDefault(empty.max);
}

void oxAABox::extendBy(const oxVec3f& point)
{
    _min.minimize(point);
    _max.maximize(point);
}

void oxAABox::extendBy(const oxVolume* volume)
{
    if (!volume || volume->isEmpty())
        return;
    oxBox3f b = getBox();
    b.extendBy(volume->getBox());
    set(b);
}

void oxAABox::transform(const oxMatrix44f& m)
{
    oxBox3f b = getBox();
    b.transform(m);
    set(b);
}

bool oxAABox::intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const
{
    float tNear = 0, tFar = 0;
    if (isEmpty() || !oxIntersectRayBox(origin, direction, getBox(), &tNear, &tFar) || tFar < 0 || tNear > length)
        return false;
    t = tNear > 0 ? tNear : 0;
    return true;
}

bool oxAABox::intersects(const oxVolume* other) const
{
    // The sphere knows the exact test against a box; the box knows none better itself.
    if (oxSphere::dynamicCast(other))
        return other->intersects(this);
    return oxVolume::intersects(other);
}

void oxSphere::arkRegisterInitialize(oxFields<oxSphere>& f)
{
    f.add(OX_FIELD(center));
    f.add(OX_FIELD(radius)).setDefault(-1.0f);
}

void oxSphere::extendBy(const oxVec3f& point)
{
    if (isEmpty()) {
        set(point, 0.0f);
        return;
    }
    // Grow towards the point just enough to hold both the old sphere and the point.
    oxVec3f d = point - _center;
    float dist = d.length();
    if (dist <= _radius)
        return;
    float r = 0.5f * (dist + _radius);
    _center += d * ((r - _radius) / dist);
    _radius = r;
}

void oxSphere::extendBy(const oxVolume* volume)
{
    if (!volume || volume->isEmpty())
        return;
    if (auto* s = oxSphere::dynamicCast(volume)) {
        if (isEmpty()) {
            set(s->_center, s->_radius);
            return;
        }
        oxVec3f d = s->_center - _center;
        float dist = d.length();
        if (dist + s->_radius <= _radius)
            return;
        if (dist + _radius <= s->_radius) {
            set(s->_center, s->_radius);
            return;
        }
        float r = 0.5f * (dist + _radius + s->_radius);
        _center += d * ((r - _radius) / dist);
        _radius = r;
        return;
    }
    oxVolume::extendBy(volume);
}

void oxSphere::transform(const oxMatrix44f& m)
{
    if (isEmpty())
        return;
    // The largest axis scale bounds how far any surface point can move from the centre.
    float sx = oxVec3f(m.m[0][0], m.m[0][1], m.m[0][2]).length();
    float sy = oxVec3f(m.m[1][0], m.m[1][1], m.m[1][2]).length();
    float sz = oxVec3f(m.m[2][0], m.m[2][1], m.m[2][2]).length();
    _center = m.transformPoint(_center);
    _radius *= std::max({sx, sy, sz});
}

oxBox3f oxSphere::getBox() const
{
    if (isEmpty())
        return {};
    oxVec3f r(_radius, _radius, _radius);
    return {_center - r, _center + r};
}

bool oxSphere::contains(const oxVec3f& point) const
{
    return !isEmpty() && (point - _center).lengthSquared() <= _radius * _radius;
}

bool oxSphere::intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const
{
    if (isEmpty())
        return false;
    oxVec3f oc = origin - _center;
    float b = oc.dot(direction);
    float c = oc.lengthSquared() - _radius * _radius;
    if (c <= 0) {
        t = 0;
        return true;
    }
    float disc = b * b - c;
    if (b > 0 || disc < 0)
        return false;
    float hit = -b - std::sqrt(disc);
    if (hit > length)
        return false;
    t = hit;
    return true;
}

bool oxSphere::intersects(const oxVolume* other) const
{
    if (!other || isEmpty() || other->isEmpty())
        return false;
    if (auto* s = oxSphere::dynamicCast(other)) {
        const float r = _radius + s->_radius;
        return (s->_center - _center).lengthSquared() <= r * r;
    }
    if (oxAABox::dynamicCast(other)) {
        // The box point nearest the centre: within the radius exactly when they meet.
        const oxBox3f b = other->getBox();
        oxVec3f nearest = _center;
        nearest.maximize(b.min);
        nearest.minimize(b.max);
        return (nearest - _center).lengthSquared() <= _radius * _radius;
    }
    return oxVolume::intersects(other);
}

} // namespace Kel::Math
