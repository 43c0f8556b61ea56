#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

using Attrs::oxLightAttr;
using Attrs::oxLightStateAttr;
using Attrs::oxLightStateAttrList;

// A group whose light states switch lights on or off for its subtree, one state per light.
class oxLightStateSet : public oxGroup {
    OX_CLASS(oxLightStateSet, oxGroup)
    OX_FIELDS(lightEnables)
public:
    oxLightStateAttrList* getLightStateAttrs() const { return _lightEnables; }
    void setLightStateAttrs(oxLightStateAttrList* list) { _lightEnables = list; }
    // The list's own range rules apply to indices: callers keep them within the count.
    // Without a list (set to null) edits are ignored.
    int getLightStateAttrCount() const { return _lightEnables ? _lightEnables->getCount() : 0; }
    oxLightStateAttr* getLightStateAttr(int index) const { return _lightEnables->get(index); }
    void setLightStateAttr(int index, oxLightStateAttr* attr)
    {
        if (_lightEnables)
            _lightEnables->set(index, attr);
    }
    void setLightStateAttrCount(int count)
    {
        if (_lightEnables)
            _lightEnables->setCount(count);
    }
    void appendLightStateAttr(oxLightStateAttr* attr)
    {
        if (_lightEnables)
            _lightEnables->append(attr);
    }
    // Removes the first entry that is `attr`, if any.
    void removeLightStateAttr(oxLightStateAttr* attr)
    {
        if (_lightEnables)
            _lightEnables->removeObject(attr);
    }

    // Resets every light state, in list order.
    void reset() override;

    // The light of the first enabled state of the nearest light state set at or above
    // `node`, climbing through first parents; null when there is none up to the root.
    static oxLightAttr* findFirstActiveLight(oxNode* node);

protected:
    oxLightStateSet() = default;
    static void arkRegisterInitialize(oxFields<oxLightStateSet>& f);

    oxSmartPointer<oxLightStateAttrList> _lightEnables;
};

} // namespace Kel::Sg
