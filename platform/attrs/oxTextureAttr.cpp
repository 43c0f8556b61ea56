#include "platform/attrs/oxTextureAttr.h"

#include "platform/core/oxOutput.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxTextureAttr::arkRegisterInitialize(oxFields<oxTextureAttr>& f)
{
    f.add(OX_FIELD(images)).constructWithOwner();
    f.add(OX_FIELD(wrapS)).enumeration(&getOX_GFX_WRAPMetaEnum).setDefault(OX_GFX_WRAP_REPEAT);
    f.add(OX_FIELD(wrapT)).enumeration(&getOX_GFX_WRAPMetaEnum).setDefault(OX_GFX_WRAP_REPEAT);
    f.add(OX_FIELD(minFilter)).enumeration(&getOX_GFX_FILTERMetaEnum).setDefault(OX_GFX_FILTER_LINEAR);
    f.add(OX_FIELD(magFilter)).enumeration(&getOX_GFX_FILTERMetaEnum).setDefault(OX_GFX_FILTER_LINEAR);
    f.add(OX_FIELD(maxAnisotropy)).setDefault(1.0f);
}

int oxTextureAttr::getLevelCount() const
{
    int faces = getFaceCount();
    return _images ? (_images->getCount() + faces - 1) / faces : 0;
}

oxImage* oxTextureAttr::getFaceImage(int face, int level) const
{
    int faces = getFaceCount();
    int i = level * faces + face;
    if (!_images || face < 0 || face >= faces || level < 0 || i >= _images->getCount())
        return nullptr;
    return _images->get(i);
}

bool oxTextureAttr::setFaceImage(oxImage* image, int face, int level)
{
    int faces = getFaceCount();
    if (!_images || face < 0 || face >= faces || level < 0 || level >= kMaxLevels) {
        Core::oxReportWarning("%s: no image slot for face %d, level %d", getMetaObject()->getName(), face, level);
        return false;
    }
    int i = level * faces + face;
    if (_images->getCount() <= i)
        _images->setCount((level + 1) * faces);
    _images->set(i, image);
    ++_version;
    return true;
}

void oxTextureAttr::setWrap(OX_GFX_WRAP s, OX_GFX_WRAP t)
{
    _wrapS = s;
    _wrapT = t;
    ++_version;
}

void oxTextureAttr::setFilters(OX_GFX_FILTER minFilter, OX_GFX_FILTER magFilter)
{
    _minFilter = minFilter;
    _magFilter = magFilter;
    ++_version;
}

void oxTextureAttr::setMaxAnisotropy(float a)
{
    _maxAnisotropy = a;
    ++_version;
}

oxTextureDescription oxTextureAttr::describe() const
{
    oxTextureDescription d;
    d.id = this;
    d.version = _version;
    d.images = _images;
    d.faceCount = getFaceCount();
    d.levelCount = getLevelCount();
    d.wrapS = _wrapS;
    d.wrapT = _wrapT;
    d.minFilter = _minFilter;
    d.magFilter = _magFilter;
    d.maxAnisotropy = _maxAnisotropy;
    return d;
}

void oxTextureAttr::applyTo(oxVisualContext& vc)
{
    vc.loadTexture(describe());
}

} // namespace Kel::Attrs
