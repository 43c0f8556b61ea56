#pragma once
#include "platform/attrs/oxDisplayListAttr.h"
#include "platform/attrs/oxGeometryAttr.h"

namespace Kel::Attrs {

// The geometry of one geometry node as a whole: its list of geometry attributes and, when
// the node is compiled into a render list, the device's display-list handle. Applying it
// calls the list on the device it was recorded on (with a render-list mode set), and
// otherwise applies the attributes one by one.
class oxGeometrySetAttr : public oxAttr {
    OX_CLASS(oxGeometrySetAttr, oxAttr)
    OX_FIELDS(geometryList, renderListMode, renderList)
public:
    // Render-list modes: none, a render list, a render list with the vertex data given up.
    enum { kNoRenderList = 0, kRenderList = 1, kRenderListOnly = 2 };

    oxAttrList* getGeometryList() const { return _geometryList; }
    void setGeometryList(oxAttrList* list) { _geometryList = list; }
    int getRenderListMode() const { return _renderListMode; }
    void setRenderListMode(int mode) { _renderListMode = mode; }
    int getRenderListHandle() const { return _renderList->getHandle(); }
    // A list recorded on the device given to prepare(); a list held before is deleted.
    void setRenderListHandle(int handle) { _renderList->adopt(_renderList->getVisualContext(), handle); }
    // Notes the device a render list is being recorded on.
    void prepare(oxVisualContext* vc) { _renderList->adopt(vc, -1); }
    oxVisualContext* getVisualContext() const { return _renderList->getVisualContext(); }
    oxRenderListAttr* getRenderList() const { return _renderList; }

    bool transform(const oxMatrix44f& m);
    bool extendBounds(oxBox3f& box) const override;
    // Deletes the render list on its device; the geometry draws directly until recorded again.
    void reset() override { _renderList->deleteList(); }

protected:
    oxGeometrySetAttr() = default;
    static void arkRegisterInitialize(oxFields<oxGeometrySetAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxAttrList> _geometryList;
    int32_t _renderListMode = kNoRenderList;
    oxSmartPointer<oxRenderListAttr> _renderList;
};

} // namespace Kel::Attrs
