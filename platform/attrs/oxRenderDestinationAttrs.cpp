#include "platform/attrs/oxRenderDestinationAttrs.h"

#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

void oxRenderDestinationAttr::arkRegisterInitialize(oxFields<oxRenderDestinationAttr>& f)
{
    f.add(OX_FIELD(texture));
    f.add(OX_FIELD(width));
    f.add(OX_FIELD(height));
    f.add(OX_FIELD(depthBuffer)).setDefault(true);
}

void oxRenderDestinationAttr::setTexture(oxTextureAttr* texture)
{
    _texture = texture;
    ++_version;
}

void oxRenderDestinationAttr::setSize(int width, int height)
{
    _width = width < 0 ? 0 : width;
    _height = height < 0 ? 0 : height;
    ++_version;
}

void oxRenderDestinationAttr::setDepthBuffer(bool on)
{
    _depthBuffer = on;
    ++_version;
}

const Gfx::oxImage* oxRenderDestinationAttr::getTextureImage() const
{
    return _texture ? _texture->getImage(0) : nullptr;
}

int oxRenderDestinationAttr::getWidth() const
{
    const Gfx::oxImage* image = _width > 0 ? nullptr : getTextureImage();
    return image ? image->getWidth() : _width;
}

int oxRenderDestinationAttr::getHeight() const
{
    const Gfx::oxImage* image = _height > 0 ? nullptr : getTextureImage();
    return image ? image->getHeight() : _height;
}

void oxRenderDestinationAttr::describe(Gfx::oxRenderDestinationDescription& out,
                                       Gfx::oxTextureDescription& texture) const
{
    out.id = this;
    out.version = _version;
    out.width = getWidth();
    out.height = getHeight();
    out.depthBuffer = _depthBuffer;
    out.texture = nullptr;
    if (_texture) {
        texture = _texture->describe();
        out.texture = &texture;
    }
}

void oxRenderDestinationAttr::applyTo(oxVisualContext& vc)
{
    Gfx::oxRenderDestinationDescription d;
    Gfx::oxTextureDescription t;
    describe(d, t);
    if (d.texture && (d.width <= 0 || d.height <= 0)) {
        Core::oxReportWarning("oxRenderDestinationAttr: a target without a size");
        return;
    }
    vc.prepareRenderDestination(d);
}

void oxSetRenderDestinationAttr::arkRegisterInitialize(oxFields<oxSetRenderDestinationAttr>& f)
{
    f.add(OX_FIELD(destination));
}

void oxSetRenderDestinationAttr::applyTo(oxVisualContext& vc)
{
    if (!_destination || !_destination->getTexture()) {
        vc.setRenderDestination(nullptr);
        return;
    }
    Gfx::oxRenderDestinationDescription d;
    Gfx::oxTextureDescription t;
    _destination->describe(d, t);
    vc.setRenderDestination(&d);
}

void oxCopyRenderDestinationAttr::arkRegisterInitialize(oxFields<oxCopyRenderDestinationAttr>& f)
{
    f.add(OX_FIELD(image));
    f.add(OX_FIELD(x));
    f.add(OX_FIELD(y));
    f.add(OX_FIELD(width));
    f.add(OX_FIELD(height));
}

void oxCopyRenderDestinationAttr::applyTo(oxVisualContext& vc)
{
    if (!_image)
        return;
    int x = _x, y = _y, width = _width, height = _height;
    if (width <= 0 || height <= 0) {
        Gfx::oxViewport v = vc.getViewport();
        x = v.x;
        y = v.y;
        width = v.width;
        height = v.height;
    }
    if (!vc.readPixels(x, y, width, height, _image))
        Core::oxReportWarning("oxCopyRenderDestinationAttr: reading %dx%d pixels failed", width, height);
}

} // namespace Kel::Attrs
