#pragma once
// Geometric error between two triangle meshes: the symmetric Hausdorff distance, sampled on
// both surfaces (every used vertex and area-weighted random points), relative to the
// diagonal of the first mesh's bounding box. Nearest points are found through a uniform
// grid of triangles, so meshes of millions of triangles take seconds.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace meshError {

struct Mesh {
    std::vector<float> positions; // x, y, z per vertex
    std::vector<uint32_t> indices; // three per triangle
};

struct V3 {
    double x, y, z;
};
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

inline V3 vertex(const Mesh& m, uint32_t i) { return {m.positions[3 * i], m.positions[3 * i + 1], m.positions[3 * i + 2]}; }

// The closest point of triangle abc to p (Ericson, Real-Time Collision Detection, 5.1.5).
inline V3 closestOnTriangle(V3 p, V3 a, V3 b, V3 c)
{
    const V3 ab = b - a, ac = c - a, ap = p - a;
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return a;
    const V3 bp = p - b;
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return b;
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return a + ab * (d1 / (d1 - d3));
    const V3 cp = p - c;
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return c;
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return a + ac * (d2 / (d2 - d6));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
    const double denom = 1.0 / (va + vb + vc);
    return a + ab * (vb * denom) + ac * (vc * denom);
}

// Triangles of a mesh binned in a uniform grid, for nearest-point queries.
class Grid {
public:
    explicit Grid(const Mesh& m) : _m(m)
    {
        const size_t triangles = m.indices.size() / 3;
        _lo = {1e300, 1e300, 1e300};
        V3 hi = {-1e300, -1e300, -1e300};
        double area = 0;
        for (size_t t = 0; t < triangles; ++t) {
            const V3 a = vertex(m, m.indices[3 * t]), b = vertex(m, m.indices[3 * t + 1]), c = vertex(m, m.indices[3 * t + 2]);
            for (V3 p : {a, b, c}) {
                _lo = {std::min(_lo.x, p.x), std::min(_lo.y, p.y), std::min(_lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            }
            const V3 n = cross(b - a, c - a);
            area += 0.5 * std::sqrt(dot(n, n));
        }
        // Cells about twice a triangle's size, but no more cells than twice the triangles.
        _cell = std::max(1e-9, 2.0 * std::sqrt(area / double(std::max<size_t>(triangles, 1))));
        for (;;) {
            _n[0] = std::max(1, int((hi.x - _lo.x) / _cell) + 1);
            _n[1] = std::max(1, int((hi.y - _lo.y) / _cell) + 1);
            _n[2] = std::max(1, int((hi.z - _lo.z) / _cell) + 1);
            if (double(_n[0]) * _n[1] * _n[2] <= 2.0 * double(triangles) + 1000)
                break;
            _cell *= 1.25;
        }
        std::vector<uint32_t> counts(size_t(_n[0]) * _n[1] * _n[2] + 1, 0);
        auto forCells = [&](size_t t, auto&& fn) {
            const V3 a = vertex(m, m.indices[3 * t]), b = vertex(m, m.indices[3 * t + 1]), c = vertex(m, m.indices[3 * t + 2]);
            int lo[3], hiC[3];
            const double mins[3] = {std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z})};
            const double maxs[3] = {std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z})};
            const double origin[3] = {_lo.x, _lo.y, _lo.z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::clamp(int((mins[k] - origin[k]) / _cell), 0, _n[k] - 1);
                hiC[k] = std::clamp(int((maxs[k] - origin[k]) / _cell), 0, _n[k] - 1);
            }
            for (int z = lo[2]; z <= hiC[2]; ++z)
                for (int y = lo[1]; y <= hiC[1]; ++y)
                    for (int x = lo[0]; x <= hiC[0]; ++x)
                        fn(index(x, y, z));
        };
        for (size_t t = 0; t < triangles; ++t)
            forCells(t, [&](size_t c) { ++counts[c + 1]; });
        for (size_t c = 1; c < counts.size(); ++c)
            counts[c] += counts[c - 1];
        _start = counts;
        _items.resize(counts.back());
        for (size_t t = 0; t < triangles; ++t)
            forCells(t, [&](size_t c) { _items[counts[c]++] = uint32_t(t); });
        _stamp.assign(triangles, 0);
    }

    double distance(V3 p)
    {
        ++_query;
        const double origin[3] = {_lo.x, _lo.y, _lo.z}, q[3] = {p.x, p.y, p.z};
        int c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = std::clamp(int((q[k] - origin[k]) / _cell), 0, _n[k] - 1);
        double best2 = 1e300;
        const int maxR = std::max({_n[0], _n[1], _n[2]});
        for (int r = 0; r <= maxR; ++r) {
            for (int z = c[2] - r; z <= c[2] + r; ++z)
                for (int y = c[1] - r; y <= c[1] + r; ++y)
                    for (int x = c[0] - r; x <= c[0] + r; ++x) {
                        if (std::max({std::abs(x - c[0]), std::abs(y - c[1]), std::abs(z - c[2])}) != r)
                            continue;
                        if (x < 0 || y < 0 || z < 0 || x >= _n[0] || y >= _n[1] || z >= _n[2])
                            continue;
                        const size_t cell = index(x, y, z);
                        for (uint32_t i = _start[cell]; i < _start[cell + 1]; ++i) {
                            const uint32_t t = _items[i];
                            if (_stamp[t] == _query)
                                continue;
                            _stamp[t] = _query;
                            const V3 a = vertex(_m, _m.indices[3 * t]), b = vertex(_m, _m.indices[3 * t + 1]),
                                     cc = vertex(_m, _m.indices[3 * t + 2]);
                            const V3 d = p - closestOnTriangle(p, a, b, cc);
                            best2 = std::min(best2, dot(d, d));
                        }
                    }
            const double reach = double(r) * _cell;
            if (best2 <= reach * reach)
                break;
        }
        return std::sqrt(best2);
    }

private:
    size_t index(int x, int y, int z) const { return (size_t(z) * _n[1] + size_t(y)) * _n[0] + size_t(x); }

    const Mesh& _m;
    V3 _lo;
    double _cell;
    int _n[3];
    std::vector<uint32_t> _start, _items, _stamp;
    uint32_t _query = 0;
};

inline double diagonal(const Mesh& m)
{
    V3 lo = {1e300, 1e300, 1e300}, hi = {-1e300, -1e300, -1e300};
    for (size_t i = 0; i + 2 < m.positions.size(); i += 3) {
        lo = {std::min(lo.x, double(m.positions[i])), std::min(lo.y, double(m.positions[i + 1])),
              std::min(lo.z, double(m.positions[i + 2]))};
        hi = {std::max(hi.x, double(m.positions[i])), std::max(hi.y, double(m.positions[i + 1])),
              std::max(hi.z, double(m.positions[i + 2]))};
    }
    const V3 d = hi - lo;
    return std::sqrt(dot(d, d));
}

// The largest distance from the sampled surface of `from` to the surface of `to`: every
// vertex that a triangle uses and `samples` points spread over the triangles by area.
inline double oneSided(const Mesh& from, Grid& to, int samples, uint32_t seed)
{
    const size_t triangles = from.indices.size() / 3;
    if (triangles == 0)
        return 0;
    double worst = 0;
    for (uint32_t i : from.indices)
        worst = std::max(worst, to.distance(vertex(from, i)));
    std::vector<double> cumulative(triangles);
    double total = 0;
    for (size_t t = 0; t < triangles; ++t) {
        const V3 a = vertex(from, from.indices[3 * t]), b = vertex(from, from.indices[3 * t + 1]),
                 c = vertex(from, from.indices[3 * t + 2]);
        const V3 n = cross(b - a, c - a);
        total += std::sqrt(dot(n, n));
        cumulative[t] = total;
    }
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    for (int s = 0; s < samples && total > 0; ++s) {
        const size_t t = size_t(std::lower_bound(cumulative.begin(), cumulative.end(), u(rng) * total) - cumulative.begin());
        const size_t tt = std::min(t, triangles - 1);
        double r1 = u(rng), r2 = u(rng);
        if (r1 + r2 > 1)
            r1 = 1 - r1, r2 = 1 - r2;
        const V3 a = vertex(from, from.indices[3 * tt]), b = vertex(from, from.indices[3 * tt + 1]),
                 c = vertex(from, from.indices[3 * tt + 2]);
        worst = std::max(worst, to.distance(a + (b - a) * r1 + (c - a) * r2));
    }
    return worst;
}

// Symmetric Hausdorff distance of `simplified` from `original`, relative to the original's
// bounding-box diagonal. `originalGrid` is the original's grid, built once by the caller.
// `fromSimplified` and `fromOriginal`, when given, receive the two one-sided distances
// (relative as well): the first grows where the simplified surface leaves the original, the
// second where it no longer covers it (a receding border, say).
inline double relativeHausdorff(const Mesh& original, Grid& originalGrid, const Mesh& simplified, int samples,
                                double* fromSimplified = nullptr, double* fromOriginal = nullptr)
{
    Grid simplifiedGrid(simplified);
    const double d = diagonal(original);
    const double there = oneSided(simplified, originalGrid, samples, 1) / d;
    const double back = oneSided(original, simplifiedGrid, samples, 2) / d;
    if (fromSimplified)
        *fromSimplified = there;
    if (fromOriginal)
        *fromOriginal = back;
    return std::max(there, back);
}

} // namespace meshError
