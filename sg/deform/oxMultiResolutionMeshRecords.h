#pragma once
#include "sg/deform/oxHeap.h"

namespace Kel::Sg {

// The records of a mesh simplification as objects: vertices, edges and faces with their
// neighbourhoods, as a tool or a file may want to inspect them. The simplifier itself works
// on compact arrays of the same content (oxMultiResolutionMeshCore::generate).
class oxMrmVertex;
class oxMrmEdge;
class oxMrmFace;
class oxMrmVertexList;
class oxMrmEdgeList;
class oxMrmFaceList;

class oxMrmVertex : public oxObject {
    OX_CLASS_NAMED(oxMrmVertex, oxObject, "_vertex")
    OX_FIELDS(position, normal, colors, textures, blend_weights, blend_indices, que, neighbor_edges,
              neighbor_faces, parent_vertex, parent_index, index, final_index)
public:
    oxVec3f _position;
    oxVec3f _normal;
    oxVec4f _colors;
    oxSmartPointer<oxFloatList> _textures;         // two floats per texture-coordinate set
    oxSmartPointer<oxFloatList> _blend_weights;
    oxSmartPointer<oxUnsignedCharList> _blend_indices;
    oxSmartPointer<oxFloatList> _que;              // the error quadric, 10 floats
    oxSmartPointer<oxMrmEdgeList> _neighbor_edges;
    oxSmartPointer<oxMrmFaceList> _neighbor_faces;
    oxSmartPointer<oxMrmVertex> _parent_vertex;    // the vertex it was collapsed into
    uint16_t _parent_index = 0;
    uint16_t _index = 0;                           // running creation number
    uint16_t _final_index = 0;                     // its place in the generated vertex array

protected:
    oxMrmVertex() = default;
    static void arkRegisterInitialize(oxFields<oxMrmVertex>& f);
};

class oxMrmEdge : public oxHeapable {
    OX_CLASS_NAMED(oxMrmEdge, oxHeapable, "_edge")
    OX_FIELDS(cost, vertex, face, optimal, which)
public:
    float _cost = 0.0f;
    oxSmartPointer<oxMrmVertex> _vertex[2];
    oxSmartPointer<oxMrmFace> _face[2];
    oxSmartPointer<oxMrmVertex> _optimal; // replaces both ends when the edge collapses
    uint8_t _which = 0;                   // by substitution: 0 keeps vertex[0], 1 vertex[1]

protected:
    oxMrmEdge() = default;
    static void arkRegisterInitialize(oxFields<oxMrmEdge>& f);
};

class oxMrmFace : public oxObject {
    OX_CLASS_NAMED(oxMrmFace, oxObject, "_face")
    OX_FIELDS(vertex, original_vertex, folding_vertex)
public:
    oxSmartPointer<oxMrmVertex> _vertex[3];
    oxSmartPointer<oxMrmVertex> _original_vertex[3];
    oxSmartPointer<oxMrmVertex> _folding_vertex;

protected:
    oxMrmFace() = default;
    static void arkRegisterInitialize(oxFields<oxMrmFace>& f);
};

class oxMrmVertexList : public oxTObjectList<oxMrmVertex> {
    OX_CLASS_NAMED(oxMrmVertexList, oxObjectList, "_vertexList")
protected:
    oxMrmVertexList() = default;
};

class oxMrmEdgeList : public oxTObjectList<oxMrmEdge> {
    OX_CLASS_NAMED(oxMrmEdgeList, oxObjectList, "_edgeList")
protected:
    oxMrmEdgeList() = default;
};

class oxMrmFaceList : public oxTObjectList<oxMrmFace> {
    OX_CLASS_NAMED(oxMrmFaceList, oxObjectList, "_faceList")
protected:
    oxMrmFaceList() = default;
};

} // namespace Kel::Sg
