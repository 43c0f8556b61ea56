#include "platform/math/oxTriangleBVH.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace Kel::Math {

namespace {

constexpr int kBins = 16;
constexpr int kMaxLeaf = 4;
// A leaf may hold more than kMaxLeaf triangles when the heuristic finds no split worth its
// cost, up to this many.
constexpr int kMaxSahLeaf = 12;
// Past this depth nodes split at the median, which halves them: the depth, and with it the
// query's stack, stays bounded whatever the triangles.
constexpr int kMaxSahDepth = 48;
constexpr int kStackSize = 128;
constexpr float kGrow = 1e-5f;
// A box test costs about half a triangle test.
constexpr float kTraversalCost = 0.5f;

float halfArea(const oxBox3f& b)
{
    if (b.isEmpty())
        return 0;
    const oxVec3f d = b.max - b.min;
    return d.x * d.y + d.y * d.z + d.z * d.x;
}

} // namespace

struct oxTriangleBVHBuilder {
    // What a split reads of a triangle, moved along with it: every level then reads its
    // triangles from consecutive memory instead of gathering them through an index.
    struct Item {
        oxBox3f box;
        int32_t triangle;
        oxVec3f centre() const { return (box.min + box.max) * 0.5f; }
    };
    oxTriangleBVH& tree;
    std::vector<Item> items;

    void setBounds(int node, const oxBox3f& b)
    {
        // Grown by a share of the box's size and of its distance from the origin, which is
        // what rounding in either test scales with.
        float scale = 0;
        for (int i = 0; i < 3; ++i)
            scale = std::max({scale, b.max[i] - b.min[i], std::fabs(b.min[i]), std::fabs(b.max[i])});
        const float g = kGrow * scale;
        oxTriangleBVH::Node& n = tree._nodes[size_t(node)];
        for (int i = 0; i < 3; ++i) {
            n.min[i] = b.min[i] - g;
            n.max[i] = b.max[i] + g;
        }
    }

    // The boxes around the triangles and around their centres come from the parent, which
    // had them from its bins: a level costs one pass over its triangles, not two.
    void split(int node, int begin, int end, int depth, const oxBox3f& bounds, const oxBox3f& centreBounds)
    {
        setBounds(node, bounds);
        tree._depth = std::max(tree._depth, depth);
        const int n = end - begin;
        auto leaf = [&] {
            tree._nodes[size_t(node)].first = begin;
            tree._nodes[size_t(node)].count = n;
        };
        if (n <= kMaxLeaf)
            return leaf();

        const oxVec3f size = centreBounds.getSize();
        const int axis = size.x >= size.y && size.x >= size.z ? 0 : (size.y >= size.z ? 1 : 2);
        const float lo = centreBounds.min[axis], extent = size[axis];
        Item* first = items.data() + begin;
        Item* last = items.data() + end;
        Item* mid = nullptr;
        oxBox3f childBounds[2], childCentres[2];
        if (extent > 0 && depth < kMaxSahDepth) {
            const float scale = float(kBins) / extent;
            auto binOf = [&](const Item& t) { return std::min(kBins - 1, int((t.centre()[axis] - lo) * scale)); };
            oxBox3f binBox[kBins], binCentres[kBins];
            int binCount[kBins] = {};
            for (const Item* t = first; t != last; ++t) {
                const int b = binOf(*t);
                binBox[b].extendBy(t->box);
                binCentres[b].extendBy(t->centre());
                ++binCount[b];
            }
            // Cost of splitting after bin i: the two sides' areas times their counts.
            float rightCost[kBins];
            oxBox3f right;
            int rightCount = 0;
            for (int i = kBins - 1; i > 0; --i) {
                right.extendBy(binBox[i]);
                rightCount += binCount[i];
                rightCost[i - 1] = halfArea(right) * float(rightCount);
            }
            oxBox3f left;
            int leftCount = 0, best = -1;
            float bestCost = std::numeric_limits<float>::max();
            for (int i = 0; i < kBins - 1; ++i) {
                left.extendBy(binBox[i]);
                leftCount += binCount[i];
                const float cost = halfArea(left) * float(leftCount) + rightCost[i];
                if (leftCount > 0 && leftCount < n && cost < bestCost) {
                    bestCost = cost;
                    best = i;
                }
            }
            const float parentArea = halfArea(bounds);
            if (best >= 0 && n <= kMaxSahLeaf && kTraversalCost * parentArea + bestCost >= parentArea * float(n))
                return leaf();
            if (best >= 0) {
                mid = std::partition(first, last, [&](const Item& t) { return binOf(t) <= best; });
                for (int i = 0; i < kBins; ++i) {
                    childBounds[i > best].extendBy(binBox[i]);
                    childCentres[i > best].extendBy(binCentres[i]);
                }
            }
        }
        if (!mid || mid == first || mid == last) {
            // No split the heuristic likes (or too deep): halves by centre, which always
            // makes progress, even when every centre is the same.
            mid = first + n / 2;
            std::nth_element(first, mid, last,
                             [&](const Item& a, const Item& b) { return a.centre()[axis] < b.centre()[axis]; });
            for (int side = 0; side < 2; ++side) {
                childBounds[side] = childCentres[side] = oxBox3f();
                for (const Item* t = side ? mid : first; t != (side ? last : mid); ++t) {
                    childBounds[side].extendBy(t->box);
                    childCentres[side].extendBy(t->centre());
                }
            }
        }
        const int children = int(tree._nodes.size());
        tree._nodes.emplace_back();
        tree._nodes.emplace_back();
        tree._nodes[size_t(node)].first = children;
        tree._nodes[size_t(node)].count = 0;
        const int half = begin + int(mid - first);
        split(children, begin, half, depth + 1, childBounds[0], childCentres[0]);
        split(children + 1, half, end, depth + 1, childBounds[1], childCentres[1]);
    }
};

bool oxTriangleBVH::build(const void* positions, size_t stride, int vertexCount,
                          const std::vector<Triangle>& triangles)
{
    clear();
    const size_t count = triangles.size();
    if (count == 0)
        return true;
    if (!positions || vertexCount <= 0 || count > size_t(INT32_MAX))
        return false;
    _positions = static_cast<const unsigned char*>(positions);
    _stride = stride;
    try {
        oxTriangleBVHBuilder b{*this, {}};
        b.items.resize(count);
        oxBox3f bounds, centreBounds;
        for (size_t i = 0; i < count; ++i) {
            oxTriangleBVHBuilder::Item& item = b.items[i];
            item.triangle = int32_t(i);
            for (int32_t v : triangles[i].v) {
                if (v < 0 || v >= vertexCount) {
                    clear();
                    return false;
                }
                item.box.extendBy(vertex(v));
            }
            bounds.extendBy(item.box);
            centreBounds.extendBy(item.centre());
        }
        // Leaves average three triangles or so: about two nodes for every three triangles.
        _nodes.reserve(count * 2 / 3 + 64);
        _nodes.emplace_back();
        b.split(0, 0, int(count), 0, bounds, centreBounds);
        // Into leaf order: written in order, read where they are (a cycle-by-cycle
        // permutation in place touches less memory but misses the cache twice as often).
        _triangles.resize(count);
        for (size_t i = 0; i < count; ++i)
            _triangles[i] = triangles[size_t(b.items[i].triangle)];
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    return true;
}

void oxTriangleBVH::clear()
{
    _nodes = {};
    _triangles = {};
    _positions = nullptr;
    _stride = 0;
    _depth = 0;
}

size_t oxTriangleBVH::getMemoryUsage() const
{
    return _nodes.capacity() * sizeof(Node) + _triangles.capacity() * sizeof(Triangle);
}

void oxTriangleBVH::intersectRay(const oxVec3f& origin, const oxVec3f& dir, float length, ISET_SIDES sides,
                                 std::vector<Hit>& hits) const
{
    if (_nodes.empty())
        return;
    float inv[3];
    for (int i = 0; i < 3; ++i)
        inv[i] = dir[i] == 0 ? std::copysign(std::numeric_limits<float>::infinity(), dir[i]) : 1.0f / dir[i];
    auto meets = [&](const Node& n) {
        float tNear = -std::numeric_limits<float>::infinity(), tFar = std::numeric_limits<float>::infinity();
        for (int i = 0; i < 3; ++i) {
            // 0 · inf is NaN for a ray parallel to and on a slab's face: such a slab does
            // not narrow the interval, and NaN fails both comparisons.
            const float a = (n.min[i] - origin[i]) * inv[i], b = (n.max[i] - origin[i]) * inv[i];
            const float lo = a < b ? a : b, hi = a < b ? b : a;
            if (lo > tNear)
                tNear = lo;
            if (hi < tFar)
                tFar = hi;
        }
        const float end = tFar < length ? tFar : length;
        return tNear <= end + kGrow * std::fabs(end) && tFar >= -kGrow * std::fabs(tNear);
    };
    if (!meets(_nodes[0]))
        return;
    int32_t stack[kStackSize];
    int top = 0;
    stack[top++] = 0;
    while (top) {
        const Node& n = _nodes[size_t(stack[--top])];
        if (n.count) {
            for (const Triangle *t = &_triangles[size_t(n.first)], *e = t + n.count; t != e; ++t) {
                const oxVec3f a = vertex(t->v[0]), b = vertex(t->v[1]), c = vertex(t->v[2]);
                float at;
                if (oxIntersectRayTriangle(origin, dir, a, b, c, sides, &at, nullptr, nullptr) && !(at > length))
                    hits.push_back({t->key, at, (b - a).cross(c - a).normalized()});
            }
            continue;
        }
        for (int c = 0; c < 2; ++c)
            if (meets(_nodes[size_t(n.first + c)]))
                stack[top++] = n.first + c;
    }
}

} // namespace Kel::Math
