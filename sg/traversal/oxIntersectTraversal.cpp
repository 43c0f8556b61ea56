#include "sg/traversal/oxIntersectTraversal.h"

#include <cstring>

#include "platform/attrs/oxGeometryAttr2.h"
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
    node->update(t->getTimeAsLong());
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

bool oxIntersectTraversal::intersectRay(const oxAttr* attr, const oxRay* ray, oxVec3f& point, oxVec3f& normal,
                                        int& primitive, int& position, int sides, bool resume)
{
    if (!attr || !ray)
        return false;
    const Attrs::oxBaseGeometryAttr* g;
    if (const auto* g1 = oxGeometryAttr::dynamicCast(attr)) {
        if (g1->getVertexFormat().isSkinned())
            return false;
        g = g1;
    } else if (const auto* g2 = oxGeometryAttr2::dynamicCast(attr)) {
        if (g2->getVertexArray() && hasBlendData(g2->getVertexArray()))
            return false;
        g = g2;
    } else
        return false;

    const oxVertexArrayBase* vertices = g->getVertexSource();
    const OX_GFX_DRAW type = g->getPrimitiveType();
    if (!vertices || (type != OX_GFX_DRAW_TRIANGLES && type != OX_GFX_DRAW_TRIANGLE_STRIPS))
        return false;
    const oxVertexStream positions = vertices->getStream(OX_GFX_COMPONENT_POSITION);
    if (!positions.isValid() || positions.scalarType != OX_GFX_SCALAR_FLOAT || positions.scalarCount < 3)
        return false;
    const int vertexCount = vertices->getVertexCount();
    const int first = g->getFirstVertex();
    const oxIndexArray* indices = g->getIndexArray();
    const oxPrimLengthArray* lengths = g->getPrimLengthArray();
    const int64_t elements = indices ? indices->getCount() : int64_t(vertexCount) - first;
    if (!resume || primitive == -1 || position == -1)
        primitive = position = -1;

    const bool strips = type == OX_GFX_DRAW_TRIANGLE_STRIPS;
    const int step = strips ? 1 : 3;
    const oxVec3f origin = ray->getOrigin(), direction = ray->getDirection();
    const float length = ray->getLength();
    const ISET_SIDES side = ISET_SIDES(sides & ISET_BOTH);
    const int count = g->getPrimitiveCount();
    int64_t at = 0;
    for (int p = 0; p < count; ++p) {
        // With lengths a primitive of n elements holds n - 2 triangles (a strip's elements
        // overlap, a run's follow one another); without, one triangle.
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
                return false;
            if (p == primitive && at <= position)
                continue;
            int64_t v[3];
            for (int c = 0; c < 3; ++c)
                v[c] = (indices ? int64_t((*indices)[int(at + c)]) : at + c) + first;
            if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[0] >= vertexCount || v[1] >= vertexCount ||
                v[2] >= vertexCount)
                continue;
            oxVec3f a = positionAt(positions, int(v[0])), b = positionAt(positions, int(v[1])),
                    c = positionAt(positions, int(v[2]));
            // Every other triangle of a strip is wound the other way round when drawn.
            if (strips && ((at - stripStart) & 1))
                std::swap(a, b);
            float t;
            if (!oxIntersectRayTriangle(origin, direction, a, b, c, side, &t, nullptr, nullptr) || t > length)
                continue;
            point = origin + direction * t;
            normal = (b - a).cross(c - a).normalized();
            primitive = p;
            position = int(at);
            return true;
        }
        if (strips && lengths)
            at = start + advance;
    }
    return false;
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

void oxIntersectTraversal::_registerDependencies()
{
    // The volume classes of bounds, so that a new traversal has scratch copies of them.
    oxAABox::arkRegister();
    oxSphere::arkRegister();
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
    _volumes = oxVolumeList::_instantiateFromPool(getMemoryPool());
    const oxMetaObject* volume = oxVolume::getClassTypeSafe();
    for (int i = 0; i < oxMetaObject::getRegisteredCount(); ++i) {
        oxMetaObject* meta = oxMetaObject::getRegistered(i);
        if (meta->isDerivedFrom(volume) && meta->canInstantiate())
            _volumes->append(static_cast<oxVolume*>(meta->createInstance(getMemoryPool())));
    }
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
    oxTraversal::apply(root);
}

} // namespace Kel::Sg
