#pragma once
#include "platform/attrs/oxDisplayListAttr.h"
#include "platform/attrs/oxGeometryAttr.h"
#include "platform/attrs/oxGeometrySetAttr.h"
#include "sg/nodes/oxAttrSet.h"

namespace Kel::Sg {

using Attrs::oxBaseGeometryAttr;
using Attrs::oxGeometryAttr;
using Attrs::oxGeometrySetAttr;
using Attrs::oxRenderListAttr;
using Gfx::oxVisualContext;

// The leaf that carries drawable data: its attributes are geometry attributes. When its
// flags ask for it, the geometry is recorded once into a display list on the device
// (a render list) and drawn from there; skinned geometry changes every frame and is never
// recorded. The geometry set attribute keeps the list's handle and how it is used.
class oxGeometry : public oxAttrSet {
    OX_CLASS(oxGeometry, oxAttrSet)
    OX_FIELDS(renderList, trigger, geoSet)
public:
    oxAttrList* getGeometryAttrs() { return _attributes; }
    int getGeometryAttrCount() const { return getAttrCount(); }
    oxAttr* getGeometryAttr(int i) { return getAttr(i); }
    void setGeometryAttr(int i, oxAttr* attr) { setAttr(i, attr); }
    void setGeometryAttrCount(int n) { setAttrCount(n); }
    void addGeometryAttr(oxAttr* attr) { appendAttr(attr); }
    void removeGeometryAttr(int i) { removeAttr(i); }

    oxRenderListAttr* getRenderList() const { return _renderList; }
    oxGeometrySetAttr* getGeoSet() const { return _geoSet; }
    // -1 while no render list exists.
    int getRenderListHandle() const { return _geoSet ? _geoSet->getRenderListHandle() : -1; }

    // Whether some attribute blends its vertices with matrices.
    bool hasSkinnedAttr() const;
    // Whether the attribute's vertices move with matrices or weights at draw time.
    static bool isSkinnedAttr(const oxAttr* attr);
    // Records the attributes into a new list on `vc`; true at once when a list exists.
    // False for skinned geometry, when the device gives no list or recording fails.
    bool createRenderList(oxVisualContext* vc);
    // The list is deleted on the device it was recorded on, which must be `vc`.
    void deleteRenderList(oxVisualContext* vc);
    // Sets (on) or clears the usage bits of every vertex array (oxVertexArrayBase::kUsage*).
    void updateUsageFlags(unsigned flags, bool on);
    // Triangles of the triangle lists and strips; other primitives count nothing.
    int getTotalTriangles() const;

    // Moves the unskinned vertices of first-generation attributes; the children stay.
    void transform(const oxMatrix44f& m) override;
    // The attributes' reset, then the geometry set's, which gives up the render list.
    void reset() override;
    void setFlags(int flags) override;
    void setFlags(int mask, bool on) override;
    bool isChildrenOrdered() const override { return true; }
    // Children read from a file get their parent entries, as under any group, and the
    // render-list use follows the flags as read.
    void postFileRead() override;
    // A copy's geometry set is its own, in the mode of the copied flags.
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override;

    static void arkRegisterUser();
    // Adds the run-time field that carries the geometry set; once, at class registration.
    static void userRegister();

protected:
    oxGeometry() = default;
    static void arkRegisterInitialize(oxFields<oxGeometry>& f);
    // The geometry set's render-list mode from the flags and the attributes.
    void updateRenderListMode();

    oxSmartPointer<oxRenderListAttr> _renderList;
    oxSmartPointer<oxGeometrySetAttr> _geoSet;
};

OX_OBJECT_LIST(oxGeometryList, oxGeometry)

} // namespace Kel::Sg
