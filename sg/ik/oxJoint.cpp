#include "sg/ik/oxJoint.h"

#include "sg/traversal/oxCommonTraversal.h"

namespace Kel::Sg {

void oxJoint::arkRegisterInitialize(oxFields<oxJoint>& f)
{
    f.add(OX_FIELD(inverseOriginalTransform));
    f.add(OX_FIELD(blendingMatrix));
}

void oxJoint::computeBlendingMatrix(const oxMatrix44f& m)
{
    if (_blendingMatrix)
        _blendingMatrix->setMatrix(_inverseOriginalTransform * m);
}

void oxJoint::traverseJoint(oxTraversal* traversal, const oxMatrix44f& parent, int64_t t)
{
    update(t);
    const oxMatrix44f m = _m * parent;
    computeBlendingMatrix(m);
    auto* common = oxCommonTraversal::dynamicCast(traversal);
    const int count = getChildCount();
    for (int i = 0; i < count; ++i) {
        oxNode* child = getChild(i);
        if (!child)
            continue;
        if (child->getMetaObject() == oxJoint::getClassTypeSafe()) {
            static_cast<oxJoint*>(child)->traverseJoint(traversal, m, t);
            continue;
        }
        if (!common || !traversal)
            continue;
        auto* attr = common->getAttrPoolManager()->allocate<Attrs::oxModelViewMatrixAttr>();
        if (!attr)
            continue;
        attr->setMatrix(m);
        oxAttrStackManager* stacks = common->getAttrStackManager();
        stacks->pushAttr(attr);
        traversal->dispatch(child);
        stacks->popAttr(attr);
    }
}

} // namespace Kel::Sg
