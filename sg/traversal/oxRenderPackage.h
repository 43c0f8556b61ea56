#pragma once
#include "sg/core/oxObjectPool.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/traversal/oxAttrStack.h"

namespace Kel::Sg {

class oxAttrStackManager;
class oxRenderPackageList;

// One piece of a sorted frame: the geometry attributes of a node together with the whole
// state (every attribute that differs from its default) under which they are drawn, so
// that packages can be drawn in any order. Packages built one after the other under the
// same state share one state list instead of copying it; a compound package holds
// sub-packages that are sorted as one unit and drawn in their own order.
class oxRenderPackage : public oxObject {
    OX_CLASS(oxRenderPackage, oxObject)
    OX_FIELDS(stateAttrs, cachedStateAttrs, geomAttrs, sortingCache, distance, theMass)
public:
    // Takes the texture key, the full state and the geometry attributes; clears the
    // manager's record that some stack changed.
    void build(oxGeometry* geometry, oxAttrStackManager* manager);
    // Applies the state, then the geometry, each attribute by its own apply.
    void draw(oxVisualContext* vc);
    // Vertices of the geometry attributes (geometry sets count their lists).
    int getVertexCount() const;

    void setDistance(float distance) { _distance = distance; }
    float getDistance() const { return _distance; }
    // The state list in use: the package's own, or the one it shares with an earlier
    // package. Setting null goes back to the own list.
    oxNonRefCountedAttrList* getStateAttrs() const { return _cachedStateAttrs ? _cachedStateAttrs : _stateAttrs.get(); }
    void setStateAttrs(oxNonRefCountedAttrList* list) { _cachedStateAttrs = list; }
    oxNonRefCountedAttrList* getOwnStateAttrs() const { return _stateAttrs; }
    oxNonRefCountedAttrList* getGeometryAttrs() const { return _geomAttrs; }
    // Replaces the geometry attributes with those of `list`.
    void setGeometryAttrs(const oxNonRefCountedAttrList* list);
    // The texture key the sorter orders by: compared as an address, never dereferenced.
    oxAttr* getSortingCache() const { return _sortingCache; }
    void setSortingCache(oxAttr* key) { _sortingCache = key; }
    oxRenderPackageList* getSubPackages() const { return _theMass; }
    bool isCompound() const;

    // What a geometry node draws: its geometry set when it uses a render list (the set is
    // given the node's attributes if it has no list yet), else its attributes in order.
    static void appendGeometryAttrs(oxGeometry* geometry, oxNonRefCountedAttrList* out);
    static void appendGeometryAttrs(oxGeometry* geometry, oxAttrList* out);

protected:
    oxRenderPackage() = default;
    static void arkRegisterInitialize(oxFields<oxRenderPackage>& f);

    friend class oxSorter;

    oxSmartPointer<oxNonRefCountedAttrList> _stateAttrs;
    oxNonRefCountedAttrList* _cachedStateAttrs = nullptr;
    oxSmartPointer<oxNonRefCountedAttrList> _geomAttrs;
    oxAttr* _sortingCache = nullptr;
    float _distance = 0.0f;
    oxSmartPointer<oxRenderPackageList> _theMass;
};

OX_OBJECT_POOL(oxRenderPackagePool, oxRenderPackage)
OX_NON_REF_COUNTED_OBJECT_LIST(oxRenderPackageList, oxRenderPackage)

inline bool oxRenderPackage::isCompound() const
{
    return _theMass && _theMass->getCount() > 0;
}

} // namespace Kel::Sg
