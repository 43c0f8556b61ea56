#include "sg/nodes/oxGroup.h"

#include <unordered_map>
#include <utility>

namespace Kel::Sg {

void oxGroup::arkRegisterInitialize(oxFields<oxGroup>& f)
{
    f.add(OX_FIELD(childList)).constructWithOwner();
}

bool oxGroup::isTransformable() const
{
    if (getParentCount() > 1)
        return false;
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i); child && !child->isTransformable())
            return false;
    return true;
}

void oxGroup::transform(const oxMatrix44f& m)
{
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i))
            child->transform(m);
}

bool oxGroup::insertChild(int index, oxNode* child)
{
    if (!child || !_childList || index < 0 || index > _childList->getCount())
        return false;
    if (!child->addParent(this))
        return false;
    _childList->insert(index, child);
    propagateFlagsUp(unsigned(child->getFlags()));
    return true;
}

int oxGroup::appendChild(oxNode* child)
{
    int index = getChildCount();
    return insertChild(index, child) ? index : -1;
}

oxSmartPointer<oxNode> oxGroup::removeChild(int index)
{
    if (index < 0 || index >= getChildCount())
        return nullptr;
    oxSmartPointer<oxNode> child = getChild(index);
    if (child)
        child->removeParent(this);
    _childList->remove(index);
    if (child)
        removeFlagsUp(unsigned(child->getFlags()));
    return child;
}

int oxGroup::removeChild(oxNode* child)
{
    int index = getChild(child);
    if (index >= 0)
        removeChild(index);
    return index;
}

void oxGroup::removeAllChildren()
{
    if (!hasChildren())
        return;
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i))
            child->removeParent(this);
    _childList->removeAll();
    removeFlagsUp(unsigned(_flags));
}

void oxGroup::removeFlagsUp(unsigned flags)
{
    unsigned keep = ~unsigned(getInherantFlags());
    flags &= keep & flagMask;
    if (!flags)
        return;
    unsigned childFlags = 0;
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i))
            childFlags |= unsigned(child->getFlags());
    unsigned clear = ~childFlags & keep & flagMask & flags;
    if (!clear)
        return;
    setFlags(int(clear), false);
    for (int i = 0; i < getParentCount(); ++i)
        static_cast<oxGroup*>(getParent(i))->removeFlagsUp(clear);
}

void oxGroup::userRelease()
{
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i))
            child->removeParent(this);
    oxNode::userRelease();
}

void oxGroup::syncChildParents()
{
    const auto reconcile = [this](oxNode* child, int listed) {
        int recorded = 0;
        for (int k = 0; k < child->getParentCount(); ++k)
            recorded += child->getParent(k) == this;
        for (; recorded < listed; ++recorded)
            child->addParent(this);
        for (; recorded > listed; --recorded)
            child->removeParent(this);
    };
    // Counted per distinct child, in the order of first listing, so a group with many
    // children is linear, not cubic. A reader runs this for every group of a file, and most
    // have a handful of children: those are counted on the stack, without a map's
    // allocations.
    constexpr int kFew = 32;
    if (getChildCount() <= kFew) {
        std::pair<oxNode*, int> listed[kFew];
        int distinct = 0;
        for (int i = 0; i < getChildCount(); ++i) {
            oxNode* child = getChild(i);
            if (!child)
                continue;
            int k = 0;
            while (k < distinct && listed[k].first != child)
                ++k;
            if (k == distinct)
                listed[distinct++] = {child, 0};
            ++listed[k].second;
        }
        // After a read the children were made long before their group is settled: every
        // child is asked for at once, and its parent list a few children ahead, instead of
        // waiting for each in turn.
        constexpr int kAhead = 4;
        for (int k = 0; k < distinct; ++k)
            __builtin_prefetch(listed[k].first);
        for (int k = 0; k < distinct; ++k) {
            if (k + kAhead < distinct)
                if (const auto* parents = reinterpret_cast<const char*>(parentListOf(listed[k + kAhead].first))) {
                    __builtin_prefetch(parents);
                    __builtin_prefetch(parents + sizeof(oxNonRefCountedNodeList) +
                                       oxNonRefCountedNodeList::oxInlineRoom - 1);
                }
            reconcile(listed[k].first, listed[k].second);
        }
        return;
    }
    std::unordered_map<oxNode*, int> listed;
    for (int i = 0; i < getChildCount(); ++i)
        if (oxNode* child = getChild(i))
            ++listed[child];
    for (int i = 0; i < getChildCount(); ++i) {
        oxNode* child = getChild(i);
        auto it = child ? listed.find(child) : listed.end();
        if (it == listed.end())
            continue;
        reconcile(child, it->second);
        listed.erase(it);
    }
}

void oxGroup::postFileRead()
{
    oxNode::postFileRead();
    syncChildParents();
}

void oxGroup::userCopyShallow(const oxObject* source)
{
    oxNode::userCopyShallow(source);
    syncChildParents();
}

void oxGroup::userCopyDeep(const oxObject* source)
{
    oxNode::userCopyDeep(source);
    syncChildParents();
}

} // namespace Kel::Sg
