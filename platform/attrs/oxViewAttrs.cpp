#include "platform/attrs/oxViewAttrs.h"

namespace Kel::Attrs {

void oxViewportAttr::arkRegisterInitialize(oxFields<oxViewportAttr>& f)
{
    f.add(OX_FIELD(x));
    f.add(OX_FIELD(y));
    f.add(OX_FIELD(width));
    f.add(OX_FIELD(height));
    f.add(OX_FIELD(depthNear));
    f.add(OX_FIELD(depthFar)).setDefault(1.0f);
}

void oxViewportAttr::refreshFromVisualContext(const oxVisualContext* vc)
{
    if (!vc)
        return;
    Gfx::oxViewport v = vc->getViewport();
    setViewport(v.x, v.y, v.width, v.height);
    setDepthRange(v.depthNear, v.depthFar);
}

void oxClearAttr::arkRegisterInitialize(oxFields<oxClearAttr>& f)
{
    f.add(OX_FIELD(color));
    f.add(OX_FIELD(depth)).setDefault(1.0f);
    f.add(OX_FIELD(stencil));
    f.add(OX_FIELD(buffers)).setDefault(0u);
}

void oxClearAttr::refreshFromVisualContext(const oxVisualContext* vc)
{
    if (!vc)
        return;
    Gfx::oxClearValues v = vc->getClearValues();
    _color = v.color;
    _depth = v.depth;
    _stencil = v.stencil;
}

void oxClearAttr::applyTo(oxVisualContext& vc)
{
    vc.clear(_buffers, {_color, _depth, _stencil});
}

void oxClipPlaneAttr::arkRegisterInitialize(oxFields<oxClipPlaneAttr>& f)
{
    f.add(OX_FIELD(plane));
    f.add(OX_FIELD(modelView)).setDefault(oxMatrix44f());
}

} // namespace Kel::Attrs
