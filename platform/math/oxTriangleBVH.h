#pragma once
#include <cstdint>
#include <vector>

#include "platform/math/oxIntersect.h"

namespace Kel::Math {

// A bounding-volume hierarchy over triangles for ray queries that want every hit, not only
// the nearest. Built top down: each node splits its triangles where a binned surface-area
// heuristic over their centres says; leaves hold a few triangles, stored in leaf order as a
// corner and two edges, so a query reads what it tests from consecutive memory.
//
// The answer is exactly the one oxIntersectRayTriangle gives triangle by triangle (the same
// arithmetic on the same edges). Boxes only decide which triangles are tested, and are made
// to err towards testing: grown by a relative 1e-5 of their size and place, ray intervals
// by a relative 1e-5, far beyond the rounding of either test.
class oxTriangleBVH
{
public:
    struct Hit {
        int triangle;  // index into the corners given to build()
        float t;       // in units of the query's direction
        oxVec3f normal; // unit, e1 × e2 of the triangle as given
    };

    // Triangle i has corners corners[3i], corners[3i + 1], corners[3i + 2]. False, leaving the
    // tree empty, when memory runs out.
    bool build(const oxVec3f* corners, int count);
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
    struct Triangle {
        oxVec3f v0, e1, e2;
        int32_t index;
    };
    friend struct oxTriangleBVHBuilder;

    std::vector<Node> _nodes;
    std::vector<Triangle> _triangles;
    int _depth = 0;
};

} // namespace Kel::Math
