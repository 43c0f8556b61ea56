#include "sg/traversal/oxFrustCullTraversal.h"

#include <cmath>

#include "sg/shaders/oxPlanarShadowShader.h"

namespace Kel::Sg {

namespace {

// 1 / the outer frustum scale of the last traversal that set one: the outer frustum is
// shared by every frustum-culling traversal of the process, as is the clip window it
// stands for.
float g_outerReciprocal = 1.0f;

struct Corners {
    float x[8], y[8], z[8], w[8];
};

// The eight corners in clip space: the first one as a point, the others by adding the
// box's edges along the three axes, each an edge length times a row of the matrix.
void clipCorners(const oxVec3f& min, const oxVec3f& max, const oxMatrix44f& m, Corners& c)
{
    const oxVec4f base = m.transform(oxVec4f(min, 1.0f));
    const oxVec4f ex = m.getRow(0) * (max.x - min.x);
    const oxVec4f ey = m.getRow(1) * (max.y - min.y);
    const oxVec4f ez = m.getRow(2) * (max.z - min.z);
    for (int i = 0; i < 8; ++i) {
        oxVec4f p = base;
        if (i & 1)
            p = p + ex;
        if (i & 2)
            p = p + ey;
        if (i & 4)
            p = p + ez;
        c.x[i] = p.x;
        c.y[i] = p.y;
        c.z[i] = p.z;
        c.w[i] = p.w;
    }
}

// For each corner, one bit per plane on whose inner side it lies; a corner on a plane is
// outside it. Returns the OR and the AND of the corners' bits.
void planeBits(const Corners& c, float scale, int& any, int& all)
{
    any = 0;
    all = 63;
    for (int i = 0; i < 8; ++i) {
        const float x = c.x[i] * scale, y = c.y[i] * scale, z = c.z[i] * scale, w = c.w[i];
        const int bits = (x > -w) | (x < w) << 1 | (y > -w) << 2 | (y < w) << 3 | (z > -w) << 4 | (z < w) << 5;
        any |= bits;
        all &= bits;
    }
}

OX_TRAVERSAL_RETURN stopOrContinue(OX_TRAVERSAL_RETURN r)
{
    return r == OX_TRAVERSAL_STOP ? OX_TRAVERSAL_STOP : OX_TRAVERSAL_CONTINUE;
}

// What the draw traversal does with the node, children going through this traversal's
// table again.
OX_TRAVERSAL_RETURN drawNode(oxTraversal* t, oxObject* node)
{
    return oxTraversal::_dispatch(oxCommonTraversal::travProcs, t, node);
}

} // namespace

int oxFrustCullTraversal::testBox(const oxVec3f& min, const oxVec3f& max, const oxMatrix44f& matrix)
{
    Corners c;
    clipCorners(min, max, matrix, c);
    bool allBehind = true;
    for (float w : c.w)
        allBehind = allBehind && std::signbit(w);
    if (allBehind)
        return kBoxCulled;
    int any, all;
    planeBits(c, 1.0f, any, all);
    if (any < 63)
        return kBoxCulled;
    if (all == 63)
        return kBoxInside;
    if (g_outerReciprocal == 1.0f)
        return kBoxCrossing;
    planeBits(c, g_outerReciprocal, any, all);
    return all == 63 ? kBoxInsideOuter : kBoxCrossing;
}

bool oxFrustCullTraversal::setOuterFrustCullScale(float s)
{
    if (!(s >= 1.0f && s < _outerScissorWindowScale))
        return false;
    _outerFrustCullScale = s;
    g_outerReciprocal = 1.0f / s;
    return true;
}

bool oxFrustCullTraversal::setOuterScissorWindowScale(float s)
{
    if (!(s > _outerFrustCullScale && s >= 1.0f))
        return false;
    _outerScissorWindowScale = s;
    return true;
}

const oxAABox* oxFrustCullTraversal::cullingBox(const oxNode* node)
{
    const oxVolume* bound = node->getBound();
    if (!bound)
        return nullptr;
    const oxAABox* box;
    if (bound->getMetaObjectFast() == oxAABox::getClassTypeSafe())
        box = static_cast<const oxAABox*>(bound);
    else {
        _boundingBox->empty();
        _boundingBox->extendBy(bound);
        box = _boundingBox;
    }
    // An empty bound says nothing about where the node draws (a light set, say, may have no
    // extent of its own): it is not tested.
    return box->isEmpty() ? nullptr : box;
}

OX_TRAVERSAL_RETURN oxFrustCullNode(oxTraversal* t, oxObject* object)
{
    auto* ft = static_cast<oxFrustCullTraversal*>(t);
    const int mode = ft->getMode(oxFrustCullTraversal::FRUST_CULL | oxFrustCullTraversal::SMALL_FEATURE_CULL);
    const oxAABox* box = mode ? ft->cullingBox(static_cast<oxNode*>(object)) : nullptr;
    if (!box)
        return drawNode(t, object);

    int code = oxFrustCullTraversal::kBoxCrossing;
    if (mode & oxFrustCullTraversal::FRUST_CULL) {
        code = oxFrustCullTraversal::testBox(box->getMin(), box->getMax(), ft->getCompositeMatrix());
        if (code == oxFrustCullTraversal::kBoxCulled)
            return OX_TRAVERSAL_CONTINUE;
    }
    if (mode & oxFrustCullTraversal::SMALL_FEATURE_CULL) {
        const oxVec3f centre = (box->getMin() + box->getMax()) * 0.5f;
        const float size2 = (box->getMax() - box->getMin()).lengthSquared();
        const float d = ft->computeModelSpaceDiameter(centre, ft->getSmallFeatureCullPixelSize());
        if (size2 < d * d)
            return OX_TRAVERSAL_CONTINUE;
    }
    if (!(mode & oxFrustCullTraversal::FRUST_CULL))
        return drawNode(t, object);
    if (code == oxFrustCullTraversal::kBoxCrossing)
        return stopOrContinue(drawNode(t, object));
    // Wholly inside: nothing below can be outside.
    ft->clearMode(oxFrustCullTraversal::FRUST_CULL);
    const OX_TRAVERSAL_RETURN r = drawNode(t, object);
    ft->setMode(oxFrustCullTraversal::FRUST_CULL);
    return stopOrContinue(r);
}

OX_TRAVERSAL_RETURN oxFrustCullPlanarShadowShader(oxTraversal* t, oxObject* node)
{
    return drawNode(t, node);
}

void oxFrustCullTraversal::_registerClass(oxTraversalFunctionList* list, oxMetaObject* meta)
{
    oxCommonTraversal::_registerClass(list, meta);
    if (meta->isDerivedFrom(oxPlanarShadowShader::getClassTypeSafe()))
        _setFunction(list, meta, &oxFrustCullPlanarShadowShader);
    else if (meta->isDerivedFrom(oxNode::getClassTypeSafe()))
        _setFunction(list, meta, &oxFrustCullNode);
}

void oxFrustCullTraversal::arkRegisterInitialize(oxFields<oxFrustCullTraversal>& f)
{
    f.redeclare(nullptr, "_modeMask", int(FRUST_CULL));
    f.add(OX_FIELD(cd)).constructWithOwner();
    f.add(OX_FIELD(outerFrustCullScale)).setDefault(1.0f);
    f.add(OX_FIELD(outerScissorWindowScale)).setDefault(2.0f);
    f.add(OX_FIELD(boundingBox)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(smallFeatureCullPixelSize)).setDefault(5.0f);
}

void oxFrustCullTraversal::userInstantiate(bool forFileRead)
{
    oxCommonTraversal::userInstantiate(forFileRead);
    if (forFileRead)
        return;
    setMode(FRUST_CULL);
    _cd->setEnabled(false);
    setPrefetchBounds(true);
}

} // namespace Kel::Sg
