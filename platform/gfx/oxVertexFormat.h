#pragma once
#include <cstdint>

#include "platform/gfx/oxGfxTypes.h"

namespace Kel::Gfx {

// What one vertex of an interleaved vertex array carries, as a 32-bit set of flags and
// counts:
//
//   bit  0      positions            3 floats      component 0
//   bit  1      normals              3 floats      component 1
//   bit  2      colours              4 bytes RGBA  component 2
//   bit  3      secondary colours    4 bytes RGBA  component 3
//   bits 4-7    blend weights        n floats      component 5   (n = 0..15)
//   bits 8-11   blend matrix indices n bytes, padded to 4         component 6   (n = 0..15)
//   bits 12-15  reserved, zero
//   bits 16-19  texture-coordinate sets, 0..8                      component 4, index = set
//   bits 20-21  texture-coordinate size: 0 two floats, 1 three, 2 four (3 is invalid)
//   bit  22     binormals            3 floats      component 7
//   bit  23     tangents             3 floats      component 8
//   bits 24-31  reserved, zero
//
// A vertex is laid out in that component order: position, normal, colour, secondary colour,
// weights, indices, texture-coordinate sets 0..n-1, binormal, tangent; every component starts
// on a 4-byte boundary. Weights without indices blend with matrices 0..n-1 (vertex blending);
// with indices, weight k uses the palette matrix named by index k (matrix palette). A
// non-zero field at bits 4-7 or 8-11 therefore marks skinned data.
//
// Each field only grows what a vertex holds, so "holds at least as much" is a field-by-field
// comparison of counts (isSubsetOf).
class oxVertexFormat {
public:
    static constexpr uint32_t kPositions = 1u << 0;
    static constexpr uint32_t kNormals = 1u << 1;
    static constexpr uint32_t kColors = 1u << 2;
    static constexpr uint32_t kSecondaryColors = 1u << 3;
    static constexpr uint32_t kBlendWeightShift = 4;
    static constexpr uint32_t kBlendIndexShift = 8;
    static constexpr uint32_t kTexCoordSetShift = 16;
    static constexpr uint32_t kTexCoordSizeShift = 20;
    static constexpr uint32_t kBinormals = 1u << 22;
    static constexpr uint32_t kTangents = 1u << 23;
    static constexpr uint32_t kBlendWeightMask = 0xFu << kBlendWeightShift;
    static constexpr uint32_t kBlendIndexMask = 0xFu << kBlendIndexShift;
    static constexpr uint32_t kTexCoordSetMask = 0xFu << kTexCoordSetShift;
    static constexpr uint32_t kTexCoordSizeMask = 0x3u << kTexCoordSizeShift;
    static constexpr uint32_t kReservedMask = 0xFF00F000u;
    static constexpr int kMaxTexCoordSets = 8;

    constexpr oxVertexFormat() = default;
    constexpr oxVertexFormat(uint32_t bits) : _bits(bits) {}

    static constexpr oxVertexFormat blendWeights(int count) { return uint32_t(count & 0xF) << kBlendWeightShift; }
    static constexpr oxVertexFormat blendIndices(int count) { return uint32_t(count & 0xF) << kBlendIndexShift; }
    // `sets` texture-coordinate sets of `size` floats each (2 to 4).
    static constexpr oxVertexFormat texCoords(int sets, int size = 2)
    {
        return (uint32_t(sets & 0xF) << kTexCoordSetShift) | (uint32_t((size - 2) & 0x3) << kTexCoordSizeShift);
    }

    constexpr uint32_t getBits() const { return _bits; }
    constexpr explicit operator uint32_t() const { return _bits; }
    friend constexpr oxVertexFormat operator|(oxVertexFormat a, oxVertexFormat b) { return a._bits | b._bits; }
    friend constexpr oxVertexFormat operator&(oxVertexFormat a, oxVertexFormat b) { return a._bits & b._bits; }
    constexpr bool operator==(const oxVertexFormat&) const = default;

    constexpr bool hasPositions() const { return _bits & kPositions; }
    constexpr bool hasNormals() const { return _bits & kNormals; }
    constexpr bool hasColors() const { return _bits & kColors; }
    constexpr bool hasSecondaryColors() const { return _bits & kSecondaryColors; }
    constexpr bool hasBinormals() const { return _bits & kBinormals; }
    constexpr bool hasTangents() const { return _bits & kTangents; }
    constexpr int getBlendWeightCount() const { return int((_bits & kBlendWeightMask) >> kBlendWeightShift); }
    constexpr int getBlendIndexCount() const { return int((_bits & kBlendIndexMask) >> kBlendIndexShift); }
    constexpr int getTexCoordSetCount() const { return int((_bits & kTexCoordSetMask) >> kTexCoordSetShift); }
    constexpr int getTexCoordSize() const { return 2 + int((_bits & kTexCoordSizeMask) >> kTexCoordSizeShift); }
    constexpr bool isSkinned() const { return _bits & (kBlendWeightMask | kBlendIndexMask); }

    // Reserved bits clear, at most 8 sets, a size of 2 to 4.
    bool isValid() const;
    // True when `other` holds at least every component this format holds.
    bool isSubsetOf(oxVertexFormat other) const;

    // Scalars per vertex of a component (0 when the format lacks it).
    int getScalarCount(OX_GFX_COMPONENT component, int index = 0) const;
    OX_GFX_SCALAR getScalarType(OX_GFX_COMPONENT component) const;
    // Byte offset of a component inside a vertex, -1 when the format lacks it.
    int getOffset(OX_GFX_COMPONENT component, int index = 0) const;
    bool has(OX_GFX_COMPONENT component, int index = 0) const { return getOffset(component, index) >= 0; }
    // Bytes per vertex.
    int getStride() const;

private:
    uint32_t _bits = 0;
};

} // namespace Kel::Gfx
