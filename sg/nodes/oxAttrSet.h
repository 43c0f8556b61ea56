#pragma once
#include "platform/attrs/oxAttr.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxAttr;
using Attrs::oxAttrList;

// A group whose render attributes hold for its subtree: the draw traversal pushes them, in
// list order, before the children and pops them after.
class oxAttrSet : public oxGroup {
    OX_CLASS(oxAttrSet, oxGroup)
    OX_FIELDS(attributes, trigger)
public:
    oxAttrList* getAttrs() { return _attributes; }
    const oxAttrList* getAttrs() const { return _attributes; }
    virtual void setAttrs(oxAttrList* list) { _attributes = list; }

    // The list's own range rules apply to indices: callers keep them within the count.
    int getAttrCount() const { return _attributes ? _attributes->getCount() : 0; }
    oxAttr* getAttr(int i) { return _attributes->get(i); }
    const oxAttr* getAttr(int i) const { return _attributes->get(i); }
    void setAttr(int i, oxAttr* attr) { _attributes->set(i, attr); }
    void setAttrCount(int n) { _attributes->setCount(n); }
    void appendAttr(oxAttr* attr) { _attributes->append(attr); }
    void removeAttr(int i) { _attributes->remove(i); }
    // Removes the first entry that is `attr`, if any.
    void removeAttr(oxAttr* attr) { _attributes->removeObject(attr); }

    virtual void setTriggerState(bool on) { _trigger = on; }
    bool getTriggerState() const { return _trigger; }

    // Resets every attribute, in list order.
    void reset() override;

protected:
    oxAttrSet() = default;
    static void arkRegisterInitialize(oxFields<oxAttrSet>& f);

    oxSmartPointer<oxAttrList> _attributes;
    bool _trigger = false;
};

// The same node; its class alone tells the traversals that its attributes override those
// set below it.
class oxOverrideAttrSet : public oxAttrSet {
    OX_CLASS(oxOverrideAttrSet, oxAttrSet)
protected:
    oxOverrideAttrSet() = default;
};

OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedAttrSetList, oxAttrSet)

} // namespace Kel::Sg
