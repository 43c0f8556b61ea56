#pragma once
#include <vector>

#include "platform/attrs/oxAttr.h"
#include "sg/traversal/oxProbe.h"
#include "sg/traversal/oxTraversal.h"

namespace Kel::Sg {

class oxIntersectTraversal;

// One hit, as the hit function sees it. It lives only for the call: the path and the matrix
// are the traversal's own stacks, which move on when the function returns.
struct oxHit {
    int type = 0;                          // the mode bit that found it: 1 volume, 2 ray-volume, 4 ray-polygon
    oxProbe* probe = nullptr;
    oxNodeList* path = nullptr;            // root first, the hit node last
    const oxMatrix44f* matrix = nullptr;   // node space to probe space
    const oxRay* ray = nullptr;            // the probe's ray (probe space); null for volume hits
    // Polygon hits only.
    float distance = 0;                    // from the ray origin, in probe space
    oxVec3f point;                         // probe space
    oxVec3f localPoint;                    // node space
    oxVec3f normal;                        // unit, node space, on the triangle's front side
    int attributeIndex = -1;               // in the node's attribute list
    int primitiveIndex = -1;               // strip or triangle run
    int vertexPosition = -1;               // first vertex of the triangle in the index (or vertex) stream
};

// Called for every hit; CONTINUE goes on, PRUNE skips the node's remaining tests and its
// children, STOP ends the walk.
using oxIntersectHitFunction = OX_TRAVERSAL_RETURN (*)(oxIntersectTraversal* traversal, oxNode* node,
                                                       const oxHit& hit);

// Paths kept by applications, one node list per hit.
OX_OBJECT_LIST(oxIntersectPathList, oxNodeList)

// Finds what a probe touches. The walk accumulates transforms, compares node bounds (in
// probe space) with the probe volume and rays, compares the rays (in node space) with the
// triangles of geometry, and hands every hit to the hit function. Nodes without a bound are
// passed over but their children are not; geometry without a bound gets one from its
// unskinned first-generation attributes the first time it is met.
//
//   probe->setVolume(sphere);
//   probe->appendRay(eye, direction, 1000, ISET_FRONT);
//   isect->setProbe(probe);
//   isect->setHitFunction(&onHit);
//   isect->setMode(oxIntersectTraversal::RAYS_POLYGON);   // on top of the default 5
//   isect->reset();
//   isect->apply(root);
//
// reset() before every walk: it puts back the base matrix, which the caller may then set.
class oxIntersectTraversal : public oxTraversal {
    OX_TRAVERSAL_CLASS(oxIntersectTraversal, oxTraversal)
    OX_FIELDS(matStack, nodeStack, probe, mode, hitProc, volumes, ray)
public:
    OX_ENUM(ISECT_TRAVERSAL_MODE, START_BIT = 0, VOLUME_VOLUME = 1, RAYS_VOLUME = 2, RAYS_POLYGON = 4,
            HIT_NORMAL = 16, END_BIT = 16)

    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);

    void setProbe(oxProbe* probe) { _probe = probe; }
    oxProbe* getProbe() const { return _probe; }
    void setHitFunction(oxIntersectHitFunction fn) { _hitProc = fn; }
    oxIntersectHitFunction getHitFunction() const { return _hitProc; }
    void setMode(int bits) { _mode |= bits; }
    void clearMode(int bits) { _mode &= ~bits; }
    int getMode(int bits) const { return _mode & bits; }

    oxNodeList* getNodeStack() const { return _nodeStack; }
    const oxMatrix44f& getTopMatrix() const { return _matStack->getTop(); }
    // The probe-space transform of the root: set it after reset(), before apply().
    oxMatrix44f& getBaseMatrix() { return (*_matStack)[0]; }
    const oxMatrix44f& getBaseMatrix() const { return (*_matStack)[0]; }
    // Pushes m × top: m applies first.
    void pushMatrix(const oxMatrix44f& m) { _matStack->pushMultiplied(m); }
    // The base matrix stays: false when only it is left.
    bool popMatrix();
    void pushNode(oxNode* node) { _nodeStack->append(node); }
    bool popNode() { return _nodeStack->remove(_nodeStack->getCount() - 1); }

    // Empties the stacks and puts the identity back as the base matrix.
    void reset();
    // Refuses (with a warning, walking nothing) a null root, a missing probe or hit
    // function, and volume tests without a probe volume.
    void apply(oxNode* root) override;

    // The time transforms are updated to: read once per apply(), or now for a walk started
    // by hand.
    int64_t getWalkTime() const { return _walkTimeSet ? _walkTime : getTimeAsLong(); }

    // The tests of one node against the probe (its bound, then its triangles).
    OX_TRAVERSAL_RETURN intersect(oxNode* node);
    // The next triangle of a geometry attribute that `ray` (in the attribute's space) hits
    // on `sides`, after the one at (primitive, position) in walking order: primitives in
    // order, triangles by their first element. With `resume` false, or primitive and
    // position -1, the walk starts at the beginning. On a hit, fills point and the unit
    // normal (on the side the triangle faces as drawn), sets primitive and position, and
    // returns true. Only unskinned triangle lists and strips of oxGeometryAttr and
    // oxGeometryAttr2 are searched; anything else, and indices beyond the vertices, are
    // passed over.
    //
    // Attributes of at least getTriangleSearchThreshold() triangles are searched through a
    // hierarchy of boxes, built on first need and kept in the attribute's cache until the
    // attribute changes; the answers are the walk's, hit for hit. A resumed call with the
    // same ray reuses the first call's search.
    static bool intersectRay(const Attrs::oxAttr* attr, const oxRay* ray, oxVec3f& point, oxVec3f& normal,
                             int& primitive, int& position, int sides, bool resume);
    // For the whole process; a threshold beyond any attribute's size walks every triangle.
    static void setTriangleSearchThreshold(int triangles);
    static int getTriangleSearchThreshold();

    void userInstantiate(bool forFileRead) override;
    void userResetFields(bool forFileRead) override;
    void postFileRead() override;

protected:
    oxIntersectTraversal() = default;
    static void arkRegisterInitialize(oxFields<oxIntersectTraversal>& f);
    // A fresh list of scratch volumes, one per volume class met.
    void makeScratchVolumes();
    // The scratch volume of a class, made on first need; null when the class cannot be made.
    oxVolume* findScratchVolume(oxMetaObject* cls);
    // A scratch copy of the bound, to be moved into probe space.
    oxVolume* scratchVolume(const oxVolume* bound);
    OX_TRAVERSAL_RETURN hit(oxNode* node, oxHit& record) { return _hitProc(this, node, record); }
    OX_TRAVERSAL_RETURN intersectPolygons(oxNode* node);

    oxSmartPointer<oxMatrixStack> _matStack;
    oxSmartPointer<oxNodeList> _nodeStack;
    oxSmartPointer<oxProbe> _probe;
    int _mode = VOLUME_VOLUME | RAYS_POLYGON;
    oxIntersectHitFunction _hitProc = nullptr;
    oxSmartPointer<oxVolumeList> _volumes;
    oxSmartPointer<oxRay> _ray;
    int64_t _walkTime = 0;
    bool _walkTimeSet = false;
};

// One triangle a pick found, kept after the walk.
struct oxPickHit {
    oxSmartPointer<oxNodeList> path; // root first, the geometry last
    float distance = 0;              // along the ray
    oxVec3f point;                   // the ray's space
    oxVec3f localPoint;              // the geometry's space
    oxVec3f normal;                  // unit, the geometry's space
    int attributeIndex = -1;
    int primitiveIndex = -1;
    int vertexPosition = -1;
};

// Every triangle under `root` that the ray from `origin` along `direction` meets within
// `length` on `sides`, nearest first (equal distances in walking order). The ray is in the
// root's space, or in the space `base` takes the root to. Subtrees whose bounds the ray
// misses are not entered: the probe volume is the ray's segment (a capsule of radius 0).
// False, with a warning and no hits, for a null root, a ray without direction, a negative
// length or bad sides.
bool oxPickRay(oxNode* root, const oxVec3f& origin, const oxVec3f& direction, float length, int sides,
               std::vector<oxPickHit>& hits, const oxMatrix44f* base = nullptr);

// The node functions.
OX_TRAVERSAL_RETURN oxIntersectNode(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxIntersectGroup(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxIntersectTransform(oxTraversal* t, oxObject* node);
OX_TRAVERSAL_RETURN oxIntersectGeometry(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg
