#pragma once
#include "platform/math/oxVolume.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

using Math::oxAABox;

// Computes axis-aligned boxes over a graph and, on request, stores them as the bounds of the
// nodes whose extent cannot change: culling and intersection test only nodes with a bound,
// so this is how a graph gets them. Extents come from the geometry's vertices and are
// carried up through transforms. A node flagged IS_DYNAMIC, a transform driven by a source,
// and skinned geometry get no bound, nor do their ancestors: a stored bound is never wrong,
// it can only be missing. Skinned extents are gathered apart, untransformed.
//
// A node that already has a bound is taken at its word and not descended into; removeAll
// clears the bounds of a graph first when they must be computed again.
class oxActor;

class oxBoundingBoxesMaker : public oxObject {
    OX_CLASS(oxBoundingBoxesMaker, oxObject)
    OX_FIELDS(time, useWholeAnimation, setBoundingBoxes, skinnedBox)
public:
    // Transforms are evaluated at `t` (ns), not over their whole animation.
    void setTime(int64_t t)
    {
        _time = t;
        _useWholeAnimation = false;
    }
    int64_t getTime() const { return _time; }
    void setUseWholeAnimation() { _useWholeAnimation = true; }
    bool getUseWholeAnimation() const { return _useWholeAnimation; }

    // Computes and stores bounds below and at `root`; false for a null root.
    bool apply(oxNode* root);
    // The extent of `node`'s subtree, storing nothing.
    void getBoundingBox(oxNode* node, oxAABox* box);
    oxSmartPointer<oxAABox> getBoundingBox(oxNode* node);
    // Releases the bounds of the subtree (an actor's: of its skin), except those of light
    // sets and joints; false for null.
    bool removeAll(oxNode* node);
    // Releases bounds that say no more than the single child's below them.
    void optimize(oxNode* node);

    // The skinned extent met by the last walk, in the skinned geometry's own space.
    const oxAABox* getSkinnedBox() const { return _skinnedBox; }

protected:
    oxBoundingBoxesMaker() = default;
    static void arkRegisterInitialize(oxFields<oxBoundingBoxesMaker>& f);
    // Adds the node's extent to `out`; true when that extent may be stored on it.
    bool walk(oxNode* node, oxBox3f& out);
    bool walkActor(oxActor* actor, oxBox3f& box);
    bool walkTransform(oxNode* node, oxBox3f& box);

    int64_t _time = -1;
    bool _useWholeAnimation = true;
    bool _setBoundingBoxes = true;
    oxSmartPointer<oxAABox> _skinnedBox;
};

} // namespace Kel::Sg
