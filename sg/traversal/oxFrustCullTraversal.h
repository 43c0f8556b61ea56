#pragma once
#include "platform/attrs/oxStateAttrs.h"
#include "platform/math/oxVolume.h"
#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

using Attrs::oxClippingStateAttr;
using Math::oxAABox;

// The draw traversal with view-frustum and small-feature culling in front of every node: a
// node whose bound lies outside the view volume, or covers fewer pixels than a threshold, is
// skipped with its subtree. A bound wholly inside the view volume switches the frustum test
// off below it, so a visible subtree costs one test, not one per node. Nodes without a bound
// are never culled: the bounds maker is how a graph gets its bounds.
//
// An optional outer frustum, the view frustum enlarged by a scale, lets a bound that crosses
// the view volume but stays inside the enlarged one be drawn without testing its children;
// for geometry that a clip window (scissor) at least that large trims anyway.
class oxFrustCullTraversal : public oxCommonTraversal {
    OX_TRAVERSAL_CLASS(oxFrustCullTraversal, oxCommonTraversal)
    OX_FIELDS(cd, outerFrustCullScale, outerScissorWindowScale, boundingBox, smallFeatureCullPixelSize)
public:
    // The _BIT items are bit numbers, the others masks of the mode.
    OX_ENUM(FRUST_CULL_TRAVERSAL_FLAG, FRUST_CULL_START_BIT = 1, FRUST_CULL_BIT = 1, SMALL_FEATURE_CULL_BIT = 2,
            FRUST_CULL_END_BIT = 2, FRUST_CULL = 2, SMALL_FEATURE_CULL = 4)

    // Results of testBox.
    enum BoxTest { kBoxInside = 1, kBoxCulled = 2, kBoxCrossing = 3, kBoxInsideOuter = 5 };

    static void _registerClass(oxTraversalFunctionList* list, oxMetaObject* meta);

    void setSmallFeatureCullPixelSize(float pixels) { _smallFeatureCullPixelSize = pixels; }
    float getSmallFeatureCullPixelSize() const { return _smallFeatureCullPixelSize; }
    // Accepted when 1 <= s < the scissor window scale; the scale then applies to every
    // frustum-culling traversal of the process.
    bool setOuterFrustCullScale(float s);
    float getOuterFrustCullScale() const { return _outerFrustCullScale; }
    // Accepted when s >= 1 and s exceeds the outer frustum scale.
    bool setOuterScissorWindowScale(float s);
    float getOuterScissorWindowScale() const { return _outerScissorWindowScale; }
    // Held for the application, which decides what clipping goes with the outer frustum.
    oxClippingStateAttr* getClippingStateAttr() const { return _cd; }

    // The box min..max under `matrix` (model to clip space) against the view volume, and the
    // outer frustum when one is set: a BoxTest value.
    static int testBox(const oxVec3f& min, const oxVec3f& max, const oxMatrix44f& matrix);

    // The box a node is tested with: its bound when that is a box, else the traversal's
    // scratch box around it; null when the node has no bound.
    const oxAABox* cullingBox(const oxNode* node);

    void userInstantiate(bool forFileRead) override;

protected:
    oxFrustCullTraversal() = default;
    static void arkRegisterInitialize(oxFields<oxFrustCullTraversal>& f);

    oxSmartPointer<oxClippingStateAttr> _cd;
    float _outerFrustCullScale = 1.0f;
    float _outerScissorWindowScale = 2.0f;
    oxSmartPointer<oxAABox> _boundingBox;
    float _smallFeatureCullPixelSize = 5.0f;
};

// The function of every node class: the tests, then the node's draw function.
OX_TRAVERSAL_RETURN oxFrustCullNode(oxTraversal* t, oxObject* node);
// For nodes that must never be culled by their own bound (a planar shadow falls outside it).
OX_TRAVERSAL_RETURN oxFrustCullPlanarShadowShader(oxTraversal* t, oxObject* node);

} // namespace Kel::Sg
