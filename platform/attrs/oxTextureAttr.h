#pragma once
#include "platform/attrs/oxAttr.h"
#include "platform/gfx/oxImage.h"

namespace Kel::Attrs {

// A texture: one image per mip level (level 0 the largest) and its sampling settings.
// Applying it loads it on the device without binding it; oxTextureBindAttr binds it to a
// unit. The version moves on with every change made through the setters, so that a device
// knows when to load it again.
class oxTextureAttr : public oxAttr {
    OX_CLASS(oxTextureAttr, oxAttr)
    OX_FIELDS(images, wrapS, wrapT, minFilter, magFilter, maxAnisotropy)
public:
    static constexpr int kMaxLevels = 16;

    virtual int getFaceCount() const { return 1; }
    // Levels that have a slot (the last may be empty).
    int getLevelCount() const;
    Gfx::oxImage* getImage(int level) const { return getFaceImage(0, level); }
    // Refused (false) for a level outside 0..15.
    bool setImage(Gfx::oxImage* image, int level) { return setFaceImage(image, 0, level); }
    Gfx::oxImageList* getImages() const { return _images; }

    Gfx::OX_GFX_WRAP getWrapS() const { return _wrapS; }
    Gfx::OX_GFX_WRAP getWrapT() const { return _wrapT; }
    void setWrap(Gfx::OX_GFX_WRAP s, Gfx::OX_GFX_WRAP t);
    Gfx::OX_GFX_FILTER getMinFilter() const { return _minFilter; }
    Gfx::OX_GFX_FILTER getMagFilter() const { return _magFilter; }
    void setFilters(Gfx::OX_GFX_FILTER minFilter, Gfx::OX_GFX_FILTER magFilter);
    float getMaxAnisotropy() const { return _maxAnisotropy; }
    void setMaxAnisotropy(float a);

    uint32_t getVersion() const { return _version; }
    // What the device is given.
    Gfx::oxTextureDescription describe() const;
    // The device loads the texture again at its next use.
    void reset() override { ++_version; }

protected:
    oxTextureAttr() = default;
    static void arkRegisterInitialize(oxFields<oxTextureAttr>& f);
    void applyTo(oxVisualContext& vc) override;
    Gfx::oxImage* getFaceImage(int face, int level) const;
    bool setFaceImage(Gfx::oxImage* image, int face, int level);

    oxSmartPointer<Gfx::oxImageList> _images;
    Gfx::OX_GFX_WRAP _wrapS = Gfx::OX_GFX_WRAP_REPEAT;
    Gfx::OX_GFX_WRAP _wrapT = Gfx::OX_GFX_WRAP_REPEAT;
    Gfx::OX_GFX_FILTER _minFilter = Gfx::OX_GFX_FILTER_LINEAR;
    Gfx::OX_GFX_FILTER _magFilter = Gfx::OX_GFX_FILTER_LINEAR;
    float _maxAnisotropy = 1.0f;

private:
    uint32_t _version = 0;
};

// A cube map: six faces (+x, -x, +y, -y, +z, -z) per level.
class oxTextureCubeAttr : public oxTextureAttr {
    OX_CLASS(oxTextureCubeAttr, oxTextureAttr)
public:
    int getFaceCount() const override { return 6; }
    Gfx::oxImage* getImage(int face, int level) const { return getFaceImage(face, level); }
    bool setImage(Gfx::oxImage* image, int face, int level) { return setFaceImage(image, face, level); }

protected:
    oxTextureCubeAttr() = default;
};

OX_OBJECT_LIST(oxTextureList, oxTextureAttr)

} // namespace Kel::Attrs
