#pragma once
#include <cstdint>

#include "platform/core/oxObjectList.h"
#include "platform/gfx/oxVisualContext.h"
#include "platform/math/oxMathTypes.h"

namespace Kel::Attrs {

using Core::oxFields;
using Core::oxSmartPointer;
using Gfx::oxVisualContext;
using Math::oxBox3f;
using Math::oxMatrix44f;
using Math::oxVec3f;
using Math::oxVec4f;

class oxCapabilityManager;

// A piece of render state. Attributes of one class replace one another: traversals keep one
// stack per class (and per unit, for classes indexed by a unit such as texture units) and
// apply whichever is current to the device, or the class default when none is.
class oxAttr : public Core::oxObject {
    OX_CLASS(oxAttr, Core::oxObject)
    OX_FIELDS(unit)
public:
    // Sets this attribute's state on the device. A null device gets a warning and nothing.
    void apply(oxVisualContext* vc);

    // The capability that counts this class's units (OX_GFX_CAP), or -1 for a class
    // without units.
    virtual int getUnitCapability() const { return -1; }
    // Units the device behind `capabilities` offers for this class; 1 for a class without
    // units or without a manager.
    int getUnitCount(const oxCapabilityManager* capabilities) const;
    uint16_t getUnit() const { return _unit; }
    // Refused (false, with a warning) for a unit outside 0..65535, or any unit but 0 for a
    // class without units.
    bool setUnit(int unit);

    // Takes the device's current setting; classes whose default stands for the device's own
    // state (viewport, projection, clear values) override it.
    virtual void refreshFromVisualContext(const oxVisualContext* vc);
    // Extends `box` by what this attribute draws; false when it draws nothing.
    virtual bool extendBounds(oxBox3f& box) const;
    // Puts back the state the attribute had when it was set up: values derived while drawing
    // and device resources it refers to are dropped, its settings are kept.
    virtual void reset();

protected:
    oxAttr() = default;
    static void arkRegisterInitialize(oxFields<oxAttr>& f);
    virtual void applyTo(oxVisualContext& vc) = 0;

    uint16_t _unit = 0;
};

// The name by which nodes that cache an attribute refer to it.
using oxVisualAttribute = oxAttr;

OX_OBJECT_LIST(oxAttrList, oxAttr)
OX_NON_REF_COUNTED_OBJECT_LIST(oxNonRefCountedAttrList, oxAttr)
OX_OBJECT_LIST(oxAttrListList, oxAttrList)

} // namespace Kel::Attrs
