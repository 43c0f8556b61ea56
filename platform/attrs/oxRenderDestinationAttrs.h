#pragma once
#include "platform/attrs/oxTextureAttr.h"

namespace Kel::Attrs {

// An off-screen target: drawing goes into a texture (a framebuffer object with the texture
// attached). Applying it makes the device create or resize the target; selecting it is the
// job of oxSetRenderDestinationAttr. Without a texture it stands for the frame buffer. A size
// of 0 takes the size of the texture's first image.
class oxRenderDestinationAttr : public oxAttr {
    OX_CLASS(oxRenderDestinationAttr, oxAttr)
    OX_FIELDS(texture, width, height, depthBuffer)
public:
    oxTextureAttr* getTexture() const { return _texture; }
    void setTexture(oxTextureAttr* texture);
    void setSize(int width, int height);
    int getWidth() const;
    int getHeight() const;
    bool getDepthBuffer() const { return _depthBuffer; }
    void setDepthBuffer(bool on);
    // Fills `out` (whose texture description must outlive its use) for the device.
    void describe(Gfx::oxRenderDestinationDescription& out, Gfx::oxTextureDescription& texture) const;
    // The device makes the target again at its next use.
    void reset() override { ++_version; }

protected:
    oxRenderDestinationAttr() = default;
    static void arkRegisterInitialize(oxFields<oxRenderDestinationAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxTextureAttr> _texture;
    int32_t _width = 0;
    int32_t _height = 0;
    bool _depthBuffer = true;

private:
    const Gfx::oxImage* getTextureImage() const;
    uint32_t _version = 0;
};

// Selects the target that drawing goes into; the default (no destination) is the frame
// buffer.
class oxSetRenderDestinationAttr : public oxAttr {
    OX_CLASS(oxSetRenderDestinationAttr, oxAttr)
    OX_FIELDS(destination)
public:
    oxRenderDestinationAttr* getDestination() const { return _destination; }
    void setDestination(oxRenderDestinationAttr* destination) { _destination = destination; }

protected:
    oxSetRenderDestinationAttr() = default;
    static void arkRegisterInitialize(oxFields<oxSetRenderDestinationAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<oxRenderDestinationAttr> _destination;
};

// Reads a rectangle of the current target back into an image (RGBA8). A width or height of
// 0, the default, reads the whole current viewport.
class oxCopyRenderDestinationAttr : public oxAttr {
    OX_CLASS(oxCopyRenderDestinationAttr, oxAttr)
    OX_FIELDS(image, x, y, width, height)
public:
    Gfx::oxImage* getImage() const { return _image; }
    void setImage(Gfx::oxImage* image) { _image = image; }
    void setRectangle(int x, int y, int width, int height)
    {
        _x = x;
        _y = y;
        _width = width;
        _height = height;
    }

protected:
    oxCopyRenderDestinationAttr() = default;
    static void arkRegisterInitialize(oxFields<oxCopyRenderDestinationAttr>& f);
    void applyTo(oxVisualContext& vc) override;

    oxSmartPointer<Gfx::oxImage> _image;
    int32_t _x = 0;
    int32_t _y = 0;
    int32_t _width = 0;
    int32_t _height = 0;
};

} // namespace Kel::Attrs
