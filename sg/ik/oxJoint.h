#pragma once
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

class oxTraversal;

// A transform in a joint hierarchy that skins geometry: besides placing its subtree it
// produces the skinning matrix that takes bind-pose vertices to where the joint is now.
class oxJoint : public oxTransform {
    OX_CLASS(oxJoint, oxTransform)
    OX_FIELDS(inverseOriginalTransform, blendingMatrix)
public:
    // The inverse of the joint's bind matrix.
    void setInverseTransform(const oxMatrix44f& m) { _inverseOriginalTransform = m; }
    const oxMatrix44f& getInverseTransform() const { return _inverseOriginalTransform; }
    void setBlendingMatrix(oxMatrixObject* matrix) { _blendingMatrix = matrix; }
    oxMatrixObject* getBlendingMatrix() const { return _blendingMatrix; }
    // Blending matrix = inverse bind matrix × m, where m is the joint's accumulated matrix;
    // nothing without a blending matrix object.
    void computeBlendingMatrix(const oxMatrix44f& m);

    // Walks the joint hierarchy below `parent` (the accumulated matrix above this joint) at
    // time t: plain joints below are walked the same way without the attribute stacks; any
    // other child is dispatched with the accumulated matrix pushed as its model-view matrix.
    // A traversal other than the common traversal only has the matrices computed.
    void traverseJoint(oxTraversal* traversal, const oxMatrix44f& parent, int64_t t);

protected:
    oxJoint() = default;
    static void arkRegisterInitialize(oxFields<oxJoint>& f);

    oxMatrix44f _inverseOriginalTransform;
    oxSmartPointer<oxMatrixObject> _blendingMatrix;
};

} // namespace Kel::Sg
