#pragma once
// Meshes, graphs and a hit recorder shared by the intersection tests.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/attrs/oxGeometryAttr2.h"
#include "sg/OXSg.h"

namespace isecttest {
using namespace Kel::Sg;
using Kel::Attrs::oxGeometryAttr2;
using Kel::Gfx::OX_GFX_DRAW;
using Kel::Gfx::oxVertexFormat;

// What an attribute is made of; lengths and indices are left out when empty.
struct Mesh {
    OX_GFX_DRAW type = Kel::Gfx::OX_GFX_DRAW_TRIANGLES;
    int primCount = 0;
    int firstVertex = 0;
    std::vector<oxVec3f> positions;
    std::vector<uint16_t> indices;
    std::vector<unsigned> lengths;
    oxVertexFormat format = oxVertexFormat::kPositions;
};

inline oxSmartPointer<oxGeometryAttr> makeAttr(const Mesh& mesh)
{
    oxSmartPointer<oxGeometryAttr> attr = oxGeometryAttr::_instantiateRef();
    attr->configureVertexArray(mesh.format, int(mesh.positions.size()));
    for (size_t i = 0; i < mesh.positions.size(); ++i)
        attr->setPosition(int(i), mesh.positions[i]);
    attr->configurePrimitive(mesh.type, mesh.primCount, mesh.firstVertex);
    if (!mesh.indices.empty()) {
        Kel::Gfx::oxIndexArray* indices = attr->configureIndexArray(int(mesh.indices.size()));
        for (size_t i = 0; i < mesh.indices.size(); ++i)
            indices->set(int(i), mesh.indices[i]);
    }
    for (size_t p = 0; p < mesh.lengths.size(); ++p)
        attr->setPrimitiveLength(int(p), mesh.lengths[p]);
    return attr;
}

// The same mesh over separate component arrays.
inline oxSmartPointer<oxGeometryAttr2> makeAttr2(const Mesh& mesh)
{
    oxSmartPointer<oxGeometryAttr2> attr = oxGeometryAttr2::_instantiateRef();
    Kel::Gfx::oxVertexArray2* vertices = attr->configureVertexArray(int(mesh.positions.size()));
    Kel::Gfx::oxVertexData* p = vertices->addVertexData(Kel::Gfx::OX_GFX_COMPONENT_POSITION, 0,
                                                        Kel::Gfx::OX_GFX_SCALAR_FLOAT, 3);
    std::memcpy(p->getData(), mesh.positions.data(), mesh.positions.size() * sizeof(oxVec3f));
    vertices->touch();
    attr->configurePrimitive(mesh.type, mesh.primCount, mesh.firstVertex);
    if (!mesh.indices.empty()) {
        Kel::Gfx::oxIndexArray* indices = attr->configureIndexArray(int(mesh.indices.size()));
        for (size_t i = 0; i < mesh.indices.size(); ++i)
            indices->set(int(i), mesh.indices[i]);
    }
    for (size_t p = 0; p < mesh.lengths.size(); ++p)
        attr->setPrimitiveLength(int(p), mesh.lengths[p]);
    return attr;
}

// One triangle facing +z (counter-clockwise seen from above) around (x, y) at height z.
inline Mesh triangleAt(float x, float y, float z, float size = 1)
{
    Mesh m;
    m.primCount = 1;
    m.positions = {{x - size, y - size, z}, {x + size, y - size, z}, {x, y + size, z}};
    return m;
}

template <class T>
oxSmartPointer<T> named(const char* name)
{
    oxSmartPointer<T> n = T::_instantiateRef();
    n->setName(name);
    return n;
}

inline oxSmartPointer<oxGeometry> geometry(const char* name, std::initializer_list<oxAttr*> attrs)
{
    oxSmartPointer<oxGeometry> g = named<oxGeometry>(name);
    for (oxAttr* a : attrs)
        g->addGeometryAttr(a);
    return g;
}

inline oxSmartPointer<oxAABox> box(const oxVec3f& min, const oxVec3f& max)
{
    oxSmartPointer<oxAABox> b = oxAABox::_instantiateRef();
    b->set(min, max);
    return b;
}

inline oxSmartPointer<oxSphere> sphere(const oxVec3f& centre, float radius)
{
    oxSmartPointer<oxSphere> s = oxSphere::_instantiateRef();
    s->set(centre, radius);
    return s;
}

inline oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

// A hit as the tests look at it: names instead of pointers, values copied out of the call.
struct Hit {
    int type = 0;
    std::string node;
    std::vector<std::string> path;
    int ray = -1;
    oxMatrix44f matrix;
    float distance = 0;
    oxVec3f point, localPoint, normal;
    int attribute = -1, primitive = -1, position = -1;
};

// Collects every hit of the traversals run while it lives; answers with `answer`, or with
// `answerAt` for hits of the given type on the node of the given name.
class Recorder {
public:
    std::vector<Hit> hits;
    OX_TRAVERSAL_RETURN answer = OX_TRAVERSAL_CONTINUE;
    std::string answerNode;
    int answerType = 0;
    OX_TRAVERSAL_RETURN answerAt = OX_TRAVERSAL_CONTINUE;

    Recorder() { current() = this; }
    ~Recorder() { current() = nullptr; }

    static OX_TRAVERSAL_RETURN onHit(oxIntersectTraversal*, oxNode* node, const oxHit& hit)
    {
        Recorder* r = current();
        Hit h;
        h.type = hit.type;
        h.node = node->getName().c_str();
        for (int i = 0; i < hit.path->getCount(); ++i)
            h.path.push_back(hit.path->get(i)->getName().c_str());
        h.ray = hit.ray ? hit.probe->getRayList()->find(hit.ray) : -1;
        h.matrix = *hit.matrix;
        h.distance = hit.distance;
        h.point = hit.point;
        h.localPoint = hit.localPoint;
        h.normal = hit.normal;
        h.attribute = hit.attributeIndex;
        h.primitive = hit.primitiveIndex;
        h.position = hit.vertexPosition;
        r->hits.push_back(h);
        if (h.node == r->answerNode && h.type == r->answerType)
            return r->answerAt;
        return r->answer;
    }
    // "type:node" per hit, in order.
    std::vector<std::string> summary() const
    {
        std::vector<std::string> out;
        for (const Hit& h : hits)
            out.push_back(std::to_string(h.type) + ":" + h.node);
        return out;
    }

private:
    static Recorder*& current()
    {
        static Recorder* r = nullptr;
        return r;
    }
};

using Names = std::vector<std::string>;

} // namespace isecttest
