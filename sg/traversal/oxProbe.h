#pragma once
#include "platform/math/oxIntersect.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// What an intersection traversal looks for: a volume and a list of rays, all in probe
// space (the space of the graph's root, unless the traversal's base matrix says
// otherwise). Each ray carries its own choice of triangle sides (ISET_SIDES), kept in a
// list parallel to the rays.
//
// Rays made here are the probe's own; rays handed in are held, not copied, so a ray
// shared by two probes moves in both.
class oxProbe : public oxObject {
    OX_CLASS(oxProbe, oxObject)
    OX_FIELDS(volume, rays, intersectFaceType)
public:
    void setVolume(oxVolume* volume) { _volume = volume; }
    oxVolume* getVolume() const { return _volume; }

    // The index of the new ray; -1 (with a warning) for a null ray or sides outside
    // ISET_SIDES.
    int appendRay(oxRay* ray, int sides = ISET_BOTH);
    int appendRay(const oxVec3f& origin, const oxVec3f& direction, float length, int sides = ISET_BOTH);
    // Ray i becomes `ray`, or a ray of its own set to origin, direction and length. An index
    // at or beyond the count grows the list to i + 1 with default rays (origin, -z, no
    // limit) that hit both sides. False, changing nothing, for a negative index, a null ray
    // or bad sides.
    bool setRay(int i, oxRay* ray, int sides);
    bool setRay(int i, const oxVec3f& origin, const oxVec3f& direction, float length, int sides);
    // Null, or false, for an index out of range.
    oxRay* getRay(int i) const;
    bool getRay(int i, oxVec3f& origin, oxVec3f& direction, float& length) const;
    // The sides ray i may hit; ISET_BOTH for a ray without an entry of its own.
    int getRaySides(int i) const;
    // Grows with default rays or drops the last ones; false for a negative count.
    bool setRayCount(int n);
    int getRayCount() const { return _rays->getCount(); }
    oxRayList* getRayList() const { return _rays; }
    oxIntList* getFaceTypeList() const { return _intersectFaceType; }

protected:
    oxProbe() = default;
    static void arkRegisterInitialize(oxFields<oxProbe>& f);
    static bool checkSides(int sides);
    void setSides(int i, int sides);

    oxSmartPointer<oxVolume> _volume;
    oxSmartPointer<oxRayList> _rays;
    oxSmartPointer<oxIntList> _intersectFaceType;
};

} // namespace Kel::Sg
