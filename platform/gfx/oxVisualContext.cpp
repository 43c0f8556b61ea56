#include "platform/gfx/oxVisualContext.h"

#include <cstring>

#include "platform/core/oxEnumTable.h"
#include "platform/core/oxOutput.h"

namespace Kel::Gfx {

namespace {
oxVisualContext* g_current = nullptr;
constexpr const char kPrefix[] = "OX_GFX_";
} // namespace

const char* oxGfxEnumText(Core::oxMetaEnum* meta, int value)
{
    const char* name = meta ? meta->getEnumName(value) : nullptr;
    if (!name)
        return "?";
    constexpr size_t n = sizeof kPrefix - 1;
    if (std::strncmp(name, kPrefix, n) != 0 || std::strncmp(meta->getName(), kPrefix, n) != 0)
        return name;
    // An item repeats its enumeration's name (OX_GFX_COLOR_MATERIAL_NONE reads NONE) or the
    // first word of it (OX_GFX_BLEND_SRC_ALPHA of OX_GFX_BLEND_FACTOR reads SRC_ALPHA).
    const char* item = name + n;
    const char* group = meta->getName() + n;
    for (size_t word : {std::strlen(group), std::strcspn(group, "_")})
        if (std::strncmp(item, group, word) == 0 && item[word] == '_')
            return item + word + 1;
    return item;
}

void oxVisualContext::makeCurrent()
{
    g_current = this;
}

bool oxVisualContext::isCurrent() const
{
    return g_current == this;
}

bool oxVisualContext::drawMorphedGeometry(const oxDrawDescription&, const oxMorphStream*, int)
{
    return false;
}

void oxVisualContext::userRelease()
{
    if (g_current == this)
        g_current = nullptr;
    oxObject::userRelease();
}

int oxGetGenericCapability(int number)
{
    static constexpr auto kGeneric = Core::oxMakeEnumTable<OX_GFX_CAP, int>({
        {OX_GFX_CAP_MAX_TEXTURE_SIZE, 4096},
        {OX_GFX_CAP_MAX_LIGHTS, 8},
        {OX_GFX_CAP_MAX_CLIP_PLANES, 6},
        {OX_GFX_CAP_MAX_VERTEX_BLEND_MATRICES, 4},
        {OX_GFX_CAP_MAX_PALETTE_MATRICES, 32},
        {OX_GFX_CAP_MAX_TEXTURE_COORD_SETS, 8},
        {OX_GFX_CAP_DEPTH_BITS, 24},
        {OX_GFX_CAP_STENCIL_BITS, 8},
        {OX_GFX_CAP_TEXTURE_UNITS, 8},
        {OX_GFX_CAP_CUBE_MAPS, 1},
        {OX_GFX_CAP_TEXTURE_COMBINE, 1},
        {OX_GFX_CAP_RENDER_TO_TEXTURE, 1},
        {OX_GFX_CAP_DISPLAY_LISTS, 1},
        {OX_GFX_CAP_NON_POWER_OF_TWO_TEXTURES, 1},
        {OX_GFX_CAP_MAX_ANISOTROPY, 16},
        {OX_GFX_CAP_BLEND_EQUATIONS, 1},
        {OX_GFX_CAP_TEXTURE_SUBTRACT, 1},
        {OX_GFX_CAP_TEXTURE_DOT3, 1},
        {OX_GFX_CAP_MAX_VIEWPORT_SIZE, 8192},
    });
    static_assert(kGeneric.size() == kCapabilityCount, "every capability has a generic value");
    return kGeneric.get(number, 0);
}

oxVisualContext* findVisualContext()
{
    return g_current;
}

const oxImage* oxTextureDescription::getImage(int level, int face) const
{
    int i = level * faceCount + face;
    if (!images || level < 0 || face < 0 || face >= faceCount || i >= images->getCount())
        return nullptr;
    return images->get(i);
}

int oxDrawDescription::countElements() const
{
    const char* problem = nullptr;
    int vertexCount = vertices ? vertices->getVertexCount() : 0;
    int available = indices ? indices->getCount() : vertexCount - firstVertex;
    int needed = 0;
    if (!vertices || !vertices->getStream(OX_GFX_COMPONENT_POSITION).isValid())
        problem = "no positions";
    else if (primitiveCount < 0 || firstVertex < 0 || primitiveType < 0 || primitiveType > OX_GFX_DRAW_TRIANGLE_FANS)
        problem = "bad primitive type, count or first vertex";
    else if (primitiveType == OX_GFX_DRAW_POINTS)
        needed = primitiveCount;
    else if (primitiveType == OX_GFX_DRAW_LINES)
        needed = primitiveCount * 2;
    else if (primitiveType == OX_GFX_DRAW_TRIANGLES)
        needed = primitiveCount * 3;
    else if (lengths) {
        if (lengths->getCount() < primitiveCount)
            problem = "fewer lengths than primitives";
        for (int p = 0; !problem && p < primitiveCount; ++p)
            needed += int((*lengths)[p]);
    } else if (primitiveCount > 1)
        problem = "several strips without lengths";
    else
        needed = primitiveCount ? available : 0;
    if (!problem && (needed > available || needed < 0))
        problem = "more elements than the arrays hold";
    for (int i = 0; !problem && indices && i < needed; ++i)
        if (int((*indices)[i]) + firstVertex >= vertexCount)
            problem = "an index beyond the vertices";
    if (problem) {
        Core::oxReportWarning("draw refused: %s", problem);
        return -1;
    }
    return needed;
}

} // namespace Kel::Gfx
