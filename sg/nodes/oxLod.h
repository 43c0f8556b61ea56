#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// A level-of-detail group: shows one child chosen by the viewer's squared distance from
// the centre. Child i is used from its range on (ranges are kept squared and ascending).
// The node remembers its last choice together with the band of distances in which that
// choice stays valid; an optional hysteresis list widens each band by a plain distance, so
// that a viewer hovering at a boundary does not make the choice flicker.
class oxLod : public oxGroup {
    OX_CLASS(oxLod, oxGroup)
    OX_FIELDS(rangeList, lastRange, lastIndex, lastLower, lastUpper, center, hysteresisList)
public:
    // Ranges are given as plain distances and stored squared.
    void appendRange(float range);
    void insertRange(int index, float range);
    // The plain distance of range i; the caller keeps i within the range count.
    float getRange(int index) const;
    int getRangeCount() const { return _rangeList ? _rangeList->getCount() : 0; }
    oxFloatList* getRangeList() const { return _rangeList; }
    void setRangeList(oxFloatList* list) { _rangeList = list; }
    oxFloatList* getHysteresisList() const { return _hysteresisList; }
    void setHysteresisList(oxFloatList* list) { _hysteresisList = list; }
    const oxVec3f& getCenter() const { return _center; }
    void setCenter(const oxVec3f& center) { _center = center; }

    // The child for a viewer at squared distance d2 from the centre; null when the range
    // chosen has no child (more ranges than children) or the viewer is nearer than the
    // first range.
    oxNode* select(float d2);
    // -1 when no child is selected, else the range index chosen last.
    virtual int getLastSelectedLod() const;
    // The band, in squared distance, in which the last choice stays valid.
    float getLastLower() const { return _lastLower; }
    float getLastUpper() const { return _lastUpper; }

    bool isChildrenOrdered() const override { return true; }
    // Forgets the last choice: the next select searches afresh.
    void reset() override;
    // The children are transformed and the centre moves with them; the ranges stay.
    void transform(const oxMatrix44f& m) override;
    void postFileRead() override;

protected:
    oxLod() = default;
    static void arkRegisterInitialize(oxFields<oxLod>& f);

    oxSmartPointer<oxFloatList> _rangeList;
    oxSmartPointer<oxNode> _lastRange;
    int _lastIndex = -1;
    float _lastLower = 0.0f;
    float _lastUpper = 0.0f;
    oxVec3f _center;
    oxSmartPointer<oxFloatList> _hysteresisList;
};

} // namespace Kel::Sg
