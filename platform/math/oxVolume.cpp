#include "platform/math/oxVolume.h"

#include <algorithm>
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
    // Spheres and capsules know the exact test against a box; the box knows none better.
    if (oxSphere::dynamicCast(other) || oxCapsule::dynamicCast(other))
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
    if (oxCapsule::dynamicCast(other))
        return other->intersects(this);
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

void oxCapsule::arkRegisterInitialize(oxFields<oxCapsule>& f)
{
    f.add(OX_FIELD(start));
    f.add(OX_FIELD(end));
    f.add(OX_FIELD(radius)).setDefault(-1.0f);
}

void oxCapsule::axis(oxVec3f& direction, float& length) const
{
    if (_start != _axisStart || _end != _axisEnd) {
        // Scaled by the largest component first, so that a segment 1e30 long does not
        // square to infinity.
        const oxVec3f d = _end - _start;
        const float m = std::max({std::fabs(d.x), std::fabs(d.y), std::fabs(d.z)});
        if (m > 0) {
            const oxVec3f v = d / m;
            const float n = v.length();
            _axisDirection = v / n;
            _axisLength = m * n;
        } else {
            _axisDirection = oxVec3f(0, 0, 0);
            _axisLength = 0;
        }
        _axisStart = _start;
        _axisEnd = _end;
    }
    direction = _axisDirection;
    length = _axisLength;
}

oxVec3f oxCapsule::closestPoint(const oxVec3f& p) const
{
    oxVec3f u;
    float length;
    axis(u, length);
    const float t = std::clamp((p - _start).dot(u), 0.0f, length);
    return _start + u * t;
}

void oxCapsule::extendBy(const oxVec3f& point)
{
    if (isEmpty()) {
        set(point, point, 0.0f);
        return;
    }
    _radius = std::max(_radius, (point - closestPoint(point)).length());
}

void oxCapsule::transform(const oxMatrix44f& m)
{
    if (isEmpty())
        return;
    float sx = oxVec3f(m.m[0][0], m.m[0][1], m.m[0][2]).length();
    float sy = oxVec3f(m.m[1][0], m.m[1][1], m.m[1][2]).length();
    float sz = oxVec3f(m.m[2][0], m.m[2][1], m.m[2][2]).length();
    _start = m.transformPoint(_start);
    _end = m.transformPoint(_end);
    _radius *= std::max({sx, sy, sz});
}

oxBox3f oxCapsule::getBox() const
{
    if (isEmpty())
        return {};
    oxBox3f b;
    b.extendBy(_start);
    b.extendBy(_end);
    const oxVec3f r(_radius, _radius, _radius);
    return {b.min - r, b.max + r};
}

bool oxCapsule::contains(const oxVec3f& point) const
{
    return !isEmpty() && (point - closestPoint(point)).lengthSquared() <= _radius * _radius;
}

bool oxCapsule::intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const
{
    if (isEmpty())
        return false;
    if (contains(origin)) {
        t = 0;
        return true;
    }
    oxVec3f u;
    float segment;
    axis(u, segment);
    const float r2 = _radius * _radius;
    float best = INFINITY;
    // The side: the ray against the infinite cylinder around the axis, kept where the
    // entry lies beside the segment.
    const oxVec3f o = origin - _start;
    const oxVec3f dp = direction - u * direction.dot(u), op = o - u * o.dot(u);
    const float a = dp.lengthSquared(), b = dp.dot(op), c = op.lengthSquared() - r2;
    if (a > 0) {
        const float h = b * b - a * c;
        if (h >= 0) {
            const float hit = (-b - std::sqrt(h)) / a;
            const float along = (o + direction * hit).dot(u);
            if (hit >= 0 && along >= 0 && along <= segment)
                best = hit;
        }
    }
    // The ends: the two spheres.
    for (const oxVec3f& centre : {_start, _start + u * segment}) {
        const oxVec3f oc = origin - centre;
        const float bb = oc.dot(direction), cc = oc.lengthSquared() - r2;
        const float h = bb * bb - cc;
        if (bb > 0 || h < 0)
            continue;
        const float hit = -bb - std::sqrt(h);
        if (hit >= 0 && hit < best)
            best = hit;
    }
    if (!(best <= length))
        return false;
    t = best;
    return true;
}

bool oxCapsule::intersects(const oxVolume* other) const
{
    if (!other || isEmpty() || other->isEmpty())
        return false;
    oxVec3f u;
    float length;
    axis(u, length);
    // The exact class first: this runs once per node of an intersection walk.
    const Core::oxMetaObject* cls = other->getMetaObjectFast();
    const bool box = cls == oxAABox::getClassTypeSafe() || (cls != oxSphere::getClassTypeSafe() &&
                                                            cls != oxCapsule::getClassTypeSafe() &&
                                                            oxAABox::dynamicCast(other));
    if (box) {
        const oxBox3f b = other->getBox();
        const oxVec3f r(_radius, _radius, _radius);
        float tNear = 0;
        if (length == 0)
            return oxBox3f(b.min - r, b.max + r).contains(_start);
        return oxIntersectRayBox(_start, u, {b.min - r, b.max + r}, &tNear, nullptr) && tNear <= length;
    }
    if (auto* s = oxSphere::dynamicCast(other)) {
        const oxVec3f c = s->getCenterPoint();
        const float r = _radius + s->getRadius();
        return (c - closestPoint(c)).lengthSquared() <= r * r;
    }
    if (auto* k = oxCapsule::dynamicCast(other)) {
        // The nearest points of the two segments (Ericson, Real-Time Collision Detection
        // 5.1.9), on unit directions so that long segments stay finite.
        oxVec3f v;
        float kLength;
        k->axis(v, kLength);
        const oxVec3f d = _start - k->_start;
        const float b = u.dot(v), c = u.dot(d), f = v.dot(d);
        float s = 0, t = 0;
        if (length == 0) {
            t = std::clamp(f, 0.0f, kLength);
        } else if (kLength == 0) {
            s = std::clamp(-c, 0.0f, length);
        } else {
            const float denom = 1 - b * b;
            s = denom > 1e-12f ? std::clamp((b * f - c) / denom, 0.0f, length) : 0.0f;
            t = b * s + f;
            if (t < 0) {
                t = 0;
                s = std::clamp(-c, 0.0f, length);
            } else if (t > kLength) {
                t = kLength;
                s = std::clamp(b * kLength - c, 0.0f, length);
            }
        }
        const float r = _radius + k->_radius;
        return ((_start + u * s) - (k->_start + v * t)).lengthSquared() <= r * r;
    }
    return oxVolume::intersects(other);
}

} // namespace Kel::Math
