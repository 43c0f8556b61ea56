#include "sg/nodes/oxGraphPath.h"

#include "sg/animation/oxTimeTransform.h"
#include "sg/nodes/oxTransform.h"

namespace Kel::Sg {

void oxGraphPath::arkRegisterInitialize(oxFields<oxGraphPath>& f)
{
    f.add(OX_FIELD(path)).constructWithOwner();
    f.add(OX_FIELD(center));
    f.add(OX_FIELD(length)).setDefault(1.0f);
}

void oxGraphPath::configure(oxNode* node)
{
    if (_path)
        _path->append(node);
}

void oxGraphPath::configure(const oxNodeList* nodes)
{
    if (!_path || nodes == _path)
        return;
    _path->removeAll();
    for (int i = 0; nodes && i < nodes->getCount(); ++i)
        _path->append(nodes->get(i));
}

void oxGraphPath::configure(const oxGraphPath* other)
{
    configure(other ? other->getPath() : nullptr);
}

oxGroup* oxGraphPath::getParent() const
{
    return getDepth() > 1 ? oxGroup::dynamicCast(getNode(getDepth() - 2)) : nullptr;
}

bool oxGraphPath::pushNode(int index)
{
    oxGroup* top = oxGroup::dynamicCast(getTop());
    if (!top || index < 0 || index >= top->getChildCount())
        return false;
    _path->append(top->getChild(index));
    return true;
}

oxNode* oxGraphPath::popNode()
{
    if (getDepth() < 2)
        return nullptr;
    oxNode* top = getTop();
    _path->remove(getDepth() - 1);
    return top;
}

int oxGraphPath::getTopIndex() const
{
    const oxGroup* parent = getParent();
    return parent ? parent->getChild(getTop()) : -1;
}

void oxGraphPath::getTransformMatrix(int count, oxMatrix44f* out, int64_t t) const
{
    out->makeIdentity();
    for (int i = 0; i < count; ++i) {
        oxNode* node = getNode(i);
        // Transforms below a time transform run on its clock, as in a draw.
        if (auto* clock = oxTimeTransform::dynamicCast(node)) {
            t = clock->getTransformedTime(t);
            continue;
        }
        auto* transform = oxTransform::dynamicCast(node);
        if (!transform || transform->getTarget() != oxTransform::MODEL_VIEW_MATRIX)
            continue;
        transform->update(t);
        out->preMultiply(*transform->getMatrix());
    }
}

void oxGraphPath::getTransformMatrixInclusive(oxMatrix44f* out, int64_t t) const
{
    getTransformMatrix(getDepth(), out, t);
}

void oxGraphPath::getTransformMatrixExclusive(oxMatrix44f* out, int64_t t) const
{
    getTransformMatrix(getDepth() - 1, out, t);
}

} // namespace Kel::Sg
