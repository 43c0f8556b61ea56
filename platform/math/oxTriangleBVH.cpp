#include "platform/math/oxTriangleBVH.h"

#include <algorithm>
#include <cmath>
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
    oxTriangleBVH& tree;
    std::vector<oxBox3f> boxes;
    std::vector<oxVec3f> centres;
    std::vector<int32_t> order;

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

    void split(int node, int begin, int end, int depth)
    {
        oxBox3f bounds, centreBounds;
        for (int i = begin; i < end; ++i) {
            bounds.extendBy(boxes[size_t(order[size_t(i)])]);
            centreBounds.extendBy(centres[size_t(order[size_t(i)])]);
        }
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
        int32_t* first = order.data() + begin;
        int32_t* last = order.data() + end;
        int32_t* mid = nullptr;
        if (extent > 0 && depth < kMaxSahDepth) {
            const float scale = float(kBins) / extent;
            auto binOf = [&](int32_t t) { return std::min(kBins - 1, int((centres[size_t(t)][axis] - lo) * scale)); };
            oxBox3f binBox[kBins];
            int binCount[kBins] = {};
            for (const int32_t* t = first; t != last; ++t) {
                const int b = binOf(*t);
                binBox[b].extendBy(boxes[size_t(*t)]);
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
            if (best >= 0)
                mid = std::partition(first, last, [&](int32_t t) { return binOf(t) <= best; });
        }
        if (!mid || mid == first || mid == last) {
            // No split the heuristic likes (or too deep): halves by centre, which always
            // makes progress, even when every centre is the same.
            mid = first + n / 2;
            std::nth_element(first, mid, last, [&](int32_t a, int32_t b) {
                return centres[size_t(a)][axis] < centres[size_t(b)][axis];
            });
        }
        const int children = int(tree._nodes.size());
        tree._nodes.emplace_back();
        tree._nodes.emplace_back();
        tree._nodes[size_t(node)].first = children;
        tree._nodes[size_t(node)].count = 0;
        const int half = begin + int(mid - first);
        split(children, begin, half, depth + 1);
        split(children + 1, half, end, depth + 1);
    }
};

bool oxTriangleBVH::build(const oxVec3f* corners, int count)
{
    clear();
    if (!corners || count <= 0)
        return count == 0;
    try {
        oxTriangleBVHBuilder b{*this, {}, {}, {}};
        b.boxes.resize(size_t(count));
        b.centres.resize(size_t(count));
        b.order.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            oxBox3f& box = b.boxes[size_t(i)];
            for (int c = 0; c < 3; ++c)
                box.extendBy(corners[3 * size_t(i) + size_t(c)]);
            b.centres[size_t(i)] = box.getCenter();
            b.order[size_t(i)] = i;
        }
        _nodes.reserve(size_t(count) / 2 + 1);
        _nodes.emplace_back();
        b.split(0, 0, count, 0);
        _triangles.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            const int32_t t = b.order[size_t(i)];
            const oxVec3f* c = corners + 3 * size_t(t);
            _triangles[size_t(i)] = {c[0], c[1] - c[0], c[2] - c[0], t};
        }
        _nodes.shrink_to_fit();
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
                float at;
                if (oxIntersectRayTriangleEdges(origin, dir, t->v0, t->e1, t->e2, sides, &at, nullptr, nullptr) &&
                    !(at > length))
                    hits.push_back({t->index, at, t->e1.cross(t->e2).normalized()});
            }
            continue;
        }
        for (int c = 0; c < 2; ++c)
            if (meets(_nodes[size_t(n.first + c)]))
                stack[top++] = n.first + c;
    }
}

} // namespace Kel::Math
