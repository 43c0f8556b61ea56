#pragma once
#include "platform/core/oxDataList.h"
#include "platform/core/oxObjectList.h"
#include "platform/math/oxMathTypes.h"

namespace Kel::Math {

using Core::oxFields;

// A bounding volume. Nodes hold one as their bound; culling and intersection read it.
// Every volume class can say which box encloses it, so code that only understands boxes
// works with any volume.
class oxVolume : public Core::oxObject {
    OX_CLASS(oxVolume, Core::oxObject)
public:
    virtual void empty() = 0;
    virtual bool isEmpty() const = 0;
    virtual void extendBy(const oxVec3f& point) = 0;
    virtual void extendBy(const oxVolume* volume);
    virtual oxVec3f getCenter() const = 0;
    // Becomes a volume enclosing the transformed one.
    virtual void transform(const oxMatrix44f& m) = 0;
    virtual oxBox3f getBox() const = 0;
    virtual bool contains(const oxVec3f& point) const = 0;
    // Nearest entry distance along a ray with a unit direction, within `length`.
    virtual bool intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const = 0;
    // Whether the two volumes share a point; an empty one meets nothing. Volumes of classes
    // that know nothing better are compared by their enclosing boxes, which may only err
    // towards a meeting.
    virtual bool intersects(const oxVolume* other) const;

protected:
    oxVolume() = default;
};

// Axis-aligned box; empty when min exceeds max on any axis (the default).
class oxAABox : public oxVolume {
    OX_CLASS(oxAABox, oxVolume)
    OX_FIELDS(min, max)
public:
    const oxVec3f& getMin() const { return _min; }
    const oxVec3f& getMax() const { return _max; }
    void set(const oxVec3f& min, const oxVec3f& max)
    {
        _min = min;
        _max = max;
    }
    void set(const oxBox3f& box) { set(box.min, box.max); }

    void empty() override { set(oxBox3f()); }
    bool isEmpty() const override { return getBox().isEmpty(); }
    void extendBy(const oxVec3f& point) override;
    void extendBy(const oxVolume* volume) override;
    oxVec3f getCenter() const override { return getBox().getCenter(); }
    void transform(const oxMatrix44f& m) override;
    oxBox3f getBox() const override { return {_min, _max}; }
    bool contains(const oxVec3f& point) const override { return getBox().contains(point); }
    bool intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const override;
    bool intersects(const oxVolume* other) const override;

protected:
    oxAABox() = default;
    static void arkRegisterInitialize(oxFields<oxAABox>& f);
    oxVec3f _min;
    oxVec3f _max;
};

// Sphere; empty while the radius is negative (the default).
class oxSphere : public oxVolume {
    OX_CLASS(oxSphere, oxVolume)
    OX_FIELDS(center, radius)
public:
    const oxVec3f& getCenterPoint() const { return _center; }
    float getRadius() const { return _radius; }
    void set(const oxVec3f& center, float radius)
    {
        _center = center;
        _radius = radius;
    }

    void empty() override { _radius = -1.0f; }
    bool isEmpty() const override { return _radius < 0.0f; }
    void extendBy(const oxVec3f& point) override;
    void extendBy(const oxVolume* volume) override;
    oxVec3f getCenter() const override { return _center; }
    void transform(const oxMatrix44f& m) override;
    oxBox3f getBox() const override;
    bool contains(const oxVec3f& point) const override;
    bool intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const override;
    bool intersects(const oxVolume* other) const override;

protected:
    oxSphere() = default;
    static void arkRegisterInitialize(oxFields<oxSphere>& f);
    oxVec3f _center;
    float _radius = -1.0f;
};

// A segment swept by a sphere: every point within the radius of the segment from start to
// end. With radius 0 it is the segment itself, which makes a probe volume that holds exactly
// what a ray of that extent passes through. Empty while the radius is negative (the
// default). Segments of any length, up to an unlimited ray's 1e30, are handled without
// squaring their length.
class oxCapsule : public oxVolume {
    OX_CLASS(oxCapsule, oxVolume)
    OX_FIELDS(start, end, radius)
public:
    const oxVec3f& getStart() const { return _start; }
    const oxVec3f& getEnd() const { return _end; }
    float getRadius() const { return _radius; }
    void set(const oxVec3f& start, const oxVec3f& end, float radius)
    {
        _start = start;
        _end = end;
        _radius = radius;
    }
    // The point of the segment nearest p.
    oxVec3f closestPoint(const oxVec3f& p) const;

    void empty() override { _radius = -1.0f; }
    bool isEmpty() const override { return _radius < 0.0f; }
    // Widens the radius to reach the point; the segment stays.
    void extendBy(const oxVec3f& point) override;
    using oxVolume::extendBy;
    oxVec3f getCenter() const override { return (_start + _end) * 0.5f; }
    void transform(const oxMatrix44f& m) override;
    oxBox3f getBox() const override;
    bool contains(const oxVec3f& point) const override;
    bool intersectRay(const oxVec3f& origin, const oxVec3f& direction, float length, float& t) const override;
    // Exact against spheres and capsules, and against boxes for radius 0; a wider capsule
    // meets a box when its segment meets the box grown by the radius, which errs towards a
    // meeting near the box's edges and corners.
    bool intersects(const oxVolume* other) const override;

protected:
    oxCapsule() = default;
    static void arkRegisterInitialize(oxFields<oxCapsule>& f);
    // Unit direction and length of the segment; a zero length leaves the direction zero.
    void axis(oxVec3f& direction, float& length) const;

    oxVec3f _start;
    oxVec3f _end;
    float _radius = -1.0f;

private:
    // The axis of the segment last asked about: a probe volume is asked thousands of times
    // per walk without moving.
    mutable oxVec3f _axisStart, _axisEnd, _axisDirection;
    mutable float _axisLength = 0;
};

OX_OBJECT_LIST(oxVolumeList, oxVolume)

} // namespace Kel::Math
