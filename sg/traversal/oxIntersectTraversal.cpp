#include "sg/traversal/oxIntersectTraversal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/attrs/oxGeometryAttr2.h"
#include "platform/math/oxTriangleBVH.h"
#include "sg/nodes/oxGeometry.h"
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

using Attrs::oxAttr;
using Attrs::oxGeometryAttr2;
using namespace Gfx;

namespace {

oxIntersectTraversal* isect(oxTraversal* t)
{
    return static_cast<oxIntersectTraversal*>(t);
}

OX_TRAVERSAL_RETURN stopOrContinue(OX_TRAVERSAL_RETURN r)
{
    return r == OX_TRAVERSAL_STOP ? OX_TRAVERSAL_STOP : OX_TRAVERSAL_CONTINUE;
}

// The geometry and transform functions ask the selection callback again (dispatch has asked
// already): false when the node is not to be tested, `r` then holding the answer.
bool selected(oxTraversal* t, oxNode* node, OX_TRAVERSAL_RETURN& r)
{
    oxNodeSelectFunction select = t->getNodeSelectFunction();
    if (!t->getNodeSelectFunctionState() || !select)
        return true;
    switch (select(t, node)) {
    case OX_SELECT_NODE_TRAVERSE: return true;
    case OX_SELECT_NODE_PASS_THROUGH:
        r = node->getMetaObjectFast()->isDerivedFrom(oxGroup::getClassTypeSafe())
                ? stopOrContinue(oxTraverseGroup(t, node))
                : OX_TRAVERSAL_CONTINUE;
        return false;
    default: r = OX_TRAVERSAL_CONTINUE; return false;
    }
}

// The box around the unskinned first-generation attributes, which is what a geometry that
// came without a bound is tested with; null when no attribute has positions.
oxAABox* makeBound(oxGeometry* node)
{
    oxBox3f box;
    bool found = false;
    for (int i = 0; i < node->getAttrCount(); ++i) {
        const auto* g = oxGeometryAttr::dynamicCast(node->getAttr(i));
        if (g && !g->getVertexFormat().isSkinned())
            found |= g->extendBounds(box);
    }
    if (!found)
        return nullptr;
    oxAABox* bound = oxAABox::_instantiateFromPool(node->getMemoryPool());
    bound->set(box);
    node->setBound(bound);
    return bound;
}

bool hasBlendData(const oxVertexArray2* vertices)
{
    const oxVertexDataList* list = vertices->getVertexDataList();
    for (int i = 0; list && i < list->getCount(); ++i) {
        const oxVertexData* d = list->get(i);
        if (d && (d->getComponentType() == OX_GFX_COMPONENT_BLEND_WEIGHT ||
                  d->getComponentType() == OX_GFX_COMPONENT_BLEND_INDEX))
            return true;
    }
    return false;
}

oxVec3f positionAt(const oxVertexStream& s, int vertex)
{
    float p[3];
    std::memcpy(p, s.at(vertex), sizeof p);
    return {p[0], p[1], p[2]};
}

// The ray in node space. For an affine inverse the direction is carried as a vector, so
// that an unlimited length (1e30, or infinity) stays unlimited instead of being pushed
// through the matrix as a far-away point.
void toNodeSpace(const oxRay& from, const oxMatrix44f& inverse, oxRay& to)
{
    if (!inverse.isAffine()) {
        to.set(from.getOrigin(), from.getDirection(), from.getLength());
        to.transform(inverse);
        return;
    }
    const oxVec3f d = inverse.transformVector(from.getDirection());
    const float scale = d.length();
    to.set(inverse.transformPoint(from.getOrigin()), d, from.getLength() * scale);
}

} // namespace

// ---- node functions --------------------------------------------------------------------

OX_TRAVERSAL_RETURN oxIntersectNode(oxTraversal*, oxObject*)
{
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxIntersectGroup(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxGroup*>(object);
    if (!node->getChildCount())
        return OX_TRAVERSAL_CONTINUE;
    oxIntersectTraversal* it = isect(t);
    it->pushNode(node);
    OX_TRAVERSAL_RETURN r = it->intersect(node);
    if (r == OX_TRAVERSAL_CONTINUE)
        r = oxTraverseGroup(t, node);
    it->popNode();
    return stopOrContinue(r);
}

OX_TRAVERSAL_RETURN oxIntersectTransform(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxTransform*>(object);
    OX_TRAVERSAL_RETURN r;
    if (!selected(t, node, r))
        return r;
    oxIntersectTraversal* it = isect(t);
    node->update(it->getWalkTime());
    it->pushNode(node);
    // The bound is in the parent's space: tested before the matrix applies.
    r = it->intersect(node);
    if (r == OX_TRAVERSAL_CONTINUE) {
        // Texture and vertex-blend matrices do not move the subtree's geometry where it is
        // drawn, so they do not move it here either.
        const int target = node->getTarget();
        const bool places = target < oxTransform::VERTEX_BLEND_MATRIX_0 || target > oxTransform::TEXTURE_MATRIX_7;
        if (places)
            it->pushMatrix(*node->getMatrix());
        r = oxTraverseGroup(t, node);
        if (places)
            it->popMatrix();
    }
    it->popNode();
    return stopOrContinue(r);
}

OX_TRAVERSAL_RETURN oxIntersectGeometry(oxTraversal* t, oxObject* object)
{
    auto* node = static_cast<oxGeometry*>(object);
    OX_TRAVERSAL_RETURN r;
    if (!selected(t, node, r))
        return r;
    if (!node->getBound() && !makeBound(node))
        return OX_TRAVERSAL_CONTINUE;
    oxIntersectTraversal* it = isect(t);
    it->pushNode(node);
    r = it->intersect(node);
    it->popNode();
    return stopOrContinue(r);
}

// ---- the tests -------------------------------------------------------------------------

OX_TRAVERSAL_RETURN oxIntersectTraversal::intersect(oxNode* node)
{
    const oxVolume* bound = node->getBound();
    // The probe is held for the node's tests: a hit function may replace it meanwhile.
    oxSmartPointer<oxProbe> probe = _probe;
    if (!bound || !probe || !_hitProc)
        return OX_TRAVERSAL_CONTINUE;
    // A copy: a hit function that pushes on the stack may move its storage.
    const oxMatrix44f top = _matStack->getTop();
    if (_matStack->getCount() > 1) {
        oxVolume* scratch = scratchVolume(bound);
        scratch->transform(top);
        bound = scratch;
    }

    oxHit record;
    record.probe = probe;
    record.path = _nodeStack;
    record.matrix = &top;
    if (_mode & VOLUME_VOLUME) {
        const oxVolume* volume = probe->getVolume();
        if (!volume || !volume->intersects(bound))
            return OX_TRAVERSAL_PRUNE;
        record.type = VOLUME_VOLUME;
        const OX_TRAVERSAL_RETURN r = hit(node, record);
        if (r != OX_TRAVERSAL_CONTINUE)
            return r;
    }

    static const oxMetaObject* geometryClass = oxGeometry::getClassTypeSafe();
    if (!(_mode & (RAYS_VOLUME | RAYS_POLYGON)) || !node->getMetaObjectFast()->isDerivedFrom(geometryClass))
        return OX_TRAVERSAL_CONTINUE;
    if (_mode & RAYS_VOLUME) {
        bool any = false;
        const oxRayList* rays = probe->getRayList();
        for (int j = 0; j < rays->getCount(); ++j) {
            oxSmartPointer<oxRay> ray = rays->get(j);
            float t;
            if (!ray || !bound->intersectRay(ray->getOrigin(), ray->getDirection(), ray->getLength(), t))
                continue;
            any = true;
            record.type = RAYS_VOLUME;
            record.ray = ray;
            const OX_TRAVERSAL_RETURN r = hit(node, record);
            if (r != OX_TRAVERSAL_CONTINUE)
                return r;
        }
        if (!any)
            return OX_TRAVERSAL_PRUNE;
    }
    if (_mode & RAYS_POLYGON)
        return intersectPolygons(node);
    return OX_TRAVERSAL_CONTINUE;
}

OX_TRAVERSAL_RETURN oxIntersectTraversal::intersectPolygons(oxNode* node)
{
    auto* geometry = static_cast<oxGeometry*>(node);
    oxSmartPointer<oxProbe> probe = _probe;
    const oxMatrix44f top = _matStack->getTop();
    const bool transformed = _matStack->getCount() > 1;
    oxMatrix44f inverse = top;
    // A singular matrix flattens the node to nothing a ray could meet.
    if (transformed && !(top.isAffine() ? inverse.invertAffine() : inverse.invert()))
        return OX_TRAVERSAL_CONTINUE;

    oxHit record;
    record.type = RAYS_POLYGON;
    record.probe = probe;
    record.path = _nodeStack;
    record.matrix = &top;
    const oxRayList* rays = probe->getRayList();
    for (int j = 0; j < rays->getCount(); ++j) {
        oxSmartPointer<oxRay> probeRay = rays->get(j);
        if (!probeRay)
            continue;
        const oxRay* ray = probeRay;
        if (transformed) {
            toNodeSpace(*probeRay, inverse, *_ray);
            ray = _ray;
        }
        const int sides = probe->getRaySides(j);
        record.ray = probeRay;
        for (int i = 0; i < geometry->getAttrCount(); ++i) {
            oxSmartPointer<oxAttr> attr = geometry->getAttr(i);
            int primitive = -1, position = -1;
            oxVec3f local, normal;
            while (intersectRay(attr, ray, local, normal, primitive, position, sides, true)) {
                record.attributeIndex = i;
                record.primitiveIndex = primitive;
                record.vertexPosition = position;
                record.localPoint = local;
                record.normal = normal;
                record.point = top.transformPoint(local);
                record.distance = (probeRay->getOrigin() - record.point).length();
                const OX_TRAVERSAL_RETURN r = hit(node, record);
                if (r != OX_TRAVERSAL_CONTINUE)
                    return r;
            }
        }
    }
    return OX_TRAVERSAL_CONTINUE;
}

namespace {

// What a triangle walk reads from an attribute, checked once.
struct TriangleSource {
    oxVertexStream positions;
    const oxIndexArray* indices = nullptr;
    const oxPrimLengthArray* lengths = nullptr;
    int vertexCount = 0, first = 0, count = 0;
    int64_t elements = 0;
    bool strips = false;

    // The attribute, when it is an unskinned triangle list or strip with float positions.
    const Attrs::oxBaseGeometryAttr* open(const oxAttr* attr)
    {
        const Attrs::oxBaseGeometryAttr* g;
        if (const auto* g1 = oxGeometryAttr::dynamicCast(attr)) {
            if (g1->getVertexFormat().isSkinned())
                return nullptr;
            g = g1;
        } else if (const auto* g2 = oxGeometryAttr2::dynamicCast(attr)) {
            if (g2->getVertexArray() && hasBlendData(g2->getVertexArray()))
                return nullptr;
            g = g2;
        } else
            return nullptr;
        const oxVertexArrayBase* vertices = g->getVertexSource();
        const OX_GFX_DRAW type = g->getPrimitiveType();
        if (!vertices || (type != OX_GFX_DRAW_TRIANGLES && type != OX_GFX_DRAW_TRIANGLE_STRIPS))
            return nullptr;
        positions = vertices->getStream(OX_GFX_COMPONENT_POSITION);
        if (!positions.isValid() || positions.scalarType != OX_GFX_SCALAR_FLOAT || positions.scalarCount < 3)
            return nullptr;
        strips = type == OX_GFX_DRAW_TRIANGLE_STRIPS;
        vertexCount = vertices->getVertexCount();
        first = g->getFirstVertex();
        count = g->getPrimitiveCount();
        indices = g->getIndexArray();
        lengths = g->getPrimLengthArray();
        elements = indices ? indices->getCount() : int64_t(vertexCount) - first;
        return g;
    }

    // At most this many triangles are walked.
    int64_t triangleBound() const { return strips ? elements : elements / 3; }

    // The triangles after (primitive, position) in walking order, vertex numbers and corners
    // in the winding they are drawn with; fn(primitive, position, v, a, b, c) answers true to
    // stop.
    template <class Fn>
    void walk(int primitive, int position, Fn&& fn) const
    {
        const int step = strips ? 1 : 3;
        int64_t at = 0;
        for (int p = 0; p < count; ++p) {
            // With lengths a primitive of n elements holds n - 2 triangles (a strip's
            // elements overlap, a run's follow one another); without, one triangle.
            int64_t triangles = 1, advance = step;
            if (lengths) {
                const int64_t n = p < lengths->getCount() ? int64_t(lengths->get(p)) : 0;
                triangles = n > 2 ? n - 2 : 0;
                advance = strips ? n : triangles * 3;
            }
            const int64_t start = at;
            if (p < primitive) {
                at += advance;
                continue;
            }
            // Without lengths every triangle continues one strip from element 0.
            const int64_t stripStart = lengths ? start : 0;
            for (int64_t k = 0; k < triangles; ++k, at += step) {
                if (at + 2 >= elements)
                    return;
                if (p == primitive && at <= position)
                    continue;
                int64_t n[3];
                for (int c = 0; c < 3; ++c)
                    n[c] = (indices ? int64_t((*indices)[int(at + c)]) : at + c) + first;
                if (n[0] < 0 || n[1] < 0 || n[2] < 0 || n[0] >= vertexCount || n[1] >= vertexCount ||
                    n[2] >= vertexCount)
                    continue;
                int32_t v[3] = {int32_t(n[0]), int32_t(n[1]), int32_t(n[2])};
                // Every other triangle of a strip is wound the other way round when drawn.
                if (strips && ((at - stripStart) & 1))
                    std::swap(v[0], v[1]);
                if (fn(p, int(at), v, positionAt(positions, v[0]), positionAt(positions, v[1]),
                       positionAt(positions, v[2])))
                    return;
            }
            if (strips && lengths)
                at = start + advance;
        }
    }
};

// The triangles of one attribute in a hierarchy of boxes, kept in the attribute's cache,
// which also knows when the vertices the tree reads in place change. It answers what the
// walk would: the first hit after a given triangle in walking order.
class TriangleSearch : public Attrs::oxGeometryCache {
public:
    // False when memory runs out; the walk then serves until the attribute changes.
    bool build(const TriangleSource& source)
    {
        try {
            std::vector<oxTriangleBVH::Triangle> triangles;
            triangles.reserve(size_t(std::min<int64_t>(source.triangleBound(), int64_t(1) << 26)));
            source.walk(-1, -1, [&](int p, int position, const int32_t* v, const oxVec3f&, const oxVec3f&,
                                    const oxVec3f&) {
                triangles.push_back({{v[0], v[1], v[2]}, keyOf(p, position)});
                return false;
            });
            _ready = _tree.build(source.positions.data, size_t(source.positions.stride), source.vertexCount,
                                 triangles);
        } catch (const std::bad_alloc&) {
            _ready = false;
        }
        return _ready;
    }
    bool isReady() const { return _ready; }

    bool next(const oxVec3f& origin, const oxVec3f& direction, float length, ISET_SIDES sides, int& primitive,
              int& position, oxVec3f& point, oxVec3f& normal)
    {
        // One ray's hits are asked for one after another: the tree is searched once.
        if (!_asked || origin != _origin || direction != _direction || length != _length || sides != _sides) {
            _hits.clear();
            _tree.intersectRay(origin, direction, length, sides, _hits);
            std::sort(_hits.begin(), _hits.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
            _origin = origin;
            _direction = direction;
            _length = length;
            _sides = sides;
            _asked = true;
        }
        // Keys run in walking order; the place asked about may be no triangle's.
        auto after = [&](const oxTriangleBVH::Hit& h) {
            const int p = int(h.key >> 32), q = int(uint32_t(h.key));
            return p > primitive || (p == primitive && q > position);
        };
        auto hit = std::partition_point(_hits.begin(), _hits.end(), [&](const auto& h) { return !after(h); });
        if (hit == _hits.end())
            return false;
        point = origin + direction * hit->t;
        normal = hit->normal;
        primitive = int(hit->key >> 32);
        position = int(uint32_t(hit->key));
        return true;
    }

private:
    static uint64_t keyOf(int primitive, int position) { return uint64_t(uint32_t(primitive)) << 32 | uint32_t(position); }

    oxTriangleBVH _tree;
    bool _ready = false;
    bool _asked = false;
    oxVec3f _origin, _direction;
    float _length = 0;
    ISET_SIDES _sides = ISET_BOTH;
    std::vector<oxTriangleBVH::Hit> _hits;
};

int g_searchThreshold = 128;

// The attribute's search, built on first need; null when it cannot be had.
TriangleSearch* searchOf(const Attrs::oxBaseGeometryAttr* g, const TriangleSource& source)
{
    if (auto* search = dynamic_cast<TriangleSearch*>(g->getCache()))
        return search->isReady() ? search : nullptr;
    try {
        auto search = std::make_unique<TriangleSearch>();
        search->build(source);
        TriangleSearch* made = search.get();
        g->setCache(std::move(search));
        return made->isReady() ? made : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

void oxIntersectTraversal::setTriangleSearchThreshold(int triangles)
{
    g_searchThreshold = triangles;
}

int oxIntersectTraversal::getTriangleSearchThreshold()
{
    return g_searchThreshold;
}

bool oxIntersectTraversal::intersectRay(const oxAttr* attr, const oxRay* ray, oxVec3f& point, oxVec3f& normal,
                                        int& primitive, int& position, int sides, bool resume)
{
    TriangleSource source;
    const Attrs::oxBaseGeometryAttr* g = attr && ray ? source.open(attr) : nullptr;
    if (!g)
        return false;
    if (!resume || primitive == -1 || position == -1)
        primitive = position = -1;
    const oxVec3f origin = ray->getOrigin(), direction = ray->getDirection();
    const float length = ray->getLength();
    const ISET_SIDES side = ISET_SIDES(sides & ISET_BOTH);
    if (source.triangleBound() >= g_searchThreshold)
        if (TriangleSearch* search = searchOf(g, source))
            return search->next(origin, direction, length, side, primitive, position, point, normal);

    bool found = false;
    source.walk(primitive, position,
                [&](int p, int at, const int32_t*, const oxVec3f& a, const oxVec3f& b, const oxVec3f& c) {
        float t;
        if (!oxIntersectRayTriangle(origin, direction, a, b, c, side, &t, nullptr, nullptr) || t > length)
            return false;
        point = origin + direction * t;
        normal = (b - a).cross(c - a).normalized();
        primitive = p;
        position = at;
        found = true;
        return true;
    });
    return found;
}

// ---- registration ----------------------------------------------------------------------

namespace {

const oxTraversalFunctionRow kFunctions[] = {
    {&oxGeometry::getClassTypeSafe, &oxIntersectGeometry},
    {&oxTransform::getClassTypeSafe, &oxIntersectTransform},
    {&oxGroup::getClassTypeSafe, &oxIntersectGroup},
    {&oxNode::getClassTypeSafe, &oxIntersectNode},
};

} // namespace

void oxIntersectTraversal::_registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
{
    oxTraversal::_registerClass(list, meta);
    if (!meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        return;
    if (oxTraversalFunction fn = _findNearestFunction(kFunctions, meta))
        _setFunction(list, meta, fn);
}

// ---- the traversal object ------------------------------------------------------------

// The probe and mode are settings and are stored; stacks and scratch are the walk's own.
void oxIntersectTraversal::arkRegisterInitialize(oxFields<oxIntersectTraversal>& f)
{
    f.add(OX_FIELD(matStack)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(nodeStack)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(probe)).constructWithOwner();
    f.add(OX_FIELD(mode)).setDefault(int(VOLUME_VOLUME | RAYS_POLYGON));
    f.add(OX_FIELD(hitProc));
    f.add(OX_FIELD(volumes)).notPersistent();
    f.add(OX_FIELD(ray)).constructWithOwner().notPersistent();
}

void oxIntersectTraversal::userInstantiate(bool forFileRead)
{
    oxTraversal::userInstantiate(forFileRead);
    if (forFileRead)
        return;
    makeScratchVolumes();
    reset();
}

void oxIntersectTraversal::userResetFields(bool forFileRead)
{
    oxTraversal::userResetFields(forFileRead);
    // The defaults leave no table: back to the class's.
    cacheTravProcs();
    makeScratchVolumes();
    reset();
}

void oxIntersectTraversal::postFileRead()
{
    oxTraversal::postFileRead();
    if (!_travProcs)
        cacheTravProcs();
    makeScratchVolumes();
    reset();
}

void oxIntersectTraversal::makeScratchVolumes()
{
    // Filled as bounds of each class turn up: a walk meets one or two volume classes, and a
    // search of the registry for all of them would cost a pick more than its walk.
    _volumes = oxVolumeList::_instantiateFromPool(getMemoryPool());
}

oxVolume* oxIntersectTraversal::findScratchVolume(oxMetaObject* cls)
{
    // A handful of volume classes exist: a scan beats any lookup structure.
    for (int i = 0; i < _volumes->getCount(); ++i)
        if (_volumes->get(i)->getMetaObjectFast() == cls)
            return _volumes->get(i);
    auto* scratch = static_cast<oxVolume*>(cls->createInstance(getMemoryPool()));
    if (scratch)
        _volumes->append(scratch);
    return scratch;
}

oxVolume* oxIntersectTraversal::scratchVolume(const oxVolume* bound)
{
    if (oxVolume* scratch = findScratchVolume(bound->getMetaObjectFast())) {
        scratch->copy(bound);
        return scratch;
    }
    // A class that cannot be made stands in as its enclosing box, which errs towards hits.
    auto* box = static_cast<oxAABox*>(findScratchVolume(oxAABox::getClassTypeSafe()));
    box->set(bound->getBox());
    return box;
}

void oxIntersectTraversal::reset()
{
    _matStack->removeAll();
    _matStack->pushMatrix(oxMatrix44f());
    _nodeStack->removeAll();
}

bool oxIntersectTraversal::popMatrix()
{
    if (_matStack->getCount() <= 1)
        return false;
    return _matStack->pop();
}

void oxIntersectTraversal::apply(oxNode* root)
{
    const char* problem = nullptr;
    if (!root)
        problem = "no root";
    else if (!_probe)
        problem = "no probe";
    else if (!_hitProc)
        problem = "no hit function";
    else if ((_mode & VOLUME_VOLUME) && !_probe->getVolume())
        problem = "volume tests asked for but the probe has no volume";
    else if (!_travProcs)
        problem = "no traversal functions";
    if (problem) {
        oxReportWarning("intersection refused: %s", problem);
        return;
    }
    // One time for the whole walk: every transform moves to the same moment, and the clock
    // is read once, not per transform.
    _walkTime = getTimeAsLong();
    _walkTimeSet = true;
    oxTraversal::apply(root);
    _walkTimeSet = false;
}

// ---- picking -----------------------------------------------------------------------------

namespace {

// Where the pick in progress keeps its hits (picks may nest through a hit function).
std::vector<oxPickHit>* g_pickHits = nullptr;

OX_TRAVERSAL_RETURN keepPolygonHit(oxIntersectTraversal*, oxNode*, const oxHit& hit)
{
    if (hit.type != oxIntersectTraversal::RAYS_POLYGON)
        return OX_TRAVERSAL_CONTINUE;
    oxPickHit kept;
    kept.path = oxNodeList::_instantiateRef();
    kept.path->setCapacity(hit.path->getCount());
    for (int i = 0; i < hit.path->getCount(); ++i)
        kept.path->append(hit.path->get(i));
    kept.distance = hit.distance;
    kept.point = hit.point;
    kept.localPoint = hit.localPoint;
    kept.normal = hit.normal;
    kept.attributeIndex = hit.attributeIndex;
    kept.primitiveIndex = hit.primitiveIndex;
    kept.vertexPosition = hit.vertexPosition;
    g_pickHits->push_back(std::move(kept));
    return OX_TRAVERSAL_CONTINUE;
}

} // namespace

bool oxPickRay(oxNode* root, const oxVec3f& origin, const oxVec3f& direction, float length, int sides,
               std::vector<oxPickHit>& hits, const oxMatrix44f* base)
{
    hits.clear();
    const char* problem = !root                                 ? "no root"
                          : !(direction.lengthSquared() > 0)    ? "the ray has no direction"
                          : !(length >= 0)                      ? "the ray's length is negative"
                                                                : nullptr;
    if (problem) {
        oxReportWarning("pick refused: %s", problem);
        return false;
    }
    oxSmartPointer<oxIntersectTraversal> t = oxIntersectTraversal::_instantiateRef();
    oxProbe* probe = t->getProbe();
    if (probe->appendRay(origin, direction, length, sides) < 0)
        return false;
    // An unlimited ray ends far enough for any scene, and still on finite coordinates.
    oxSmartPointer<oxCapsule> segment = oxCapsule::_instantiateRef();
    segment->set(origin, probe->getRay(0)->getPoint(std::min(length, 1e30f)), 0);
    probe->setVolume(segment);
    t->clearMode(~0);
    t->setMode(oxIntersectTraversal::VOLUME_VOLUME | oxIntersectTraversal::RAYS_POLYGON);
    t->setHitFunction(&keepPolygonHit);
    t->reset();
    if (base)
        t->getBaseMatrix() = *base;
    std::vector<oxPickHit>* outer = g_pickHits;
    g_pickHits = &hits;
    t->apply(root);
    g_pickHits = outer;
    std::stable_sort(hits.begin(), hits.end(),
                     [](const oxPickHit& a, const oxPickHit& b) { return a.distance < b.distance; });
    return true;
}

} // namespace Kel::Sg
