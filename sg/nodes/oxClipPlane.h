#pragma once
#include "platform/attrs/oxAttr.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxAttrList;

// A user clip plane: the plane equation (a x + b y + c z + d >= 0 is kept) in the space of
// the clip plane set that holds it, and the clip unit of the device it occupies.
class oxClipPlane : public oxObject {
    OX_CLASS(oxClipPlane, oxObject)
    OX_FIELDS(unitID, plane)
public:
    short getUnitID() const { return _unitID; }
    void setUnitID(short unit) { _unitID = unit; }
    const oxVec4f& getPlane() const { return _plane; }
    void setPlane(const oxVec4f& plane) { _plane = plane; }

protected:
    oxClipPlane() = default;
    static void arkRegisterInitialize(oxFields<oxClipPlane>& f);

    int16_t _unitID = 0;
    oxVec4f _plane;
};

OX_OBJECT_LIST(oxClipPlaneList, oxClipPlane)

// A group whose clip planes cut its subtree. The draw traversal turns each plane into a
// clip-plane attribute in the space current at the set, and keeps the attributes here at
// the planes' indices; they are rebuilt, never stored.
class oxClipPlaneSet : public oxGroup {
    OX_CLASS(oxClipPlaneSet, oxGroup)
    OX_FIELDS(clipPlaneList, clipPlaneAttrList)
public:
    void addClipPlane(oxClipPlane* plane);
    // A new plane on `unit`, held only by the list.
    void addClipPlane(int unit, const oxVec4f& plane);
    int getClipPlaneCount() const { return _clipPlaneList ? _clipPlaneList->getCount() : 0; }
    // The caller keeps index within the count.
    oxClipPlane* getClipPlane(int index) { return _clipPlaneList->get(index); }
    const oxClipPlane* getClipPlane(int index) const { return _clipPlaneList->get(index); }
    // False for an index out of range.
    bool removeClipPlane(int index);
    void removeAllClipPlanes();
    oxClipPlaneList* getClipPlaneList() const { return _clipPlaneList; }
    void setClipPlaneList(oxClipPlaneList* list) { _clipPlaneList = list; }
    oxAttrList* getClipPlaneAttrList() const { return _clipPlaneAttrList; }

protected:
    oxClipPlaneSet() = default;
    static void arkRegisterInitialize(oxFields<oxClipPlaneSet>& f);

    oxSmartPointer<oxClipPlaneList> _clipPlaneList;
    oxSmartPointer<oxAttrList> _clipPlaneAttrList;
};

} // namespace Kel::Sg
