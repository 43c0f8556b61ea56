#include "sg/nodes/oxNode.h"

#include <cstring>

#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

oxNode::~oxNode() = default;

void oxNode::arkRegisterInitialize(oxFields<oxNode>& f)
{
    f.add(OX_FIELD(bound));
    f.add(OX_FIELD(parentList)).constructWithOwner().notPersistent();
    f.add(OX_FIELD(flags));
}

void oxNode::userInstantiate(bool forFileRead)
{
    oxNamedObject::userInstantiate(forFileRead);
    if (!forFileRead)
        setFlags(getInherantFlags(), true);
}

int oxNode::getParentCount() const
{
    return _parentList ? _parentList->getCount() : 0;
}

oxNode* oxNode::getParent(int index) const
{
    return _parentList->get(index);
}

bool oxNode::addParent(oxNode* parent)
{
    if (_parentList)
        _parentList->append(parent);
    return true;
}

bool oxNode::removeParent(oxNode* parent)
{
    return _parentList && _parentList->removeObject(parent) >= 0;
}

void oxNode::propagateFlagsUp(unsigned flags)
{
    unsigned m = flags & flagMask;
    if ((unsigned(_flags) & m) == m)
        return;
    _flags |= int(m);
    for (int i = 0; i < getParentCount(); ++i)
        getParent(i)->propagateFlagsUp(unsigned(_flags));
}

void oxNode::insertGroupAbove(oxGroup* group)
{
    if (!group)
        return;
    oxSmartPointer<oxNode> self(this);
    std::vector<oxNode*> parents;
    for (int i = 0; i < getParentCount(); ++i)
        parents.push_back(getParent(i));
    for (oxNode* p : parents) {
        auto* parent = static_cast<oxGroup*>(p);
        int index = parent->getChild(this);
        if (index < 0)
            continue;
        parent->insertChild(index, group);
        parent->removeChild(this);
    }
    group->appendChild(this);
}

oxNode* oxNode::findNamedNodeOfType(oxNode* root, const char* name, oxMetaObject* type)
{
    if (!root || !name)
        return nullptr;
    if (root->isOfType(type) && !root->getName().isNull() && std::strcmp(root->getName().c_str(), name) == 0)
        return root;
    auto* group = oxGroup::dynamicCast(root);
    if (!group)
        return nullptr;
    for (int i = 0; i < group->getChildCount(); ++i)
        if (oxNode* found = findNamedNodeOfType(group->getChild(i), name, type))
            return found;
    return nullptr;
}

} // namespace Kel::Sg
