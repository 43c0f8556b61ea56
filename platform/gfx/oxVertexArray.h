#pragma once
#include <cstdint>

#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxObject.h"
#include "platform/gfx/oxVertexFormat.h"
#include "platform/math/oxMathTypes.h"

namespace Kel::Gfx {

using Core::oxFields;
using Math::oxBox3f;
using Math::oxMatrix44f;
using Math::oxVec2f;
using Math::oxVec3f;
using Math::oxVec4f;

// Where one component of every vertex lies: what glVertexPointer and its siblings take.
struct oxVertexStream {
    uint8_t* data = nullptr; // the component of vertex 0; null when the array lacks it
    int stride = 0;          // bytes from one vertex to the next
    int scalarCount = 0;     // scalars per vertex
    OX_GFX_SCALAR scalarType = OX_GFX_SCALAR_FLOAT;

    bool isValid() const { return data != nullptr; }
    uint8_t* at(int vertex) const { return data + size_t(vertex) * size_t(stride); }
};

// What every vertex container offers the device and the editing code: a vertex count, one
// stream per component, usage hints and a version that changes whenever the vertices do,
// so that a device can keep a copy and know when to refresh it.
class oxVertexArrayBase : public Core::oxObject {
    OX_CLASS(oxVertexArrayBase, Core::oxObject)
    OX_FIELDS(usageFlags)
public:
    // Usage hints (bits): the host reads the vertices back, so a device must not give up
    // its own copy; the vertices are rewritten often (every draw of a deforming effect).
    static constexpr uint32_t kUsageHostRead = 1;
    static constexpr uint32_t kUsageDynamic = 4;

    virtual int getVertexCount() const = 0;
    // The stream of a component (`index` selects a texture-coordinate set); an invalid stream
    // when the array lacks it. Writing through it must be followed by touch().
    virtual oxVertexStream getStream(OX_GFX_COMPONENT component, int index = 0) const = 0;
    // The components present, in the terms of the interleaved format.
    virtual oxVertexFormat getFormat() const = 0;

    uint32_t getUsageFlags() const { return _usageFlags; }
    void setUsageFlags(uint32_t flags) { _usageFlags = flags; }
    uint32_t getVersion() const { return _version; }
    void touch() { ++_version; }
    // Component edits open on this array (oxComponentEditInfo).
    int getOpenEditCount() const { return _openEdits; }

    // Extends `box` by every position; false when there are no positions.
    bool extendBox(oxBox3f& box) const;
    // Positions as points; normals through the inverse transpose; binormals and tangents as
    // directions; directions are renormalised. False for a singular matrix (nothing changes).
    bool transform(const oxMatrix44f& m);

    // Fields copied over these vertices change them as any write does.
    void userCopyShallow(const Core::oxObject* source) override;
    void userCopyDeep(const Core::oxObject* source) override;

protected:
    oxVertexArrayBase() = default;
    static void arkRegisterInitialize(oxFields<oxVertexArrayBase>& f);

    uint32_t _usageFlags = 0;

private:
    friend class oxComponentEditInfo;
    uint32_t _version = 0;
    int _openEdits = 0;
};

// Interleaved vertices of one oxVertexFormat, kept as raw bytes (see oxVertexFormat for the
// layout). Colours are four bytes R, G, B, A in memory order (packColor).
class oxVertexArray : public oxVertexArrayBase {
    OX_CLASS(oxVertexArray, oxVertexArrayBase)
    OX_FIELDS(format, vertexCount, data)
public:
    // A new layout and count; every vertex zeroed. False (with a warning) for an invalid
    // format or a negative count.
    bool configure(oxVertexFormat format, int vertexCount);
    // Keeps the first vertices; new ones are zeroed.
    bool setVertexCount(int vertexCount);

    int getVertexCount() const override { return isConsistent() ? _vertexCount : 0; }
    oxVertexFormat getFormat() const override { return _format; }
    oxVertexStream getStream(OX_GFX_COMPONENT component, int index = 0) const override;
    int getStride() const { return oxVertexFormat(_format).getStride(); }
    uint8_t* getVertexData() { return _data.data(); }
    const uint8_t* getVertexData() const { return _data.data(); }
    // The byte block matches the format and count (a file may say otherwise).
    bool isConsistent() const;

    // Typed access. Getters give zero for a missing component or an index out of range;
    // setters refuse them (false).
    oxVec3f getPosition(int i) const { return getVec3(OX_GFX_COMPONENT_POSITION, i); }
    bool setPosition(int i, const oxVec3f& v) { return setVec3(OX_GFX_COMPONENT_POSITION, i, v); }
    oxVec3f getNormal(int i) const { return getVec3(OX_GFX_COMPONENT_NORMAL, i); }
    bool setNormal(int i, const oxVec3f& v) { return setVec3(OX_GFX_COMPONENT_NORMAL, i, v); }
    oxVec3f getBinormal(int i) const { return getVec3(OX_GFX_COMPONENT_BINORMAL, i); }
    bool setBinormal(int i, const oxVec3f& v) { return setVec3(OX_GFX_COMPONENT_BINORMAL, i, v); }
    oxVec3f getTangent(int i) const { return getVec3(OX_GFX_COMPONENT_TANGENT, i); }
    bool setTangent(int i, const oxVec3f& v) { return setVec3(OX_GFX_COMPONENT_TANGENT, i, v); }
    oxVec4f getColor(int i) const { return unpackColor(getPackedColor(i)); }
    bool setColor(int i, const oxVec4f& c) { return setPackedColor(i, packColor(c)); }
    uint32_t getPackedColor(int i) const;
    bool setPackedColor(int i, uint32_t color);
    // The first getTexCoordSize() components are meaningful; the rest are 0.
    oxVec4f getTexCoord(int set, int i) const;
    bool setTexCoord(int set, int i, const oxVec4f& v);
    bool setTexCoord(int set, int i, const oxVec2f& v) { return setTexCoord(set, i, oxVec4f(v.x, v.y, 0, 0)); }
    float getBlendWeight(int i, int k) const;
    bool setBlendWeight(int i, int k, float w);
    int getBlendIndex(int i, int k) const;
    bool setBlendIndex(int i, int k, int index);

    // Copies the components named by `format` that both arrays hold, from vertex `fromIndex`
    // of `from` to vertex `toIndex` here. Texture-coordinate sets copy as many scalars as
    // the smaller size. False for a bad index or array.
    bool copyVertex(const oxVertexArray* from, int fromIndex, int toIndex, oxVertexFormat format);

    // A colour with components in 0..1 as four bytes, red in the lowest.
    static uint32_t packColor(const oxVec4f& c);
    static oxVec4f unpackColor(uint32_t c);

    void postFileRead() override;

protected:
    oxVertexArray() = default;
    static void arkRegisterInitialize(oxFields<oxVertexArray>& f);

    uint32_t _format = 0;
    int32_t _vertexCount = 0;
    Core::oxMemoryBlock _data;

private:
    uint8_t* element(OX_GFX_COMPONENT component, int index, int vertex) const;
    oxVec3f getVec3(OX_GFX_COMPONENT component, int i) const;
    bool setVec3(OX_GFX_COMPONENT component, int i, const oxVec3f& v);
};

} // namespace Kel::Gfx
