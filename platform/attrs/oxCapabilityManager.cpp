#include "platform/attrs/oxCapabilityManager.h"

#include "platform/core/oxDriverDatabase.h"
#include "platform/core/oxEnumTable.h"
#include "platform/core/oxMetaObject.h"

namespace Kel::Attrs {

namespace {
struct PropertyName {
    const char* name = nullptr;
    bool isFeature = false; // yes/no rather than a count
};

constexpr auto kPropertyNames = Core::oxMakeEnumTable<Gfx::OX_GFX_CAP, PropertyName>({
    {Gfx::OX_GFX_CAP_MAX_TEXTURE_SIZE, {"maxTextureSize", false}},
    {Gfx::OX_GFX_CAP_MAX_LIGHTS, {"maxLights", false}},
    {Gfx::OX_GFX_CAP_MAX_CLIP_PLANES, {"maxClipPlanes", false}},
    {Gfx::OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES, {"maxVertexBlendMatrices", false}},
    {Gfx::OX_GFX_CAP_MAX_PALETTE_MATRICES, {"maxPaletteMatrices", false}},
    {Gfx::OX_GFX_CAP_MAX_TEXTURE_COORD_SETS, {"maxTextureCoordSets", false}},
    {Gfx::OX_GFX_CAP_DEPTH_BITS, {"depthBits", false}},
    {Gfx::OX_GFX_CAP_STENCIL_BITS, {"stencilBits", false}},
    {Gfx::OX_GFX_CAP_TEXTURE_UNITS, {"textureUnits", false}},
    {Gfx::OX_GFX_CAP_CUBE_MAPS, {"cubeMaps", true}},
    {Gfx::OX_GFX_CAP_TEXTURE_COMBINE, {"textureCombine", true}},
    {Gfx::OX_GFX_CAP_RENDER_TO_TEXTURE, {"renderToTexture", true}},
    {Gfx::OX_GFX_CAP_DISPLAY_LISTS, {"displayLists", true}},
    {Gfx::OX_GFX_CAP_NON_POWER_OF_TWO_TEXTURES, {"nonPowerOfTwoTextures", true}},
    {Gfx::OX_GFX_CAP_MAX_ANISOTROPY, {"maxAnisotropy", false}},
    {Gfx::OX_GFX_CAP_BLEND_EQUATIONS, {"blendEquations", true}},
    {Gfx::OX_GFX_CAP_TEXTURE_SUBTRACT, {"textureSubtract", true}},
    {Gfx::OX_GFX_CAP_TEXTURE_DOT3, {"textureDot3", true}},
    {Gfx::OX_GFX_CAP_MAX_VIEWPORT_SIZE, {"maxViewportSize", false}},
});
static_assert(kPropertyNames.size() == size_t(Gfx::kCapabilityCount), "every capability has a property name");
} // namespace

const char* oxCapabilityManager::getPropertyName(int number)
{
    return kPropertyNames.get(number, PropertyName{}).name;
}

void oxCapabilityManager::enterProperties(Core::oxDriverDatabase* db) const
{
    if (!db)
        return;
    for (int i = 0; i < Gfx::kCapabilityCount; ++i) {
        PropertyName p = kPropertyNames.get(i, PropertyName{});
        if (p.isFeature)
            db->setBoolProperty(p.name, getCapability(i) != 0);
        else
            db->setIntProperty(p.name, getCapability(i));
    }
    db->setStringProperty("renderer", getRendererName());
}

const char* oxVisualContextCapabilityManager::getRendererName() const
{
    return _vc ? _vc->getMetaObject()->getName() : oxCapabilityManager::getRendererName();
}

const char* oxCapabilityManager::getCapabilityName(int number)
{
    return Gfx::getOX_GFX_CAPMetaEnum()->getEnumName(number);
}

oxGenericCapabilityManager::oxGenericCapabilityManager()
{
    for (int i = 0; i < Gfx::kCapabilityCount; ++i)
        _values[i] = Gfx::oxGetGenericCapability(i);
}

int oxGenericCapabilityManager::getCapability(int number) const
{
    return number >= 0 && number < Gfx::kCapabilityCount ? _values[number] : 0;
}

void oxGenericCapabilityManager::setCapability(int number, int value)
{
    if (number >= 0 && number < Gfx::kCapabilityCount)
        _values[number] = value;
}

} // namespace Kel::Attrs
