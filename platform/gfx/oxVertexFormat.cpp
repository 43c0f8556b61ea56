#include "platform/gfx/oxVertexFormat.h"

namespace Kel::Gfx {

namespace {
// Bytes one component occupies in a vertex (all sets for texture coordinates).
int componentBytes(const oxVertexFormat& f, OX_GFX_COMPONENT c)
{
    switch (c) {
    case OX_GFX_COMPONENT_POSITION: return f.hasPositions() ? 12 : 0;
    case OX_GFX_COMPONENT_NORMAL: return f.hasNormals() ? 12 : 0;
    case OX_GFX_COMPONENT_COLOR: return f.hasColors() ? 4 : 0;
    case OX_GFX_COMPONENT_SECONDARY_COLOR: return f.hasSecondaryColors() ? 4 : 0;
    case OX_GFX_COMPONENT_BLEND_WEIGHT: return 4 * f.getBlendWeightCount();
    case OX_GFX_COMPONENT_BLEND_INDEX: return (f.getBlendIndexCount() + 3) & ~3;
    case OX_GFX_COMPONENT_TEXCOORD: return 4 * f.getTexCoordSize() * f.getTexCoordSetCount();
    case OX_GFX_COMPONENT_BINORMAL: return f.hasBinormals() ? 12 : 0;
    case OX_GFX_COMPONENT_TANGENT: return f.hasTangents() ? 12 : 0;
    }
    return 0;
}

// The layout order of a vertex, which is not the order of the enumeration. Stored vertex
// arrays hold their vertices in this layout, so it never changes; the vertex-format tests
// pin every component's offset.
constexpr OX_GFX_COMPONENT kOrder[] = {
    OX_GFX_COMPONENT_POSITION,     OX_GFX_COMPONENT_NORMAL,      OX_GFX_COMPONENT_COLOR,
    OX_GFX_COMPONENT_SECONDARY_COLOR, OX_GFX_COMPONENT_BLEND_WEIGHT, OX_GFX_COMPONENT_BLEND_INDEX,
    OX_GFX_COMPONENT_TEXCOORD,     OX_GFX_COMPONENT_BINORMAL,    OX_GFX_COMPONENT_TANGENT,
};
} // namespace

bool oxVertexFormat::isValid() const
{
    return (_bits & kReservedMask) == 0 && getTexCoordSetCount() <= kMaxTexCoordSets && getTexCoordSize() <= 4;
}

bool oxVertexFormat::isSubsetOf(oxVertexFormat other) const
{
    constexpr uint32_t flags = kPositions | kNormals | kColors | kSecondaryColors | kBinormals | kTangents;
    if ((_bits & flags & ~other._bits) != 0)
        return false;
    return getBlendWeightCount() <= other.getBlendWeightCount() &&
           getBlendIndexCount() <= other.getBlendIndexCount() &&
           getTexCoordSetCount() <= other.getTexCoordSetCount() &&
           (getTexCoordSetCount() == 0 || getTexCoordSize() <= other.getTexCoordSize());
}

int oxVertexFormat::getScalarCount(OX_GFX_COMPONENT component, int index) const
{
    if (!has(component, index))
        return 0;
    switch (component) {
    case OX_GFX_COMPONENT_COLOR:
    case OX_GFX_COMPONENT_SECONDARY_COLOR: return 4;
    case OX_GFX_COMPONENT_BLEND_WEIGHT: return getBlendWeightCount();
    case OX_GFX_COMPONENT_BLEND_INDEX: return getBlendIndexCount();
    case OX_GFX_COMPONENT_TEXCOORD: return getTexCoordSize();
    default: return 3;
    }
}

OX_GFX_SCALAR oxVertexFormat::getScalarType(OX_GFX_COMPONENT component) const
{
    switch (component) {
    case OX_GFX_COMPONENT_COLOR:
    case OX_GFX_COMPONENT_SECONDARY_COLOR:
    case OX_GFX_COMPONENT_BLEND_INDEX: return OX_GFX_SCALAR_UNSIGNED_BYTE;
    default: return OX_GFX_SCALAR_FLOAT;
    }
}

int oxVertexFormat::getOffset(OX_GFX_COMPONENT component, int index) const
{
    if (!isValid())
        return -1;
    int offset = 0;
    for (OX_GFX_COMPONENT c : kOrder) {
        int bytes = componentBytes(*this, c);
        if (c == component) {
            if (bytes == 0)
                return -1;
            if (c == OX_GFX_COMPONENT_TEXCOORD) {
                if (index < 0 || index >= getTexCoordSetCount())
                    return -1;
                return offset + index * 4 * getTexCoordSize();
            }
            return index == 0 ? offset : -1;
        }
        offset += bytes;
    }
    return -1;
}

int oxVertexFormat::getStride() const
{
    if (!isValid())
        return 0;
    int stride = 0;
    for (OX_GFX_COMPONENT c : kOrder)
        stride += componentBytes(*this, c);
    return stride;
}

} // namespace Kel::Gfx
