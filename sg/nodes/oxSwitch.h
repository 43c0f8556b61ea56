#pragma once
#include "sg/core/oxBitMask.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A group that draws the children whose bit is set in its mask. Bits are positional: the
// mask follows the child count, and inserting a child before others does not move their
// bits.
class oxSwitch : public oxGroup {
    OX_CLASS(oxSwitch, oxGroup)
    OX_FIELDS(childMask)
public:
    oxBitMask* getChildMask() const { return _childMask; }
    // The mask is resized to the child count, so it always has a bit per child.
    void setChildMask(oxBitMask* mask);

    void activateChild(int index);
    void deactivateChild(int index);
    void activateAllChildren();
    void deactivateAllChildren();
    // False for an index without a bit, so a mask that lost step with the children (edited
    // through the group's own operations) never reads past its words.
    bool isChildActive(int index) const;

    // The group's operations, then the mask follows the child count (new bits clear).
    bool insertChild(int index, oxNode* child);
    int appendChild(oxNode* child);
    // The removed child as a plain pointer, valid only while someone else keeps it.
    oxNode* removeChild(int index);
    int removeChild(oxNode* child);
    void removeAllChildren();

    bool isChildrenOrdered() const override { return true; }
    // A stored mask may disagree with the stored children; the children win.
    void postFileRead() override;

protected:
    oxSwitch() = default;
    static void arkRegisterInitialize(oxFields<oxSwitch>& f);
    void fitMask();

    oxSmartPointer<oxBitMask> _childMask;
};

} // namespace Kel::Sg
