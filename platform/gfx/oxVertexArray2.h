#pragma once
#include "platform/core/oxObjectList.h"
#include "platform/gfx/oxVertexArray.h"

namespace Kel::Gfx {

// One component of every vertex of an oxVertexArray2, stored on its own: a component type
// and index (the texture-coordinate set, or the morph target a displacement belongs to),
// a scalar type and count per vertex, and the tightly packed bytes.
class oxVertexData : public Core::oxObject {
    OX_CLASS(oxVertexData, Core::oxObject)
    OX_FIELDS(componentType, componentIndex, scalarType, scalarCount, data)
public:
    // New layout for `vertexCount` zeroed elements; false (with a warning) for a scalar count
    // outside 1..16 or a negative vertex count.
    bool configure(OX_GFX_COMPONENT type, int index, OX_GFX_SCALAR scalarType, int scalarCount, int vertexCount);
    // Keeps the first elements; new ones are zeroed.
    bool resize(int vertexCount);

    OX_GFX_COMPONENT getComponentType() const { return _componentType; }
    int getComponentIndex() const { return _componentIndex; }
    OX_GFX_SCALAR getScalarType() const { return _scalarType; }
    int getScalarCount() const { return _scalarCount; }
    int getElementSize() const;
    // Elements the bytes hold (0 when the layout is not valid).
    int getCount() const;
    // Writing through it must be followed by touch(), so that copies a device keeps follow.
    uint8_t* getData() { return _data.data(); }
    const uint8_t* getData() const { return _data.data(); }
    uint32_t getVersion() const { return _version; }
    void touch() { ++_version; }

protected:
    oxVertexData() = default;
    static void arkRegisterInitialize(oxFields<oxVertexData>& f);

    OX_GFX_COMPONENT _componentType = OX_GFX_COMPONENT_POSITION;
    int32_t _componentIndex = 0;
    OX_GFX_SCALAR _scalarType = OX_GFX_SCALAR_FLOAT;
    int32_t _scalarCount = 3;
    Core::oxMemoryBlock _data;
    uint32_t _version = 0;
};

OX_OBJECT_LIST(oxVertexDataList, oxVertexData)

// Vertices as separate component arrays, each found by component type and index. Every
// component holds one element per vertex.
class oxVertexArray2 : public oxVertexArrayBase {
    OX_CLASS(oxVertexArray2, oxVertexArrayBase)
    OX_FIELDS(vertexCount, vertexData)
public:
    // Resizes every component.
    bool setVertexCount(int vertexCount);
    int getVertexCount() const override { return _vertexCount; }

    // The component of that type and index, or null.
    oxVertexData* findVertexData(int componentType, int index) const;
    // Adds (or replaces) a component sized for the vertex count; null on bad arguments.
    oxVertexData* addVertexData(OX_GFX_COMPONENT type, int index, OX_GFX_SCALAR scalarType, int scalarCount);
    bool removeVertexData(int componentType, int index);
    oxVertexDataList* getVertexDataList() const { return _vertexData; }

    oxVertexStream getStream(OX_GFX_COMPONENT component, int index = 0) const override;
    // The interleaved format that names the same components (texture-coordinate sets count
    // up to the first missing one; the size is that of set 0).
    oxVertexFormat getFormat() const override;

protected:
    oxVertexArray2() = default;
    static void arkRegisterInitialize(oxFields<oxVertexArray2>& f);

    int32_t _vertexCount = 0;
    Core::oxSmartPointer<oxVertexDataList> _vertexData;
};

} // namespace Kel::Gfx
