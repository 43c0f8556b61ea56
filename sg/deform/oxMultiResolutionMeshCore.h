#pragma once
#include "platform/attrs/oxGeometryAttr.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

using Attrs::oxGeometryAttr;
using Gfx::oxIndexArray;
using Gfx::oxVertexArray;

// A triangle mesh made progressive once: edges collapse in order of their quadric error
// until a minimum is reached, and the result is kept as reordered arrays that any number of
// instances draw at any triangle count between the minimum and the full count.
//
// After generate(): vertices that survive longest come first and triangles removed last come
// first; the proxy array gives for each vertex the vertex it collapses into (itself for the
// survivors), the folder array for each triangle the vertex whose collapse removes it. A
// triangle k is drawn while the highest allowed vertex is at least folder[k]; every corner
// follows proxies until it lies at or below that vertex.
//
// Indices are 16-bit: a core holds at most 65,535 vertices after generation. Midpoint and
// optimal placement add one vertex per collapse, so their source meshes must stay below half
// of that; a larger mesh is split into patches, one core each.
class oxMultiResolutionMeshCore : public oxObject {
    OX_CLASS(oxMultiResolutionMeshCore, oxObject)
    OX_FIELDS(vertexArray, indexArray, proxyArray, folderArray, minimumPolygonCount, maximumPolygonCount,
              minimumVertexCount, maximumVertexCount, placementPolicy, weightingPolicy)
public:
    OX_ENUM(VERTEX_PLACEMENT_POLICY, PLACEMENT_SUBSTITUTION = 0, PLACEMENT_MIDPOINT = 1, PLACEMENT_OPTIMAL = 2)
    OX_ENUM(ATTRIBUTE_WEIGHTING_POLICY, WEIGHT_POSITION = 0, WEIGHT_NORMAL = 1, WEIGHT_COLOR = 2,
            WEIGHT_TEXTURE0 = 3, WEIGHT_TEXTURE1 = 4, WEIGHT_TEXTURE2 = 5, WEIGHT_TEXTURE3 = 6, WEIGHT_AREA = 7,
            WEIGHT_ANGLE = 8, WEIGHT_VOLUME = 9)
    static constexpr int kWeightCount = 10;

    oxVertexArray* getVertexArray() const { return _vertexArray; }
    void setVertexArray(oxVertexArray* vertices) { _vertexArray = vertices; }
    oxIndexArray* getIndexArray() const { return _indexArray; }
    void setIndexArray(oxIndexArray* indices) { _indexArray = indices; }
    // Takes the vertices and triangles of a triangle list (indexed or not); false, with a
    // warning, for anything else or for more vertices than 16-bit indices reach.
    bool setGeometryAttr(oxGeometryAttr* attr);

    void setMinimumPolygonCount(unsigned n) { _minimumPolygonCount = n; }
    unsigned getMinimumPolygonCount() const { return _minimumPolygonCount; }
    unsigned getMaximumPolygonCount() const { return _maximumPolygonCount; }
    void setMinimumVertexCount(uint16_t n) { _minimumVertexCount = n; }
    uint16_t getMinimumVertexCount() const { return _minimumVertexCount; }
    uint16_t getMaximumVertexCount() const { return _maximumVertexCount; }
    void setPlacementPolicy(int policy);
    int getPlacementPolicy() const { return _placementPolicy; }
    // Weights by ATTRIBUTE_WEIGHTING_POLICY; out-of-range policies are refused with a warning.
    void setAttributeWeight(int policy, float weight);
    float getAttributeWeight(int policy) const;

    oxUnsignedShortList* getProxyArray() const { return _proxyArray; }
    oxUnsignedShortList* getFolderArray() const { return _folderArray; }

    // Simplifies the source arrays and replaces them by the generated ones. Fails (with a
    // warning, nothing changed) without arrays, for a mesh whose result 16-bit indices
    // cannot address, or for indices outside the vertex array.
    oxResult generate();

protected:
    oxMultiResolutionMeshCore() = default;
    static void arkRegisterInitialize(oxFields<oxMultiResolutionMeshCore>& f);

    oxSmartPointer<oxVertexArray> _vertexArray;
    oxSmartPointer<oxIndexArray> _indexArray;
    oxSmartPointer<oxUnsignedShortList> _proxyArray;
    oxSmartPointer<oxUnsignedShortList> _folderArray;
    uint32_t _minimumPolygonCount = 1;
    uint32_t _maximumPolygonCount = 0;
    uint16_t _minimumVertexCount = 1;
    uint16_t _maximumVertexCount = 0;
    VERTEX_PLACEMENT_POLICY _placementPolicy = PLACEMENT_SUBSTITUTION;
    float _weightingPolicy[kWeightCount] = {};
};

} // namespace Kel::Sg
