#include "platform/attrs/oxGeometrySetAttr.h"

namespace Kel::Attrs {

void oxGeometrySetAttr::arkRegisterInitialize(oxFields<oxGeometrySetAttr>& f)
{
    f.add(OX_FIELD(geometryList));
    f.add(OX_FIELD(renderListMode));
    f.add(OX_FIELD(renderListHandle)).notPersistent().setDefault(-1);
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

void oxGeometrySetAttr::reset()
{
    if (_vc && _renderListHandle >= 0)
        _vc->deleteDisplayList(_renderListHandle);
    _renderListHandle = -1;
    _vc = nullptr;
}

void oxGeometrySetAttr::userRelease()
{
    reset();
    oxAttr::userRelease();
}

void oxGeometrySetAttr::applyTo(oxVisualContext& vc)
{
    if (_renderListMode != kNoRenderList && _renderListHandle >= 0 && &vc == _vc.get()) {
        vc.callDisplayList(_renderListHandle);
        return;
    }
    for (int i = 0; _geometryList && i < _geometryList->getCount(); ++i)
        if (oxAttr* a = _geometryList->get(i))
            a->apply(&vc);
}

} // namespace Kel::Attrs
