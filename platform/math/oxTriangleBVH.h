#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/math/oxIntersect.h"

namespace Kel::Math {

// A bounding-volume hierarchy over triangles for ray queries that want every hit, not only
// the nearest. Built top down: each node splits its triangles where a binned surface-area
// heuristic over their centres says; leaves hold a few triangles, kept in leaf order as
// three vertex numbers and a key of the caller's.
//
// The vertices stay the caller's: the tree reads their positions where they are, so it
// costs 20 bytes a triangle plus about 20 for the nodes (memory that is slow to come by the
// first time it is touched, and a million-triangle mesh has a lot of it). They must neither
// move nor change while the tree is used; a caller whose vertices may change keeps the tree
// with something that knows (a geometry attribute's cache).
//
// The answer is exactly the one oxIntersectRayTriangle gives triangle by triangle, on the
// same corners in the same order. Boxes only decide which triangles are tested, and are made
// to err towards testing: grown by a relative 1e-5 of their size and place, ray intervals
// by a relative 1e-5, far beyond the rounding of either test.
class oxTriangleBVH
{
public:
    struct Triangle {
        int32_t v[3];  // vertex numbers, in the winding the sides are judged by
        uint64_t key;  // the caller's, handed back with hits
    };
    struct Hit {
        uint64_t key;
        float t;        // in units of the query's direction
        oxVec3f normal; // unit, (v1 - v0) × (v2 - v0)
    };

    // `stride` bytes apart, vertex i's position is three floats at positions + i·stride;
    // every vertex number of `triangles` must name one of `vertexCount` vertices. False,
    // leaving the tree empty, for a vertex number out of range or when memory runs out.
    bool build(const void* positions, size_t stride, int vertexCount, const std::vector<Triangle>& triangles);
    void clear();
    bool isEmpty() const { return _nodes.empty(); }
    int getTriangleCount() const { return int(_triangles.size()); }
    int getNodeCount() const { return int(_nodes.size()); }
    int getDepth() const { return _depth; }
    size_t getMemoryUsage() const;

    // Appends every triangle met at 0 <= t <= length on `sides`, in no particular order.
    void intersectRay(const oxVec3f& origin, const oxVec3f& dir, float length, ISET_SIDES sides,
                      std::vector<Hit>& hits) const;

private:
    // Inner nodes (count 0) have their children at first and first + 1; leaves hold triangles
    // first .. first + count - 1 of _triangles.
    struct Node {
        float min[3];
        int32_t first;
        float max[3];
        int32_t count;
    };
    friend struct oxTriangleBVHBuilder;
    oxVec3f vertex(int32_t i) const
    {
        float p[3];
        std::memcpy(p, _positions + size_t(i) * _stride, sizeof p);
        return {p[0], p[1], p[2]};
    }

    std::vector<Node> _nodes;
    std::vector<Triangle> _triangles;
    const unsigned char* _positions = nullptr;
    size_t _stride = 0;
    int _depth = 0;
};

} // namespace Kel::Math
