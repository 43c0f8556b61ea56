#pragma once
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

// A node with an ordered list of children, which it holds. The same child may be listed
// more than once; it then lists the group as often among its parents.
class oxGroup : public oxNode {
    OX_CLASS(oxGroup, oxNode)
    OX_FIELDS(childList)
public:
    oxNodeList* getChildList() const { return _childList; }
    int getChildCount() const { return _childList ? _childList->getCount() : 0; }
    // The caller keeps index within the child count.
    oxNode* getChild(int index) const { return _childList->get(index); }
    // Index of the first entry that is `node`, or -1.
    int getChild(const oxNode* node) const { return _childList ? _childList->find(node) : -1; }

    bool hasChildren() override { return getChildCount() > 0; }
    bool isTransformable() const override;
    void transform(const oxMatrix44f& m) override;
    // Whether the order of the children carries meaning (switches, levels of detail ...).
    virtual bool isChildrenOrdered() const { return false; }

    // False, changing nothing, for a null child, an index outside 0..count or a child that
    // refuses the parent.
    bool insertChild(int index, oxNode* child);
    // The child's index, or -1.
    int appendChild(oxNode* child);
    // The removed child, which the caller now holds; null for an index out of range.
    oxSmartPointer<oxNode> removeChild(int index);
    // Removes the first entry that is `child`; its index, or -1.
    int removeChild(oxNode* child);
    void removeAllChildren();
    // Clears propagated bits that no remaining child carries, here and upwards.
    void removeFlagsUp(unsigned flags);

    void userRelease() override;
    void postFileRead() override;
    void userCopyShallow(const oxObject* source) override;
    void userCopyDeep(const oxObject* source) override;

protected:
    oxGroup() = default;
    static void arkRegisterInitialize(oxFields<oxGroup>& f);
    // Makes every child list this group exactly as often as the group lists the child.
    void syncChildParents();

    oxSmartPointer<oxNodeList> _childList;
};

} // namespace Kel::Sg
