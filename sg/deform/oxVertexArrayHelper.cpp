#include "sg/deform/oxVertexArrayHelper.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "sg/nodes/oxGeometry.h"

namespace Kel::Sg {

using Gfx::OX_GFX_DRAW_LINES;
using Gfx::OX_GFX_DRAW_TRIANGLE_STRIPS;
using Gfx::OX_GFX_DRAW_TRIANGLES;

namespace {

constexpr int kMaxIndexed = 65535;

bool isList(const oxGeometryAttr* a)
{
    return a && a->getPrimitiveType() == OX_GFX_DRAW_TRIANGLES;
}

bool isStrips(const oxGeometryAttr* a)
{
    return a && a->getPrimitiveType() == OX_GFX_DRAW_TRIANGLE_STRIPS;
}

// The vertex drawn by element e.
int elementVertex(const oxGeometryAttr* a, int e)
{
    const oxIndexArray* idx = a->getIndexArray();
    return (idx ? int(idx->get(e)) : e) + a->getFirstVertex();
}

// The first element of every strip, and past the last one.
std::vector<int> stripStarts(const oxGeometryAttr* a)
{
    std::vector<int> starts(size_t(a->getPrimitiveCount()) + 1, 0);
    for (int s = 0; s < a->getPrimitiveCount(); ++s)
        starts[size_t(s) + 1] = starts[size_t(s)] + int(a->getPrimitiveLength(s));
    return starts;
}

// The vertices of the triangles of strip s, three per triangle, in drawing order.
void stripTriangles(const oxGeometryAttr* a, const std::vector<int>& starts, int s, std::vector<int>& out)
{
    const int first = starts[size_t(s)], length = starts[size_t(s) + 1] - first;
    for (int i = 0; i + 2 < length; ++i) {
        const int v0 = elementVertex(a, first + i), v1 = elementVertex(a, first + i + 1),
                  v2 = elementVertex(a, first + i + 2);
        if (i % 2 == 0)
            out.insert(out.end(), {v0, v1, v2});
        else
            out.insert(out.end(), {v1, v0, v2});
    }
}

// The vertices of every triangle an attribute draws (lists and strips), three per triangle.
std::vector<int> triangleVertices(const oxGeometryAttr* a)
{
    std::vector<int> out;
    if (isList(a)) {
        for (int e = 0; e < a->getPrimitiveCount() * 3; ++e)
            out.push_back(elementVertex(a, e));
    } else if (isStrips(a)) {
        const std::vector<int> starts = stripStarts(a);
        for (int s = 0; s < a->getPrimitiveCount(); ++s)
            stripTriangles(a, starts, s, out);
    }
    return out;
}

bool fits(const oxGeometryAttr* a)
{
    return a && a->getVertexArray() && a->countElements() >= 0;
}

// A new vertex array of `format` holding the listed vertices of `from`, in order.
oxSmartPointer<oxVertexArray> gather(oxVertexArrayHelper* h, const oxVertexArray* from, const std::vector<int>& which,
                                     oxVertexFormat format)
{
    oxSmartPointer<oxVertexArray> out = oxVertexArray::_instantiateRef();
    out->configure(format, int(which.size()));
    for (size_t i = 0; i < which.size(); ++i)
        h->copyVertex(from, out, unsigned(which[i]), unsigned(i), from->getFormat());
    return out;
}

// Appends the listed vertices of `from` to the non-indexed attribute `to`'s vertex array.
void appendVertices(oxVertexArrayHelper* h, const oxVertexArray* from, const std::vector<int>& which,
                    oxGeometryAttr* to)
{
    oxVertexArray* old = to->getVertexArray();
    const oxVertexFormat format = old ? old->getFormat() : from->getFormat();
    const int kept = old ? old->getVertexCount() : 0;
    oxSmartPointer<oxVertexArray> out = oxVertexArray::_instantiateRef();
    out->configure(format, kept + int(which.size()));
    for (int i = 0; i < kept; ++i)
        h->copyVertex(old, out, unsigned(i), unsigned(i), format);
    for (size_t i = 0; i < which.size(); ++i)
        h->copyVertex(from, out, unsigned(which[i]), unsigned(kept + int(i)), from->getFormat());
    to->setVertexArray(out);
}

bool listed(const oxUnsignedIntList* list, unsigned value)
{
    for (int i = 0; i < list->getCount(); ++i)
        if (list->get(i) == value)
            return true;
    return false;
}

} // namespace

void oxVertexArrayHelper::unStripGeometry(oxGeometry* node)
{
    unStripGeometry(node, 2147483647);
}

void oxVertexArrayHelper::unStripGeometry(oxGeometry* node, int maxTriangles)
{
    if (!node)
        return;
    std::vector<oxSmartPointer<oxGeometryAttr>> made;
    for (int i = 0; i < node->getGeometryAttrCount(); ++i) {
        oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        if (!isStrips(attr) || attr->getIndexArray() || !fits(attr))
            continue;
        oxSmartPointer<oxUnsignedIntList> list = oxUnsignedIntList::_instantiateRef();
        for (int s = 0; s < attr->getPrimitiveCount(); ++s)
            if (int(attr->getPrimitiveLength(s)) - 2 < maxTriangles)
                list->append(uint32_t(s));
        if (list->getCount() == 0)
            continue;
        oxSmartPointer<oxGeometryAttr> triangles = oxGeometryAttr::_instantiateRef();
        triangles->configurePrimitive(OX_GFX_DRAW_TRIANGLES, 0);
        copyStripsToTriangle(attr, triangles, list);
        deleteStrips(attr, list);
        if (attr->getPrimitiveCount() == 0) {
            node->removeGeometryAttr(i);
            --i;
        }
        made.push_back(triangles);
    }
    for (oxGeometryAttr* a : made)
        node->addGeometryAttr(a);
}

void oxVertexArrayHelper::deleteStrips(oxGeometryAttr* attr, const oxUnsignedIntList* list)
{
    if (!list || !isStrips(attr) || !fits(attr))
        return;
    const std::vector<int> starts = stripStarts(attr);
    std::vector<int> vertices;
    std::vector<uint32_t> lengths;
    for (int s = 0; s < attr->getPrimitiveCount(); ++s) {
        if (listed(list, unsigned(s)))
            continue;
        for (int e = starts[size_t(s)]; e < starts[size_t(s) + 1]; ++e)
            vertices.push_back(elementVertex(attr, e));
        lengths.push_back(attr->getPrimitiveLength(s));
    }
    oxVertexArray* from = attr->getVertexArray();
    attr->setVertexArray(gather(this, from, vertices, from->getFormat()));
    attr->setIndexArray(nullptr);
    oxSmartPointer<Gfx::oxPrimLengthArray> l = Gfx::oxPrimLengthArray::_instantiateRef();
    for (uint32_t n : lengths)
        l->append(n);
    attr->setPrimLengthArray(l);
    attr->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, int(lengths.size()), 0);
}

void oxVertexArrayHelper::deleteTriangles(oxGeometryAttr* attr, const oxUnsignedIntList* list)
{
    if (!list || !isList(attr) || !fits(attr))
        return;
    const int count = attr->getPrimitiveCount();
    std::vector<int> vertices;
    int deleted = 0;
    for (int t = 0; t < count; ++t) {
        if (listed(list, unsigned(t))) {
            ++deleted;
            continue;
        }
        for (int c = 0; c < 3; ++c)
            vertices.push_back(elementVertex(attr, 3 * t + c));
    }
    // The new array has as many vertices as before less three per listed triangle; what the
    // kept triangles do not fill (vertices past the list's own) starts at zero.
    oxVertexArray* from = attr->getVertexArray();
    oxSmartPointer<oxVertexArray> out = gather(this, from, vertices, from->getFormat());
    const int size = from->getVertexCount() - 3 * list->getCount();
    if (size > out->getVertexCount())
        out->setVertexCount(size);
    attr->setVertexArray(out);
    attr->setIndexArray(nullptr);
    attr->configurePrimitive(OX_GFX_DRAW_TRIANGLES, count - deleted, 0);
}

void oxVertexArrayHelper::copyVertex(const oxVertexArray* from, oxVertexArray* to, unsigned fromIndex,
                                     unsigned toIndex, const oxVertexFormat& format)
{
    if (!to || !to->copyVertex(from, int(fromIndex), int(toIndex), format))
        oxReportWarning("oxVertexArrayHelper::copyVertex: vertex %u to %u cannot be copied", fromIndex, toIndex);
}

void oxVertexArrayHelper::copyStripsToTriangle(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list)
{
    if (!list || !isStrips(from) || !fits(from) || !to || to->getIndexArray() ||
        (to->getPrimitiveCount() > 0 && !isList(to))) {
        oxReportWarning("oxVertexArrayHelper::copyStripsToTriangle: needs a strip set and a non-indexed triangle list");
        return;
    }
    const std::vector<int> starts = stripStarts(from);
    std::vector<int> vertices;
    for (int i = 0; i < list->getCount(); ++i)
        if (int(list->get(i)) < from->getPrimitiveCount())
            stripTriangles(from, starts, int(list->get(i)), vertices);
    const int before = to->getPrimitiveCount(), first = to->getFirstVertex();
    if (to->getVertexArray() && first + before * 3 != to->getVertexCount()) {
        // Vertices past the list's own would be drawn by the new triangles' places.
        std::vector<int> own;
        for (int v = first; v < first + before * 3; ++v)
            own.push_back(v);
        to->setVertexArray(gather(this, to->getVertexArray(), own, to->getVertexFormat()));
    }
    appendVertices(this, from->getVertexArray(), vertices, to);
    to->configurePrimitive(OX_GFX_DRAW_TRIANGLES, before + int(vertices.size() / 3), 0);
}

void oxVertexArrayHelper::copyPrimitives(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list)
{
    if (!list || !fits(from) || !to)
        return;
    if (isStrips(from)) {
        if (!isStrips(to) || to->getIndexArray()) {
            copyStripsToTriangle(from, to, list);
            return;
        }
        const std::vector<int> starts = stripStarts(from);
        std::vector<int> vertices;
        std::vector<int> own;
        for (int v = to->getFirstVertex(); v < to->getFirstVertex() + (to->getVertexArray() ? stripStarts(to).back() : 0);
             ++v)
            own.push_back(v);
        if (to->getVertexArray())
            to->setVertexArray(gather(this, to->getVertexArray(), own, to->getVertexFormat()));
        int strips = to->getPrimitiveCount();
        for (int i = 0; i < list->getCount(); ++i) {
            const int s = int(list->get(i));
            if (s >= from->getPrimitiveCount())
                continue;
            for (int e = starts[size_t(s)]; e < starts[size_t(s) + 1]; ++e)
                vertices.push_back(elementVertex(from, e));
            to->setPrimitiveLength(strips++, from->getPrimitiveLength(s));
        }
        appendVertices(this, from->getVertexArray(), vertices, to);
        to->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, strips, 0);
        return;
    }
    if (!isList(from) || to->getIndexArray() || (to->getPrimitiveCount() > 0 && !isList(to)))
        return;
    std::vector<int> vertices;
    for (int i = 0; i < list->getCount(); ++i) {
        const int t = int(list->get(i));
        if (t < from->getPrimitiveCount())
            for (int c = 0; c < 3; ++c)
                vertices.push_back(elementVertex(from, 3 * t + c));
    }
    const int before = to->getPrimitiveCount();
    if (to->getVertexArray() && to->getFirstVertex() + before * 3 != to->getVertexCount()) {
        std::vector<int> own;
        for (int v = to->getFirstVertex(); v < to->getFirstVertex() + before * 3; ++v)
            own.push_back(v);
        to->setVertexArray(gather(this, to->getVertexArray(), own, to->getVertexFormat()));
    }
    appendVertices(this, from->getVertexArray(), vertices, to);
    to->configurePrimitive(OX_GFX_DRAW_TRIANGLES, before + int(vertices.size() / 3), 0);
}

void oxVertexArrayHelper::copyTriangles(oxGeometryAttr* from, oxGeometryAttr* to, const oxUnsignedIntList* list)
{
    copyPrimitives(from, to, list);
}

void oxVertexArrayHelper::compactGeometryAttr(oxGeometry* node)
{
    if (!node)
        return;
    for (int i = 0; i < node->getGeometryAttrCount(); ++i) {
        oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        if (!attr)
            continue;
        const int elements = attr->countElements();
        if (!attr->getVertexArray() || attr->getPrimitiveCount() == 0 || elements <= 0) {
            node->removeGeometryAttr(i);
            --i;
            continue;
        }
        if (attr->getIndexArray() || (attr->getFirstVertex() == 0 && elements == attr->getVertexCount()))
            continue;
        std::vector<int> used;
        for (int v = attr->getFirstVertex(); v < attr->getFirstVertex() + elements; ++v)
            used.push_back(v);
        attr->setVertexArray(gather(this, attr->getVertexArray(), used, attr->getVertexFormat()));
        attr->configurePrimitive(attr->getPrimitiveType(), attr->getPrimitiveCount(), 0);
    }
}

void oxVertexArrayHelper::deindex(oxGeometry* node)
{
    if (!node)
        return;
    for (int i = 0; i < node->getGeometryAttrCount(); ++i)
        if (oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i)))
            deindex(attr);
}

void oxVertexArrayHelper::deindex(oxGeometryAttr* attr)
{
    if (!attr || !attr->getIndexArray() || !fits(attr))
        return;
    const int elements = attr->countElements();
    std::vector<int> vertices;
    for (int e = 0; e < elements; ++e)
        vertices.push_back(elementVertex(attr, e));
    attr->setVertexArray(gather(this, attr->getVertexArray(), vertices, attr->getVertexFormat()));
    attr->setIndexArray(nullptr);
    attr->configurePrimitive(attr->getPrimitiveType(), attr->getPrimitiveCount(), 0);
}

void oxVertexArrayHelper::forceFormat(oxGeometryAttr* attr, oxVertexFormat format, oxVertexFormat kept)
{
    if (!attr || !attr->getVertexArray() || attr->getVertexFormat() == format)
        return;
    if (!format.isValid() || !format.hasPositions()) {
        oxReportWarning("oxVertexArrayHelper::forceFormat: format 0x%x cannot hold vertices", format.getBits());
        return;
    }
    oxVertexArray* from = attr->getVertexArray();
    oxSmartPointer<oxVertexArray> out = oxVertexArray::_instantiateRef();
    out->configure(format, from->getVertexCount());
    for (int i = 0; i < from->getVertexCount(); ++i)
        copyVertex(from, out, unsigned(i), unsigned(i), kept);
    attr->setVertexArray(out);
}

bool oxVertexArrayHelper::isCompatible(oxVertexFormat a, oxVertexFormat b)
{
    const uint32_t x = a.getBits(), y = b.getBits();
    for (uint32_t bit : {1u, 2u, 4u})
        if ((x & bit) && !(y & bit))
            return false;
    const struct {
        int shift;
        uint32_t mask;
    } fields[] = {{4, 0xF}, {8, 0xF}, {16, 0xF}, {20, 0x3}};
    for (const auto& f : fields)
        if (((y >> f.shift) & f.mask) < ((x >> f.shift) & f.mask))
            return false;
    return true;
}

void oxVertexArrayHelper::reindexTriangles(oxVertexArray* vertices, oxSmartPointer<oxVertexArray>& newVertices,
                                           oxSmartPointer<oxIndexArray>& newIndices)
{
    newVertices = nullptr;
    newIndices = nullptr;
    if (!vertices || vertices->getVertexCount() == 0)
        return;
    const int stride = vertices->getStride(), count = vertices->getVertexCount();
    const uint8_t* data = vertices->getVertexData();
    std::unordered_map<std::string, int> seen;
    std::vector<int> unique;
    oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
    indices->setCount(count);
    for (int i = 0; i < count; ++i) {
        std::string key(reinterpret_cast<const char*>(data + size_t(i) * size_t(stride)), size_t(stride));
        auto [it, inserted] = seen.emplace(std::move(key), int(unique.size()));
        if (inserted)
            unique.push_back(i);
        if (unique.size() > size_t(kMaxIndexed) + 1) {
            oxReportWarning("oxVertexArrayHelper::reindexTriangles: more distinct vertices than 16-bit indices reach");
            return;
        }
        (*indices)[i] = uint16_t(it->second);
    }
    newVertices = gather(this, vertices, unique, vertices->getFormat());
    newIndices = indices;
}

void oxVertexArrayHelper::reindex(oxGeometry* node)
{
    if (!node)
        return;
    for (int i = 0; i < node->getGeometryAttrCount(); ++i) {
        oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        if (!attr || attr->getIndexArray() || !attr->getVertexArray() || attr->getVertexCount() < 1)
            continue;
        oxSmartPointer<oxVertexArray> vertices;
        oxSmartPointer<oxIndexArray> indices;
        reindexTriangles(attr->getVertexArray(), vertices, indices);
        if (!vertices || !indices)
            continue;
        // Element e drew vertex first + e; it now reads index first + e of the new array.
        const int first = attr->getFirstVertex();
        if (first > 0)
            indices->remove(0, first);
        attr->setVertexArray(vertices);
        attr->setIndexArray(indices);
        attr->configurePrimitive(attr->getPrimitiveType(), attr->getPrimitiveCount(), 0);
    }
}

void oxVertexArrayHelper::stitchStrips(oxGeometryAttr* attr, oxSmartPointer<oxGeometryAttr>& out)
{
    out = nullptr;
    if (!isStrips(attr) || !fits(attr))
        return;
    const std::vector<int> starts = stripStarts(attr);
    std::vector<int> vertices;
    for (int s = 0; s < attr->getPrimitiveCount(); ++s) {
        const int first = starts[size_t(s)], length = starts[size_t(s) + 1] - first;
        if (length < 3)
            continue;
        if (!vertices.empty()) {
            // Repeat the last vertex and the next strip's first: the triangles between are
            // degenerate; one more repeat of the first puts the next strip on an even place,
            // which keeps its winding.
            vertices.push_back(vertices.back());
            vertices.push_back(elementVertex(attr, first));
            if (vertices.size() % 2 == 1)
                vertices.push_back(elementVertex(attr, first));
        }
        for (int e = first; e < first + length; ++e)
            vertices.push_back(elementVertex(attr, e));
    }
    out = oxGeometryAttr::_instantiateRef();
    out->setVertexArray(gather(this, attr->getVertexArray(), vertices, attr->getVertexFormat()));
    out->setPrimitiveLength(0, unsigned(vertices.size()));
    out->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, vertices.empty() ? 0 : 1, 0);
}

void oxVertexArrayHelper::createNormals(oxGeometryAttr* attr)
{
    if (!isList(attr) || !fits(attr))
        return;
    if (attr->getIndexArray())
        deindex(attr);
    if (attr->getVertexFormat().hasNormals())
        return;
    oxVertexArray* from = attr->getVertexArray();
    const oxVertexFormat format = from->getFormat();
    oxSmartPointer<oxVertexArray> out = oxVertexArray::_instantiateRef();
    out->configure(format | oxVertexFormat(oxVertexFormat::kNormals), from->getVertexCount());
    for (int i = 0; i < from->getVertexCount(); ++i)
        copyVertex(from, out, unsigned(i), unsigned(i), format);
    const int first = attr->getFirstVertex();
    for (int t = 0; t < attr->getPrimitiveCount(); ++t) {
        const int v = first + 3 * t;
        const oxVec3f p0 = out->getPosition(v), p1 = out->getPosition(v + 1), p2 = out->getPosition(v + 2);
        const oxVec3f n = (p1 - p0).cross(p2 - p0).normalized();
        for (int c = 0; c < 3; ++c)
            out->setNormal(v + c, n);
    }
    attr->setVertexArray(out);
}

oxGeometryAttr* oxVertexArrayHelper::extractEdges(oxGeometryAttr* attr, float minAngle, float maxAngle)
{
    if ((!isList(attr) && !isStrips(attr)) || !fits(attr))
        return nullptr;
    const std::vector<int> tri = triangleVertices(attr);
    const oxVertexArray* v = attr->getVertexArray();
    // Edges by their positions, so that split vertices (other normals, other texture
    // coordinates) still join their faces.
    struct Key {
        oxVec3f a, b;
        bool operator==(const Key& o) const
        {
            return a.x == o.a.x && a.y == o.a.y && a.z == o.a.z && b.x == o.b.x && b.y == o.b.y && b.z == o.b.z;
        }
    };
    struct Hash {
        size_t operator()(const Key& k) const
        {
            const float f[6] = {k.a.x, k.a.y, k.a.z, k.b.x, k.b.y, k.b.z};
            return std::hash<std::string>()(std::string(reinterpret_cast<const char*>(f), sizeof f));
        }
    };
    struct Use {
        int v0, v1;
        std::vector<oxVec3f> normals;
    };
    std::unordered_map<Key, Use, Hash> edges;
    std::vector<Key> order;
    auto less = [](const oxVec3f& p, const oxVec3f& q) {
        return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.z < q.z;
    };
    for (size_t t = 0; t + 2 < tri.size(); t += 3) {
        const oxVec3f p[3] = {v->getPosition(tri[t]), v->getPosition(tri[t + 1]), v->getPosition(tri[t + 2])};
        const oxVec3f n = (p[1] - p[0]).cross(p[2] - p[0]).normalized();
        for (int c = 0; c < 3; ++c) {
            const int i0 = tri[t + size_t(c)], i1 = tri[t + size_t((c + 1) % 3)];
            const oxVec3f &a = p[c], &b = p[(c + 1) % 3];
            const Key key = less(a, b) ? Key{a, b} : Key{b, a};
            auto [it, inserted] = edges.try_emplace(key, Use{i0, i1, {}});
            if (inserted)
                order.push_back(key);
            it->second.normals.push_back(n);
        }
    }
    std::vector<int> lines;
    for (const Key& k : order) {
        const Use& u = edges[k];
        float angle = 180.0f;
        if (u.normals.size() == 2) {
            const float d = std::fmax(-1.0f, std::fmin(1.0f, u.normals[0].dot(u.normals[1])));
            angle = std::acos(d) * 180.0f / float(M_PI);
        }
        if (angle >= minAngle && angle <= maxAngle)
            lines.insert(lines.end(), {u.v0, u.v1});
    }
    oxGeometryAttr* out = oxGeometryAttr::_instantiateFromPool(nullptr);
    out->setVertexArray(gather(this, v, lines, v->getFormat()));
    out->configurePrimitive(OX_GFX_DRAW_LINES, int(lines.size() / 2), 0);
    return out;
}

void oxVertexArrayHelper::splitTriangle(oxGeometryAttr* attr, unsigned index, float a, float b, float c)
{
    const float sum = a + b + c;
    if (!isList(attr) || attr->getIndexArray() || !fits(attr) || int(index) >= attr->getPrimitiveCount() ||
        !(std::fabs(sum) > 0)) {
        oxReportWarning("oxVertexArrayHelper::splitTriangle: needs a non-indexed triangle list, a triangle of it "
                        "and weights that do not sum to zero");
        return;
    }
    a /= sum, b /= sum, c /= sum;
    const int first = attr->getFirstVertex(), count = attr->getPrimitiveCount();
    oxVertexArray* from = attr->getVertexArray();
    oxSmartPointer<oxVertexArray> out = oxVertexArray::_instantiateRef();
    out->configure(from->getFormat(), (count + 2) * 3);
    for (int i = 0; i < count * 3; ++i)
        copyVertex(from, out, unsigned(first + i), unsigned(i), from->getFormat());
    const int t = int(index) * 3, base = count * 3, point = base + 2;
    const oxVertexFormat all = from->getFormat();
    // The point: between corners 0 and 1 by b / (a + b), then towards corner 2 by c.
    const float ab = a + b;
    interpolateVertex(out, out, unsigned(t), unsigned(t + 1), unsigned(point), ab > 0 ? b / ab : 0.0f, all);
    interpolateVertex(out, out, unsigned(point), unsigned(t + 2), unsigned(point), c, all);
    // (1, 2, P) and (2, 0, P) follow at the end; the triangle itself becomes (0, 1, P).
    copyVertex(out, out, unsigned(t + 1), unsigned(base), all);
    copyVertex(out, out, unsigned(t + 2), unsigned(base + 1), all);
    copyVertex(out, out, unsigned(t + 2), unsigned(base + 3), all);
    copyVertex(out, out, unsigned(t), unsigned(base + 4), all);
    copyVertex(out, out, unsigned(point), unsigned(base + 5), all);
    copyVertex(out, out, unsigned(point), unsigned(t + 2), all);
    attr->setVertexArray(out);
    attr->configurePrimitive(OX_GFX_DRAW_TRIANGLES, count + 2, 0);
}

void oxVertexArrayHelper::interpolateVertex(const oxVertexArray* from, oxVertexArray* to, unsigned i0, unsigned i1,
                                            unsigned toIndex, float t, const oxVertexFormat& format)
{
    if (!from || !to || int(i0) >= from->getVertexCount() || int(i1) >= from->getVertexCount() ||
        int(toIndex) >= to->getVertexCount())
        return;
    const int a = int(i0), b = int(i1), o = int(toIndex);
    const oxVertexFormat shared = format & from->getFormat() & to->getFormat();
    auto mix = [t](const auto& p, const auto& q) { return p + (q - p) * t; };
    // Read everything first: `to` may be `from` and `o` one of the ends.
    const oxVec3f pos = mix(from->getPosition(a), from->getPosition(b));
    const oxVec3f nrm = mix(from->getNormal(a), from->getNormal(b)).normalized();
    const oxVec4f col = mix(from->getColor(a), from->getColor(b));
    const oxVec3f bin = mix(from->getBinormal(a), from->getBinormal(b)).normalized();
    const oxVec3f tan = mix(from->getTangent(a), from->getTangent(b)).normalized();
    std::vector<oxVec4f> tex;
    for (int s = 0; s < shared.getTexCoordSetCount(); ++s)
        tex.push_back(mix(from->getTexCoord(s, a), from->getTexCoord(s, b)));
    std::vector<float> weights;
    for (int k = 0; k < shared.getBlendWeightCount(); ++k)
        weights.push_back(from->getBlendWeight(a, k) + (from->getBlendWeight(b, k) - from->getBlendWeight(a, k)) * t);
    std::vector<int> indices;
    for (int k = 0; k < shared.getBlendIndexCount(); ++k)
        indices.push_back(from->getBlendIndex(t < 0.5f ? a : b, k));
    if (shared.hasPositions())
        to->setPosition(o, pos);
    if (shared.hasNormals())
        to->setNormal(o, nrm);
    if (shared.hasColors())
        to->setColor(o, col);
    if (shared.hasBinormals())
        to->setBinormal(o, bin);
    if (shared.hasTangents())
        to->setTangent(o, tan);
    for (size_t s = 0; s < tex.size(); ++s)
        to->setTexCoord(int(s), o, tex[s]);
    for (size_t k = 0; k < weights.size(); ++k)
        to->setBlendWeight(o, int(k), weights[k]);
    for (size_t k = 0; k < indices.size(); ++k)
        to->setBlendIndex(o, int(k), indices[k]);
    to->touch();
}

void oxVertexArrayHelper::removeDegenerate(oxIndexArray* indices)
{
    if (!indices)
        return;
    const int count = indices->getCount() - indices->getCount() % 3;
    int kept = 0;
    for (int i = 0; i < count; i += 3) {
        const uint16_t a = indices->get(i), b = indices->get(i + 1), c = indices->get(i + 2);
        if (a == b || b == c || a == c)
            continue;
        (*indices)[kept++] = a;
        (*indices)[kept++] = b;
        (*indices)[kept++] = c;
    }
    indices->setCount(kept);
}

void oxVertexArrayHelper::removeDegenerate(oxGeometryAttr* attr)
{
    if (!isList(attr) || !attr->getIndexArray() || attr->getFirstVertex() != 0)
        return;
    removeDegenerate(attr->getIndexArray());
    attr->configurePrimitive(OX_GFX_DRAW_TRIANGLES, attr->getIndexArray()->getCount() / 3, 0);
}

void oxVertexArrayHelper::removeDegenerate(oxGeometry* node)
{
    if (!node)
        return;
    for (int i = 0; i < node->getGeometryAttrCount(); ++i) {
        oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        if (isList(attr) && attr->getIndexArray())
            removeDegenerate(attr);
    }
}

void oxVertexArrayHelper::appendTriangle(oxGeometryAttr* attr, int count)
{
    if (!attr || count <= 0 || (attr->getPrimitiveCount() > 0 && !isList(attr)) || !attr->getVertexArray())
        return;
    const int before = attr->getPrimitiveCount();
    if (oxIndexArray* idx = attr->getIndexArray()) {
        oxVertexArray* v = attr->getVertexArray();
        const int base = v->getVertexCount();
        if (base + 3 * count - attr->getFirstVertex() > kMaxIndexed + 1) {
            oxReportWarning("oxVertexArrayHelper::appendTriangle: 16-bit indices cannot reach the new vertices");
            return;
        }
        v->setVertexCount(base + 3 * count);
        idx->setCount(before * 3);
        for (int i = 0; i < 3 * count; ++i)
            idx->append(uint16_t(base + i - attr->getFirstVertex()));
    } else {
        std::vector<int> own;
        for (int i = attr->getFirstVertex(); i < attr->getFirstVertex() + before * 3; ++i)
            own.push_back(i);
        oxSmartPointer<oxVertexArray> v = gather(this, attr->getVertexArray(), own, attr->getVertexFormat());
        v->setVertexCount(int(own.size()) + 3 * count);
        attr->setVertexArray(v);
    }
    attr->configurePrimitive(OX_GFX_DRAW_TRIANGLES, before + count, attr->getIndexArray() ? attr->getFirstVertex() : 0);
}

void oxVertexArrayHelper::generateTangentsAndBinormals(oxGeometryAttr* attr, int set)
{
    if ((!isList(attr) && !isStrips(attr)) || !fits(attr) || set < 0 ||
        set >= attr->getVertexFormat().getTexCoordSetCount()) {
        oxReportWarning("oxVertexArrayHelper::generateTangentsAndBinormals: needs triangles with texture set %d", set);
        return;
    }
    oxVertexArray* from = attr->getVertexArray();
    const oxVertexFormat format = from->getFormat();
    const oxVertexFormat wanted = format | oxVertexFormat(oxVertexFormat::kTangents | oxVertexFormat::kBinormals);
    oxSmartPointer<oxVertexArray> out = from;
    if (wanted != format) {
        out = oxVertexArray::_instantiateRef();
        out->configure(wanted, from->getVertexCount());
        for (int i = 0; i < from->getVertexCount(); ++i)
            copyVertex(from, out, unsigned(i), unsigned(i), format);
    }
    const int count = out->getVertexCount();
    const size_t n = static_cast<size_t>(count);
    std::vector<oxVec3f> tu(n), tv(n), geo(n);
    const std::vector<int> tri = triangleVertices(attr);
    for (size_t t = 0; t + 2 < tri.size(); t += 3) {
        const int i[3] = {tri[t], tri[t + 1], tri[t + 2]};
        const oxVec3f p0 = out->getPosition(i[0]), p1 = out->getPosition(i[1]), p2 = out->getPosition(i[2]);
        const oxVec4f w0 = out->getTexCoord(set, i[0]), w1 = out->getTexCoord(set, i[1]), w2 = out->getTexCoord(set, i[2]);
        const oxVec3f e1 = p1 - p0, e2 = p2 - p0;
        const float du1 = w1.x - w0.x, dv1 = w1.y - w0.y, du2 = w2.x - w0.x, dv2 = w2.y - w0.y;
        const float det = du1 * dv2 - du2 * dv1;
        const oxVec3f n = e1.cross(e2);
        for (int k : i)
            geo[size_t(k)] = geo[size_t(k)] + n;
        if (!(std::fabs(det) > 0))
            continue;
        // Positions as a linear function of (u, v) over the triangle: its two derivatives.
        const float r = 1.0f / det;
        const oxVec3f dpdu = (e1 * dv2 - e2 * dv1) * r;
        const oxVec3f dpdv = (e2 * du1 - e1 * du2) * r;
        for (int k : i) {
            tu[size_t(k)] = tu[size_t(k)] + dpdu;
            tv[size_t(k)] = tv[size_t(k)] + dpdv;
        }
    }
    for (int k = 0; k < count; ++k) {
        oxVec3f n = format.hasNormals() ? out->getNormal(k) : geo[size_t(k)];
        n.normalize();
        // Within the surface: the normal's part taken out, then unit length; a vertex with no
        // usable direction gets one perpendicular to the normal.
        oxVec3f u = tu[size_t(k)] - n * n.dot(tu[size_t(k)]);
        if (!(u.lengthSquared() > 0)) {
            u = std::fabs(n.x) < 0.9f ? oxVec3f(1, 0, 0) : oxVec3f(0, 1, 0);
            u = u - n * n.dot(u);
        }
        u.normalize();
        oxVec3f v = tv[size_t(k)] - n * n.dot(tv[size_t(k)]);
        if (!(v.lengthSquared() > 0))
            v = n.cross(u);
        v.normalize();
        out->setTangent(k, u);
        out->setBinormal(k, v);
    }
    out->touch();
    attr->setVertexArray(out);
}

void oxVertexArrayHelper::strip(oxGeometryAttr* attr, oxSmartPointer<oxGeometryAttr>& out)
{
    out = nullptr;
    if (!isList(attr) || !fits(attr))
        return;
    // Consecutive triangles join a strip while each shares the edge the strip's winding asks
    // for; otherwise a new strip starts.
    std::vector<int> vertices;
    std::vector<uint32_t> lengths;
    int length = 0;
    for (int t = 0; t < attr->getPrimitiveCount(); ++t) {
        const int a = elementVertex(attr, 3 * t), b = elementVertex(attr, 3 * t + 1), c = elementVertex(attr, 3 * t + 2);
        if (length >= 3) {
            const int p = vertices[vertices.size() - 2], q = vertices.back();
            // The next triangle of the strip is (p, q, x) on an odd place, (q, p, x) read as
            // drawn: with i the triangle's place, even i draws (i, i+1, i+2).
            const bool odd = (length - 2) % 2 == 1;
            const int want0 = odd ? q : p, want1 = odd ? p : q;
            int x = -1;
            if (a == want0 && b == want1)
                x = c;
            else if (b == want0 && c == want1)
                x = a;
            else if (c == want0 && a == want1)
                x = b;
            if (x >= 0) {
                vertices.push_back(x);
                ++length;
                continue;
            }
        }
        if (length)
            lengths.push_back(uint32_t(length));
        vertices.insert(vertices.end(), {a, b, c});
        length = 3;
    }
    if (length)
        lengths.push_back(uint32_t(length));
    out = oxGeometryAttr::_instantiateRef();
    out->setVertexArray(gather(this, attr->getVertexArray(), vertices, attr->getVertexFormat()));
    for (size_t s = 0; s < lengths.size(); ++s)
        out->setPrimitiveLength(int(s), lengths[s]);
    out->configurePrimitive(OX_GFX_DRAW_TRIANGLE_STRIPS, int(lengths.size()), 0);
}

void oxVertexArrayHelper::split(oxGeometry* node)
{
    if (!node)
        return;
    oxSmartPointer<oxGeometryAttrList> pieces = oxGeometryAttrList::_instantiateRef();
    for (int i = 0; i < node->getGeometryAttrCount(); ++i) {
        oxGeometryAttr* attr = oxGeometryAttr::dynamicCast(node->getGeometryAttr(i));
        if (!attr || attr->getVertexCount() <= kMaxIndexed + 1)
            continue;
        splitGeometryAndAppend(attr, pieces);
        node->removeGeometryAttr(i);
        --i;
    }
    for (int i = 0; i < pieces->getCount(); ++i)
        node->addGeometryAttr(pieces->get(i));
}

void oxVertexArrayHelper::splitGeometryAndAppend(oxSmartPointer<oxGeometryAttr> attr,
                                                 oxSmartPointer<oxGeometryAttrList> list)
{
    if (!attr || !list)
        return;
    if (attr->getVertexCount() <= kMaxIndexed + 1 || !fits(attr) || (!isList(attr) && !isStrips(attr))) {
        list->append(attr);
        return;
    }
    // Triangles in order, each piece taking as many as keep its distinct vertices within
    // reach of 16-bit indices; every piece is an indexed triangle list of its own vertices.
    const std::vector<int> tri = triangleVertices(attr);
    size_t t = 0;
    while (t < tri.size()) {
        std::unordered_map<int, int> local;
        std::vector<int> used;
        oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
        for (; t + 2 < tri.size(); t += 3) {
            int fresh = 0;
            for (int c = 0; c < 3; ++c)
                fresh += local.count(tri[t + size_t(c)]) ? 0 : 1;
            if (used.size() + size_t(fresh) > size_t(kMaxIndexed) + 1)
                break;
            for (int c = 0; c < 3; ++c) {
                auto [it, inserted] = local.try_emplace(tri[t + size_t(c)], int(used.size()));
                if (inserted)
                    used.push_back(tri[t + size_t(c)]);
                indices->append(uint16_t(it->second));
            }
        }
        oxSmartPointer<oxGeometryAttr> piece = oxGeometryAttr::_instantiateRef();
        piece->setVertexArray(gather(this, attr->getVertexArray(), used, attr->getVertexFormat()));
        piece->setIndexArray(indices);
        piece->configurePrimitive(OX_GFX_DRAW_TRIANGLES, indices->getCount() / 3, 0);
        list->append(piece);
        if (t + 2 >= tri.size())
            break;
    }
}

} // namespace Kel::Sg
