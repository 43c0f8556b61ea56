#include "sg/deform/oxMultiResolutionMeshCore.h"

#include <cfloat>
#include <cmath>
#include <vector>

#include "sg/deform/oxHeapRules.h"

namespace Kel::Sg {

using Gfx::oxVertexFormat;

namespace {

constexpr float kLargestCost = FLT_MAX;
constexpr uint32_t kNone = 0xFFFFFFFFu;

struct Quadric {
    float q[10] = {};
    void add(const Quadric& o)
    {
        for (int i = 0; i < 10; ++i)
            q[i] += o.q[i];
    }
    // vᵀ Q v with v = (x, y, z, 1); q holds the upper triangle row by row.
    float error(const oxVec3f& p) const
    {
        const float x = p.x, y = p.y, z = p.z;
        return q[0] * x * x + 2 * q[1] * x * y + 2 * q[2] * x * z + 2 * q[3] * x + q[4] * y * y + 2 * q[5] * y * z +
               2 * q[6] * y + q[7] * z * z + 2 * q[8] * z + q[9];
    }
};

Quadric sum(const Quadric& a, const Quadric& b)
{
    Quadric s = a;
    s.add(b);
    return s;
}

// Moving corner i of a face to p turns the face over when its normal there points against
// the current one: with n the current normal and u, w the other corners in order, the new
// normal is u×w + p×(u − w), so the test is c + p·g < 0 with c = n·(u×w) and
// g = (u − w)×n, kept per corner while the corners stay.
struct FlipPlane {
    oxVec3f g;
    float c;
};

struct Face {
    uint32_t corner[3];
    uint32_t original[3];
    FlipPlane flip[3];
    uint32_t folding = kNone;
    bool alive = true;
    bool has(uint32_t v) const { return corner[0] == v || corner[1] == v || corner[2] == v; }
    void replace(uint32_t from, uint32_t to)
    {
        for (uint32_t& c : corner)
            if (c == from)
                c = to;
    }
};

struct Edge {
    uint32_t v[2];
    float key = 0;
    uint32_t heapPosition = 0;
    oxVec3f optimal;
    uint8_t which = 0;
    uint32_t other(uint32_t end) const { return v[0] == end ? v[1] : v[0]; }
};

void eraseValue(std::vector<uint32_t>& list, uint32_t value)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == value) {
            list.erase(list.begin() + std::ptrdiff_t(i));
            return;
        }
}

// Everything the simplification works on, as flat arrays indexed by vertex, face and edge
// number: vertices 0..n-1 are the source vertices, later ones are made by collapses.
class Simplifier {
public:
    Simplifier(const oxVertexArray* source, const oxIndexArray* indices, int placement, const float* weights)
        : _source(source), _placement(placement)
    {
        const oxVertexFormat format = source->getFormat();
        _hasNormals = format.hasNormals();
        _hasColors = format.hasColors();
        _texSets = format.getTexCoordSetCount();
        _texSize = format.getTexCoordSize();
        _weights = format.getBlendWeightCount();
        _blendIndices = format.getBlendIndexCount();
        _attrWidth = (_hasNormals ? 3 : 0) + (_hasColors ? 4 : 0) + _texSets * _texSize + _weights + _blendIndices;

        const uint32_t n = uint32_t(source->getVertexCount());
        const uint32_t capacity = placement == oxMultiResolutionMeshCore::PLACEMENT_SUBSTITUTION ? n : 2 * n;
        _position.reserve(capacity);
        _quadric.reserve(capacity);
        _parent.reserve(capacity);
        _alive.reserve(capacity);
        _faces.reserve(capacity);
        _edges.reserve(capacity);
        _attrs.reserve(size_t(capacity) * size_t(_attrWidth));
        for (uint32_t i = 0; i < n; ++i) {
            _position.push_back(source->getPosition(int(i)));
            appendVertex();
            readAttributes(i);
        }
        _remainingVertices = n;
        _mark.assign(capacity, 0);

        const int triangles = indices->getCount() / 3;
        const uint16_t* idx = indices->data();
        _face.resize(size_t(triangles));
        _edge.reserve(size_t(triangles) * 3 / 2 + 16);
        for (int t = 0; t < triangles; ++t) {
            Face& f = _face[size_t(t)];
            for (int c = 0; c < 3; ++c)
                f.corner[c] = f.original[c] = idx[3 * t + c];
            for (int c = 0; c < 3; ++c)
                if (f.corner[c] != f.corner[(c + 1) % 3])
                    findOrCreateEdge(f.corner[c], f.corner[(c + 1) % 3]);
            for (int c = 0; c < 3; ++c)
                _faces[f.corner[c]].push_back(uint32_t(t));
            updateFlipPlanes(f);
            addFaceQuadric(f, weights[oxMultiResolutionMeshCore::WEIGHT_AREA] *
                                  weights[oxMultiResolutionMeshCore::WEIGHT_POSITION]);
        }
        _remainingFaces = uint32_t(triangles);
    }

    void run(uint32_t minimumFaces, uint32_t minimumVertices)
    {
        _heap.assign(1, Slot{0, kNone});
        _heap.reserve(_edge.size() + 1);
        for (uint32_t e = 0; e < _edge.size(); ++e) {
            computeOptimal(e);
            _heap.push_back(Slot{_edge[e].key, e});
            _edge[e].heapPosition = uint32_t(_heap.size() - 1);
            HeapAccess a{this};
            oxHeapRules::siftUp(a, _edge[e].heapPosition);
        }
        while (_remainingFaces > minimumFaces && _remainingVertices > minimumVertices && _heap.size() > 1) {
            const uint32_t e = _heap[1].edge;
            removeFromHeap(e);
            if (_placement == oxMultiResolutionMeshCore::PLACEMENT_SUBSTITUTION)
                substitute(e);
            else
                collapse(e);
        }
        for (uint32_t f = 0; f < _face.size(); ++f)
            if (_face[f].alive)
                _removedFaces.push_back(f);
        for (uint32_t v = 0; v < _alive.size(); ++v)
            if (_alive[v])
                _removedVertices.push_back(v);
    }

    uint32_t getRemainingFaces() const { return _remainingFaces; }
    size_t getOutputVertexCount() const { return _removedVertices.size(); }

    // The generated arrays; the survivors count is returned.
    uint16_t write(oxVertexArray* out, oxIndexArray* indices, oxUnsignedShortList* proxy,
                   oxUnsignedShortList* folder)
    {
        const uint32_t count = uint32_t(_removedVertices.size());
        std::vector<uint16_t> finalIndex(_alive.size(), 0);
        for (uint32_t i = 0; i < count; ++i)
            finalIndex[_removedVertices[count - 1 - i]] = uint16_t(i);
        const oxVertexFormat format = _source->getFormat();
        const oxVertexFormat copied =
            format & oxVertexFormat(oxVertexFormat::kPositions | oxVertexFormat::kNormals | oxVertexFormat::kColors |
                                    oxVertexFormat::kBlendWeightMask | oxVertexFormat::kBlendIndexMask |
                                    oxVertexFormat::kTexCoordSetMask | oxVertexFormat::kTexCoordSizeMask);
        const uint32_t sourceCount = uint32_t(_source->getVertexCount());
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t v = _removedVertices[count - 1 - i];
            if (v < sourceCount)
                out->copyVertex(_source, int(v), int(i), copied);
            else
                writeMadeVertex(out, v, int(i));
        }

        uint16_t survivors = 0;
        while (survivors < count && _parent[_removedVertices[count - 1 - survivors]] == kNone)
            ++survivors;
        proxy->setCount(int(count));
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t v = _removedVertices[count - 1 - i];
            (*proxy)[int(i)] = i < survivors ? uint16_t(i) : finalIndex[_parent[v]];
        }

        const uint32_t faces = uint32_t(_removedFaces.size());
        folder->setCount(int(faces));
        indices->setCount(int(faces * 3));
        for (uint32_t k = 0; k < faces; ++k) {
            const Face& f = _face[_removedFaces[faces - 1 - k]];
            (*folder)[int(k)] = f.folding == kNone ? survivors : finalIndex[f.folding];
            for (int c = 0; c < 3; ++c)
                (*indices)[int(3 * k + c)] = finalIndex[f.original[c]];
        }
        return survivors;
    }

private:
    // Slots hold their edge's key beside its number, so that sifting reads the heap alone.
    struct Slot {
        float key;
        uint32_t edge;
    };
    struct HeapAccess {
        Simplifier* s;
        float key(uint32_t slot) const { return s->_heap[slot].key; }
        void swap(uint32_t a, uint32_t b)
        {
            std::swap(s->_heap[a], s->_heap[b]);
            s->_edge[s->_heap[a].edge].heapPosition = a;
            s->_edge[s->_heap[b].edge].heapPosition = b;
        }
    };

    uint32_t appendVertex()
    {
        _quadric.emplace_back();
        _parent.push_back(kNone);
        _alive.push_back(1);
        _faces.emplace_back();
        _edges.emplace_back();
        _attrs.resize(_attrs.size() + size_t(_attrWidth));
        return uint32_t(_alive.size() - 1);
    }

    float* attributes(uint32_t v) { return _attrs.data() + size_t(v) * size_t(_attrWidth); }

    void readAttributes(uint32_t v)
    {
        if (_attrWidth == 0)
            return;
        float* a = attributes(v);
        const int i = int(v);
        if (_hasNormals) {
            const oxVec3f n = _source->getNormal(i);
            *a++ = n.x, *a++ = n.y, *a++ = n.z;
        }
        if (_hasColors) {
            const oxVec4f c = _source->getColor(i);
            *a++ = c.x, *a++ = c.y, *a++ = c.z, *a++ = c.w;
        }
        for (int s = 0; s < _texSets; ++s) {
            const oxVec4f t = _source->getTexCoord(s, i);
            const float all[4] = {t.x, t.y, t.z, t.w};
            for (int k = 0; k < _texSize; ++k)
                *a++ = all[k];
        }
        for (int k = 0; k < _weights; ++k)
            *a++ = _source->getBlendWeight(i, k);
        for (int k = 0; k < _blendIndices; ++k)
            *a++ = float(_source->getBlendIndex(i, k));
    }

    // Normals, colours and texture coordinates averaged (not renormalised); blend data from a.
    void averageAttributes(uint32_t o, uint32_t a, uint32_t b)
    {
        if (_attrWidth == 0)
            return;
        float* out = attributes(o);
        const float* pa = attributes(a);
        const float* pb = attributes(b);
        const int averaged = (_hasNormals ? 3 : 0) + (_hasColors ? 4 : 0) + _texSets * _texSize;
        for (int k = 0; k < averaged; ++k)
            out[k] = (pa[k] + pb[k]) * 0.5f;
        for (int k = averaged; k < _attrWidth; ++k)
            out[k] = pa[k];
    }

    void writeMadeVertex(oxVertexArray* out, uint32_t v, int i)
    {
        out->setPosition(i, _position[v]);
        if (_attrWidth == 0)
            return;
        const float* a = attributes(v);
        if (_hasNormals) {
            out->setNormal(i, oxVec3f(a[0], a[1], a[2]));
            a += 3;
        }
        if (_hasColors) {
            out->setColor(i, oxVec4f(a[0], a[1], a[2], a[3]));
            a += 4;
        }
        for (int s = 0; s < _texSets; ++s) {
            float all[4] = {0, 0, 0, 0};
            for (int k = 0; k < _texSize; ++k)
                all[k] = *a++;
            out->setTexCoord(s, i, oxVec4f(all[0], all[1], all[2], all[3]));
        }
        for (int k = 0; k < _weights; ++k)
            out->setBlendWeight(i, k, *a++);
        for (int k = 0; k < _blendIndices; ++k)
            out->setBlendIndex(i, k, int(*a++));
    }

    void findOrCreateEdge(uint32_t p, uint32_t q)
    {
        for (uint32_t e : _edges[p])
            if (_edge[e].other(p) == q)
                return;
        Edge e;
        e.v[0] = p;
        e.v[1] = q;
        _edge.push_back(e);
        const uint32_t id = uint32_t(_edge.size() - 1);
        _edges[p].push_back(id);
        _edges[q].push_back(id);
    }

    void addFaceQuadric(const Face& f, float weight)
    {
        const oxVec3f& p0 = _position[f.corner[0]];
        const oxVec3f& p1 = _position[f.corner[1]];
        const oxVec3f& p2 = _position[f.corner[2]];
        const oxVec3f e1 = p1 - p0, e2 = p2 - p0;
        const float l1 = e1.length();
        float area = 0;
        if (l1 > 0) {
            const oxVec3f u = e1 * (1.0f / l1);
            const oxVec3f h = e2 - u * e2.dot(u);
            area = l1 * 0.5f * h.length();
        }
        oxVec3f n = e1.cross(e2);
        const float nl = n.length();
        // A face without a normal has no plane; its area is zero as well.
        if (!(nl > 0))
            return;
        n = n * (1.0f / nl);
        const float d = -n.dot(p1);
        const float s = area * weight;
        Quadric k;
        const float a = n.x, b = n.y, c = n.z;
        const float values[10] = {a * a, a * b, a * c, a * d, b * b, b * c, b * d, c * c, c * d, d * d};
        for (int i = 0; i < 10; ++i)
            k.q[i] = values[i] * s;
        for (uint32_t v : f.corner)
            _quadric[v].add(k);
    }

    void updateFlipPlanes(Face& f) const
    {
        const oxVec3f p[3] = {_position[f.corner[0]], _position[f.corner[1]], _position[f.corner[2]]};
        const oxVec3f n = (p[1] - p[0]).cross(p[2] - p[0]);
        for (int i = 0; i < 3; ++i) {
            const oxVec3f& u = p[(i + 1) % 3];
            const oxVec3f& w = p[(i + 2) % 3];
            f.flip[i].c = n.dot(u.cross(w));
            f.flip[i].g = (u - w).cross(n);
        }
    }

    // Whether moving `moved` to `to` turns a face of `moved` over; faces also holding
    // `other` collapse with the edge and do not count.
    bool flips(uint32_t moved, uint32_t other, const oxVec3f& to) const
    {
        for (uint32_t fi : _faces[moved]) {
            const Face& f = _face[fi];
            if (f.has(other))
                continue;
            const int i = f.corner[0] == moved ? 0 : f.corner[1] == moved ? 1 : 2;
            if (f.flip[i].c + f.flip[i].g.dot(to) < 0)
                return true;
        }
        return false;
    }

    // `aIsP` / `bIsP`: the placement is that end itself, which then does not move.
    float computeCost(uint32_t a, uint32_t b, const oxVec3f& p, bool aIsP, bool bIsP, bool checkFlips) const
    {
        if (checkFlips && ((!aIsP && flips(a, b, p)) || (!bIsP && flips(b, a, p))))
            return kLargestCost;
        return sum(_quadric[a], _quadric[b]).error(p);
    }

    void computeOptimal(uint32_t e)
    {
        Edge& edge = _edge[e];
        const uint32_t a = edge.v[0], b = edge.v[1];
        if (_placement == oxMultiResolutionMeshCore::PLACEMENT_SUBSTITUTION) {
            const float ca = computeCost(a, b, _position[a], true, false, true);
            const float cb = sum(_quadric[a], _quadric[b]).error(_position[b]);
            edge.optimal = _position[a];
            if (ca == kLargestCost) {
                edge.key = kLargestCost;
                edge.which = 0;
            } else if (cb < ca) {
                edge.key = cb;
                edge.which = 1;
                edge.optimal = _position[b];
            } else {
                edge.key = ca;
                edge.which = 0;
            }
            return;
        }
        const Quadric q = sum(_quadric[a], _quadric[b]);
        const oxVec3f middle = (_position[a] + _position[b]) * 0.5f;
        bool solved = false;
        if (_placement == oxMultiResolutionMeshCore::PLACEMENT_OPTIMAL) {
            solved = solveOptimal(q, edge.optimal);
            // Nearly coplanar faces leave the point free along their plane: a solution
            // farther from the edge than its length counts as singular.
            const float reach = (_position[b] - _position[a]).lengthSquared();
            if (solved && (edge.optimal - middle).lengthSquared() > reach)
                solved = false;
        }
        if (!solved)
            edge.optimal = middle;
        edge.key = computeCost(a, b, edge.optimal, false, false, true);
    }

    // The last column of the inverse of the quadric's matrix with (0 0 0 1) as its last row:
    // -A⁻¹·t for the upper 3 by 3 block A and the column t = (q3, q6, q8).
    static bool solveOptimal(const Quadric& quadric, oxVec3f& out)
    {
        const float* q = quadric.q;
        const double a00 = q[0], a01 = q[1], a02 = q[2], a11 = q[4], a12 = q[5], a22 = q[7];
        const double c00 = a11 * a22 - a12 * a12;
        const double c01 = a02 * a12 - a01 * a22;
        const double c02 = a01 * a12 - a02 * a11;
        const double det = a00 * c00 + a01 * c01 + a02 * c02;
        // Relative to the determinant of a matrix of the same trace with equal eigenvalues.
        const double trace = a00 + a11 + a22;
        if (!(std::fabs(det) > 1e-6 * trace * trace * trace / 27) || !std::isfinite(det))
            return false;
        const double c11 = a00 * a22 - a02 * a02;
        const double c12 = a01 * a02 - a00 * a12;
        const double c22 = a00 * a11 - a01 * a01;
        const double t0 = q[3], t1 = q[6], t2 = q[8];
        const double inv = 1.0 / det;
        out.x = float(-(c00 * t0 + c01 * t1 + c02 * t2) * inv);
        out.y = float(-(c01 * t0 + c11 * t1 + c12 * t2) * inv);
        out.z = float(-(c02 * t0 + c12 * t1 + c22 * t2) * inv);
        return std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z);
    }

    void removeFromHeap(uint32_t e)
    {
        const uint32_t slot = _edge[e].heapPosition;
        const uint32_t last = uint32_t(_heap.size() - 1);
        HeapAccess a{this};
        if (slot != last)
            a.swap(slot, last);
        _heap.pop_back();
        _edge[e].heapPosition = 0;
        if (slot < last)
            oxHeapRules::restore(a, slot, last - 1);
    }

    void rekey(uint32_t e)
    {
        computeOptimal(e);
        _heap[_edge[e].heapPosition].key = _edge[e].key;
        HeapAccess a{this};
        oxHeapRules::restore(a, _edge[e].heapPosition, uint32_t(_heap.size() - 1));
    }

    void removeFace(uint32_t fi, uint32_t skip, uint32_t folding)
    {
        Face& f = _face[fi];
        for (uint32_t v : f.corner)
            if (v != skip)
                eraseValue(_faces[v], fi);
        f.folding = folding;
        f.alive = false;
        _removedFaces.push_back(fi);
        --_remainingFaces;
    }

    // Moves edge g from `from` to `to`: a first end that moves leaves its place to the
    // second end, and `to` becomes the second end.
    void moveEdge(uint32_t g, uint32_t from, uint32_t to)
    {
        Edge& edge = _edge[g];
        if (edge.v[0] == from)
            edge.v[0] = edge.v[1];
        edge.v[1] = to;
        _edges[to].push_back(g);
    }

    // Midpoint and optimal placement: both ends go, a new vertex takes their place.
    void collapse(uint32_t e)
    {
        const uint32_t a = _edge[e].v[0], b = _edge[e].v[1];
        const oxVec3f p = _edge[e].optimal;
        const uint32_t o = appendVertex();
        _position.push_back(p);
        _quadric[o] = sum(_quadric[a], _quadric[b]);
        averageAttributes(o, a, b);
        _parent[a] = _parent[b] = o;
        _removedVertices.push_back(b);
        _removedVertices.push_back(a);
        _alive[a] = _alive[b] = 0;
        --_remainingVertices;

        std::vector<uint32_t> facesOfA = std::move(_faces[a]);
        std::vector<uint32_t> facesOfB = std::move(_faces[b]);
        _faces[o] = std::move(facesOfA);
        for (uint32_t fi : _faces[o])
            _face[fi].replace(a, o);
        for (uint32_t fi : facesOfB) {
            if (_face[fi].has(o)) {
                removeFace(fi, b, a);
            } else {
                _face[fi].replace(b, o);
                _faces[o].push_back(fi);
            }
        }
        for (uint32_t fi : _faces[o])
            updateFlipPlanes(_face[fi]);

        std::vector<uint32_t> edgesOfA = std::move(_edges[a]);
        std::vector<uint32_t> edgesOfB = std::move(_edges[b]);
        _edges[a].clear();
        _edges[b].clear();
        // The neighbours o takes over from a are marked, so that an edge of b to one of
        // them is known for a duplicate at once.
        ++_stamp;
        for (uint32_t g : edgesOfA)
            if (g != e) {
                moveEdge(g, a, o);
                _mark[_edge[g].other(o)] = _stamp;
                rekey(g);
            }
        for (uint32_t g : edgesOfB) {
            if (g == e)
                continue;
            const uint32_t x = _edge[g].other(b);
            if (_mark[x] == _stamp) {
                removeFromHeap(g);
                eraseValue(_edges[x], g);
            } else {
                moveEdge(g, b, o);
                rekey(g);
            }
        }
    }

    // Substitution: the end chosen by `which` stays where it is and takes the other's place.
    void substitute(uint32_t e)
    {
        const uint32_t keep = _edge[e].v[_edge[e].which];
        const uint32_t gone = _edge[e].v[1 - _edge[e].which];
        _quadric[keep].add(_quadric[gone]);
        _parent[gone] = keep;
        _removedVertices.push_back(gone);
        _alive[gone] = 0;
        --_remainingVertices;

        std::vector<uint32_t> facesOfGone = std::move(_faces[gone]);
        _faces[gone].clear();
        for (uint32_t fi : facesOfGone) {
            if (_face[fi].has(keep)) {
                removeFace(fi, gone, gone);
            } else {
                _face[fi].replace(gone, keep);
                _faces[keep].push_back(fi);
                updateFlipPlanes(_face[fi]);
            }
        }

        eraseValue(_edges[keep], e);
        ++_stamp;
        for (uint32_t g : _edges[keep])
            _mark[_edge[g].other(keep)] = _stamp;
        std::vector<uint32_t> edgesOfGone = std::move(_edges[gone]);
        _edges[gone].clear();
        for (uint32_t g : edgesOfGone) {
            if (g == e)
                continue;
            const uint32_t x = _edge[g].other(gone);
            if (_mark[x] == _stamp) {
                removeFromHeap(g);
                eraseValue(_edges[x], g);
            } else {
                moveEdge(g, gone, keep);
            }
        }
        // Every edge of the kept vertex sees its new quadric and faces.
        for (uint32_t g : _edges[keep])
            rekey(g);
    }

    const oxVertexArray* _source;
    int _placement;
    bool _hasNormals = false, _hasColors = false;
    int _texSets = 0, _texSize = 2, _weights = 0, _blendIndices = 0, _attrWidth = 0;

    std::vector<oxVec3f> _position;
    std::vector<Quadric> _quadric;
    std::vector<uint32_t> _parent;
    std::vector<uint8_t> _alive;
    std::vector<std::vector<uint32_t>> _faces;
    std::vector<std::vector<uint32_t>> _edges;
    std::vector<float> _attrs;
    std::vector<Face> _face;
    std::vector<Edge> _edge;
    std::vector<Slot> _heap;
    std::vector<uint32_t> _mark;
    uint32_t _stamp = 0;
    std::vector<uint32_t> _removedVertices;
    std::vector<uint32_t> _removedFaces;
    uint32_t _remainingVertices = 0;
    uint32_t _remainingFaces = 0;
};

} // namespace

void oxMultiResolutionMeshCore::arkRegisterInitialize(oxFields<oxMultiResolutionMeshCore>& f)
{
    f.add(OX_FIELD(vertexArray));
    f.add(OX_FIELD(indexArray));
    f.add(OX_FIELD(proxyArray)).constructWithOwner();
    f.add(OX_FIELD(folderArray)).constructWithOwner();
    f.add(OX_FIELD(minimumPolygonCount)).setDefault(uint32_t(1));
    f.add(OX_FIELD(maximumPolygonCount)).setDefault(uint32_t(0));
    f.add(OX_FIELD(minimumVertexCount)).setDefault(uint16_t(1));
    f.add(OX_FIELD(maximumVertexCount)).setDefault(uint16_t(0));
    f.add(OX_FIELD(placementPolicy)).setDefault(PLACEMENT_SUBSTITUTION);
    // A new core weighs positions and areas, the two weights the quadrics use; the field's
    // default says so, so that a new core holds its defaults like every object.
    float weights[kWeightCount] = {};
    weights[WEIGHT_POSITION] = 1.0f;
    weights[WEIGHT_AREA] = 1.0f;
    f.add(OX_FIELD(weightingPolicy)).setDefault(weights);
}

void oxMultiResolutionMeshCore::setPlacementPolicy(int policy)
{
    if (policy < PLACEMENT_SUBSTITUTION || policy > PLACEMENT_OPTIMAL) {
        oxReportWarning("oxMultiResolutionMeshCore::setPlacementPolicy: no placement policy %d", policy);
        return;
    }
    _placementPolicy = VERTEX_PLACEMENT_POLICY(policy);
}

void oxMultiResolutionMeshCore::setAttributeWeight(int policy, float weight)
{
    if (policy < 0 || policy >= kWeightCount) {
        oxReportWarning("oxMultiResolutionMeshCore::setAttributeWeight: no weighting policy %d", policy);
        return;
    }
    _weightingPolicy[policy] = weight;
}

float oxMultiResolutionMeshCore::getAttributeWeight(int policy) const
{
    return policy >= 0 && policy < kWeightCount ? _weightingPolicy[policy] : 0.0f;
}

bool oxMultiResolutionMeshCore::setGeometryAttr(oxGeometryAttr* attr)
{
    if (!attr || !attr->getVertexArray() || attr->getPrimitiveType() != Gfx::OX_GFX_DRAW_TRIANGLES) {
        oxReportWarning("oxMultiResolutionMeshCore::setGeometryAttr: %s",
                        !attr ? "no attribute" : !attr->getVertexArray() ? "no vertex array" : "not a triangle list");
        return false;
    }
    oxVertexArray* vertices = attr->getVertexArray();
    const int triangles = attr->getPrimitiveCount();
    const int first = attr->getFirstVertex();
    if (vertices->getVertexCount() > 65535 || attr->countElements() < 0) {
        oxReportWarning("oxMultiResolutionMeshCore::setGeometryAttr: %s",
                        vertices->getVertexCount() > 65535 ? "more vertices than 16-bit indices reach"
                                                           : "the primitives do not fit the arrays");
        return false;
    }
    oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
    indices->setCount(triangles * 3);
    const oxIndexArray* source = attr->getIndexArray();
    for (int i = 0; i < triangles * 3; ++i)
        (*indices)[i] = uint16_t((source ? source->get(i) : i) + first);
    _vertexArray = vertices;
    _indexArray = indices;
    _maximumPolygonCount = uint32_t(triangles);
    _maximumVertexCount = uint16_t(vertices->getVertexCount());
    return true;
}

oxResult oxMultiResolutionMeshCore::generate()
{
    if (!_vertexArray || !_indexArray || !_proxyArray || !_folderArray) {
        oxReportWarning("oxMultiResolutionMeshCore::generate: no %s array", !_vertexArray ? "vertex" : "index");
        return kFailure;
    }
    const int vertexCount = _vertexArray->getVertexCount();
    if (vertexCount > 65535 || !_vertexArray->getFormat().hasPositions()) {
        oxReportWarning("oxMultiResolutionMeshCore::generate: %s",
                        vertexCount > 65535 ? "more vertices than 16-bit indices reach" : "the vertices have no positions");
        return kFailure;
    }
    const int indexCount = _indexArray->getCount() - _indexArray->getCount() % 3;
    if (indexCount == 0 || vertexCount == 0) {
        oxReportWarning("oxMultiResolutionMeshCore::generate: no triangles to simplify");
        return kFailure;
    }
    for (int i = 0; i < indexCount; ++i)
        if (_indexArray->get(i) >= vertexCount) {
            oxReportWarning("oxMultiResolutionMeshCore::generate: index %d is %d, past the %d vertices", i,
                            _indexArray->get(i), vertexCount);
            return kFailure;
        }

    _maximumPolygonCount = uint32_t(indexCount / 3);
    _maximumVertexCount = uint16_t(vertexCount);
    if (_minimumPolygonCount >= _maximumPolygonCount)
        _minimumPolygonCount = _maximumPolygonCount - 1;
    if (_minimumVertexCount >= _maximumVertexCount)
        _minimumVertexCount = uint16_t(_maximumVertexCount - 1);

    Simplifier s(_vertexArray, _indexArray, _placementPolicy, _weightingPolicy);
    s.run(_minimumPolygonCount, _minimumVertexCount);
    if (s.getOutputVertexCount() > 65535) {
        oxReportWarning("oxMultiResolutionMeshCore::generate: the progressive mesh needs %zu vertices, more than "
                        "16-bit indices reach; split the mesh",
                        s.getOutputVertexCount());
        return kFailure;
    }

    oxSmartPointer<oxVertexArray> vertices = oxVertexArray::_instantiateRef();
    if (!vertices->configure(_vertexArray->getFormat(), int(s.getOutputVertexCount())))
        return kFailure;
    oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
    _minimumPolygonCount = s.getRemainingFaces();
    _minimumVertexCount = s.write(vertices, indices, _proxyArray, _folderArray);
    _maximumPolygonCount = uint32_t(indices->getCount() / 3);
    _maximumVertexCount = uint16_t(vertices->getVertexCount());
    _vertexArray = vertices;
    _indexArray = indices;
    return kSuccess;
}

} // namespace Kel::Sg
