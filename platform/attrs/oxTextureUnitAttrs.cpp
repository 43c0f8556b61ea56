#include "platform/attrs/oxTextureUnitAttrs.h"

namespace Kel::Attrs {

using namespace Gfx;

void oxTextureBindAttr::arkRegisterInitialize(oxFields<oxTextureBindAttr>& f)
{
    f.add(OX_FIELD(texture));
}

void oxTextureBindAttr::applyTo(oxVisualContext& vc)
{
    if (!_texture) {
        vc.bindTexture(_unit, nullptr);
        return;
    }
    oxTextureDescription d = _texture->describe();
    vc.bindTexture(_unit, &d);
}

void oxTextureFunctionAttr::arkRegisterInitialize(oxFields<oxTextureFunctionAttr>& f)
{
    f.add(OX_FIELD(function)).enumeration(&getOX_GFX_TEXFUNCMetaEnum).setDefault(OX_GFX_TEXFUNC_MODULATE);
    f.add(OX_FIELD(argument0)).enumeration(&getOX_GFX_TEXARGMetaEnum).setDefault(OX_GFX_TEXARG_TEXTURE);
    f.add(OX_FIELD(argument1)).enumeration(&getOX_GFX_TEXARGMetaEnum).setDefault(OX_GFX_TEXARG_PREVIOUS);
    f.add(OX_FIELD(argument2)).enumeration(&getOX_GFX_TEXARGMetaEnum).setDefault(OX_GFX_TEXARG_CONSTANT);
}

OX_GFX_TEXARG* oxTextureFunctionAttr::argument(int index)
{
    switch (index) {
    case 0: return &_argument0;
    case 1: return &_argument1;
    case 2: return &_argument2;
    }
    return nullptr;
}

int oxTextureFunctionAttr::getArgument(int index) const
{
    const OX_GFX_TEXARG* a = const_cast<oxTextureFunctionAttr*>(this)->argument(index);
    return a ? int(*a) : -1;
}

bool oxTextureFunctionAttr::setArgument(int index, int value)
{
    OX_GFX_TEXARG* a = argument(index);
    if (!a || value < OX_GFX_TEXARG_TEXTURE || value > OX_GFX_TEXARG_PREVIOUS)
        return false;
    *a = OX_GFX_TEXARG(value);
    return true;
}

void oxTextureFunctionAttr::applyTo(oxVisualContext& vc)
{
    oxTextureFunctionParameters p;
    p.function = _function;
    p.arguments[0] = _argument0;
    p.arguments[1] = _argument1;
    p.arguments[2] = _argument2;
    vc.setTextureFunction(_unit, p);
}

void oxTextureCoordSourceAttr::arkRegisterInitialize(oxFields<oxTextureCoordSourceAttr>& f)
{
    f.add(OX_FIELD(source)).enumeration(&getOX_GFX_TEXCOORD_SOURCEMetaEnum).setDefault(OX_GFX_TEXCOORD_SET);
    f.add(OX_FIELD(set)).setDefault(-1);
}

void oxTextureCoordSourceAttr::applyTo(oxVisualContext& vc)
{
    vc.setTextureCoordSource(_unit, _source, _set < 0 ? int(_unit) : _set);
}

void oxMipMapAttr::arkRegisterInitialize(oxFields<oxMipMapAttr>& f)
{
    f.add(OX_FIELD(bias));
    f.add(OX_FIELD(minLod)).setDefault(-1000.0f);
    f.add(OX_FIELD(maxLod)).setDefault(1000.0f);
}

void oxVectorConstantAttr::arkRegisterInitialize(oxFields<oxVectorConstantAttr>& f)
{
    f.add(OX_FIELD(vector));
}

void oxTextureUnloadAttr::arkRegisterInitialize(oxFields<oxTextureUnloadAttr>& f)
{
    f.add(OX_FIELD(texture));
}

void oxTextureUnloadAttr::applyTo(oxVisualContext& vc)
{
    if (_texture)
        vc.unloadTexture(_texture.get());
}

} // namespace Kel::Attrs
