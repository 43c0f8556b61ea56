#include "platform/attrs/oxGeometrySetAttr.h"

namespace Kel::Attrs {

void oxGeometrySetAttr::arkRegisterInitialize(oxFields<oxGeometrySetAttr>& f)
{
    f.add(OX_FIELD(geometryList));
    f.add(OX_FIELD(renderListMode));
    f.add(OX_FIELD(renderList)).constructWithOwner().notPersistent();
}

bool oxGeometrySetAttr::transform(const oxMatrix44f& m)
{
    bool all = true;
    for (int i = 0; _geometryList && i < _geometryList->getCount(); ++i)
        if (auto* g = oxBaseGeometryAttr::dynamicCast(_geometryList->get(i)))
            all = g->transform(m) && all;
    return all;
}

bool oxGeometrySetAttr::extendBounds(oxBox3f& box) const
{
    bool any = false;
    for (int i = 0; _geometryList && i < _geometryList->getCount(); ++i)
        if (oxAttr* a = _geometryList->get(i))
            any = a->extendBounds(box) || any;
    return any;
}

void oxGeometrySetAttr::applyTo(oxVisualContext& vc)
{
    if (_renderListMode != kNoRenderList && getRenderListHandle() >= 0 && &vc == getVisualContext()) {
        _renderList->apply(&vc);
        return;
    }
    for (int i = 0; _geometryList && i < _geometryList->getCount(); ++i)
        if (oxAttr* a = _geometryList->get(i))
            a->apply(&vc);
}

} // namespace Kel::Attrs
