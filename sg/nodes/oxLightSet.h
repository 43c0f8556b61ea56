#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "sg/nodes/oxNode.h"

namespace Kel::Sg {

using Attrs::oxLightAttr;
using Attrs::oxLightList;

// A node (not a group) that holds lights. It always carries HAS_LIGHT, so every group above
// it knows a light lies below.
class oxLightSet : public oxNode {
    OX_CLASS(oxLightSet, oxNode)
    OX_FIELDS(lights)
public:
    oxLightList* getLightAttrs() const { return _lights; }
    // The list's own range rules apply to indices: callers keep them within the count. A
    // set read from a file without its list ignores edits.
    int getLightCount() const { return _lights ? _lights->getCount() : 0; }
    oxLightAttr* getLight(int index) const { return _lights->get(index); }
    void setLight(int index, oxLightAttr* light)
    {
        if (_lights)
            _lights->set(index, light);
    }
    void setLightCount(int count)
    {
        if (_lights)
            _lights->setCount(count);
    }
    void appendLightAttr(oxLightAttr* light)
    {
        if (_lights)
            _lights->append(light);
    }
    // Removes the first entry that is `light`, if any.
    void removeLightAttr(oxLightAttr* light)
    {
        if (_lights)
            _lights->removeObject(light);
    }

    // Positions move as points, directions turn as vectors, through the lights' own setters.
    void transform(const oxMatrix44f& m) override;
    // Resets every light, in list order.
    void reset() override;
    int getInherantFlags() override { return HAS_LIGHT; }
    void userInstantiate(bool forFileRead) override;

protected:
    oxLightSet() = default;
    static void arkRegisterInitialize(oxFields<oxLightSet>& f);

    oxSmartPointer<oxLightList> _lights;
};

} // namespace Kel::Sg
