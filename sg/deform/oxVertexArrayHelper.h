#pragma once
#include "platform/attrs/oxGeometryAttr.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

class oxGeometry;
using Attrs::oxGeometryAttr;
using Attrs::oxGeometryAttrList;
using Gfx::oxIndexArray;
using Gfx::oxVertexArray;
using Gfx::oxVertexFormat;

// Edits the geometry attributes of geometry nodes: strips into lists, deleting and copying
// primitives, indexing and de-indexing, degenerate triangles, flat normals, tangent frames.
// It keeps no state. Every step is virtual and the steps call one another through their
// slots, so a tool can replace one step and the others use it.
//
// Strips follow the device's winding: triangle i of a strip is (i, i+1, i+2) for even i and
// (i+1, i, i+2) for odd i. Element e of an attribute is vertex index[e] (or e without an
// index array) plus the attribute's first-vertex offset.
class oxVertexArrayHelper : public oxObject {
    OX_CLASS(oxVertexArrayHelper, oxObject)
public:
    virtual void unStripGeometry(oxGeometry* node);
    virtual void unStripGeometry(oxGeometry* node, int maxTriangles);
    // Removes the listed strips (ascending indices) of a strip set.
    virtual void deleteStrips(oxGeometryAttr* attr, const oxUnsignedIntList* list);
    virtual void deleteTriangles(oxGeometryAttr* attr, const oxUnsignedIntList* list);
    virtual void copyVertex(const oxVertexArray* from, oxVertexArray* to, unsigned fromIndex, unsigned toIndex,
                            const oxVertexFormat& format);
    // Appends the triangles of the listed strips of `from` to the triangle list `to`.
    virtual void copyStripsToTriangle(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list);
    // Appends the listed primitives of `from` to `to`: triangles of a list as triangles,
    // strips as strips when `to` is a strip set, else as triangles.
    virtual void copyPrimitives(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list);
    virtual void copyTriangles(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list);
    // Drops the attributes that draw nothing and trims every non-indexed attribute's vertex
    // array to the vertices its primitives use.
    virtual void compactGeometryAttr(oxGeometry* node);
    virtual void deindex(oxGeometry* node);
    // One vertex per element; the index array goes and the first-vertex offset becomes 0.
    virtual void deindex(oxGeometryAttr* attr);
    // The vertex array becomes one of `format`, keeping the components of `kept` that both
    // formats hold; the others start at zero.
    virtual void forceFormat(oxGeometryAttr* attr, oxVertexFormat format, oxVertexFormat kept);
    virtual bool isCompatible(oxVertexFormat a, oxVertexFormat b);
    // Identical vertices (byte for byte) become one; indices rebuild the sequence. Both
    // outputs are null (with a warning) when more than 65,535 distinct vertices remain.
    virtual void reindexTriangles(oxVertexArray* vertices, oxSmartPointer<oxVertexArray>& newVertices,
                                  oxSmartPointer<oxIndexArray>& newIndices);
    virtual void reindex(oxGeometry* node);
    // One strip that draws the triangles of every strip, joined by degenerate triangles.
    virtual void stitchStrips(oxGeometryAttr* attr, oxSmartPointer<oxGeometryAttr>& out);
    virtual void createNormals(oxGeometryAttr* attr);
    // Lines (type 1) along the edges of a triangle list whose two faces meet at an angle
    // between the two limits, in degrees (0: flat); an edge of one face counts as 180.
    virtual oxGeometryAttr* extractEdges(oxGeometryAttr* attr, float minAngle, float maxAngle);
    // Splits triangle `index` of a non-indexed list into three around the point with the
    // given barycentric weights (normalised).
    virtual void splitTriangle(oxGeometryAttr* attr, unsigned index, float a, float b, float c);
    // Vertex `toIndex` becomes the blend of vertices i0 and i1 at t (0 gives i0); directions
    // are renormalised, blend indices come from the nearer vertex.
    virtual void interpolateVertex(const oxVertexArray* from, oxVertexArray* to, unsigned i0, unsigned i1,
                                   unsigned toIndex, float t, const oxVertexFormat& format);
    virtual void removeDegenerate(oxIndexArray* indices);
    virtual void removeDegenerate(oxGeometryAttr* attr);
    virtual void removeDegenerate(oxGeometry* node);
    // Appends `count` triangles of zeroed vertices to a triangle list.
    virtual void appendTriangle(oxGeometryAttr* attr, int count);
    // Unit tangents along u (component 8) and binormals along v (component 7) of texture set
    // `set`, averaged over the triangles around each vertex.
    virtual void generateTangentsAndBinormals(oxGeometryAttr* attr, int set);

    // Strips that draw the triangles of a triangle list (same winding).
    void strip(oxGeometryAttr* attr, oxSmartPointer<oxGeometryAttr>& out);
    // Replaces every attribute that 16-bit indices cannot address by pieces that they can.
    void split(oxGeometry* node);
    // Appends to `list` the pieces of `attr` (the attribute itself when it fits).
    void splitGeometryAndAppend(oxSmartPointer<oxGeometryAttr> attr, oxSmartPointer<oxGeometryAttrList> list);

protected:
    oxVertexArrayHelper() = default;
    static void arkRegisterInitialize(oxFields<oxVertexArrayHelper>&) {}
};

} // namespace Kel::Sg
