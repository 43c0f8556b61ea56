#include "sg/nodes/oxLod.h"

#include <limits>

namespace Kel::Sg {

void oxLod::arkRegisterInitialize(oxFields<oxLod>& f)
{
    f.add(OX_FIELD(rangeList)).constructWithOwner();
    f.add(OX_FIELD(lastRange)).notPersistent();
    f.add(OX_FIELD(lastIndex)).setDefault(-1).notPersistent();
    f.add(OX_FIELD(lastLower)).setDefault(0.0f).notPersistent();
    f.add(OX_FIELD(lastUpper)).setDefault(0.0f).notPersistent();
    f.add(OX_FIELD(center));
    f.add(OX_FIELD(hysteresisList));
}

void oxLod::appendRange(float range)
{
    if (_rangeList)
        _rangeList->append(range * range);
}

void oxLod::insertRange(int index, float range)
{
    if (_rangeList)
        _rangeList->insert(index, range * range);
}

float oxLod::getRange(int index) const
{
    return oxSqrtf(_rangeList->get(index));
}

oxNode* oxLod::select(float d2)
{
    if (_lastLower <= d2 && d2 < _lastUpper)
        return _lastRange;
    const int count = getRangeCount();
    if (count == 0) {
        reset();
        return nullptr;
    }
    const oxFloatList& range = *_rangeList;
    // The ranges may have been shortened since the last choice.
    int i = _lastIndex < count ? _lastIndex : count - 1;
    if (d2 < _lastLower) {
        while (i >= 0 && range[i] > d2)
            --i;
    } else {
        // Past the upper bound, so range i + 1 is already behind the viewer.
        int index = i + 2;
        while (index < count && range[index] <= d2)
            ++index;
        i = index - 1;
        // Only a distance beyond every bound (infinite, not a number) gets here from the
        // last range.
        if (i >= count)
            i = count - 1;
    }
    const int next = i + 1;

    _lastIndex = i;
    if (i >= 0) {
        _lastLower = range[i];
        _lastRange = i < getChildCount() ? getChild(i) : nullptr;
    } else {
        _lastLower = 0.0f;
        _lastRange = nullptr;
    }
    _lastUpper = next < count ? range[next] : std::numeric_limits<float>::max();

    const int h = _hysteresisList ? _hysteresisList->getCount() : 0;
    if (i >= 0 && i < h) {
        const float lower = oxSqrtf(_lastLower) - _hysteresisList->get(i);
        _lastLower = lower * lower;
    }
    if (next < h) {
        const float upper = oxSqrtf(_lastUpper) + _hysteresisList->get(next);
        _lastUpper = upper * upper;
    }
    return _lastRange;
}

int oxLod::getLastSelectedLod() const
{
    return _lastRange ? _lastIndex : -1;
}

void oxLod::reset()
{
    _lastRange = nullptr;
    _lastIndex = -1;
    _lastLower = _lastUpper = 0.0f;
}

void oxLod::transform(const oxMatrix44f& m)
{
    oxGroup::transform(m);
    _center = m.transformPoint(_center);
}

void oxLod::postFileRead()
{
    oxGroup::postFileRead();
    reset();
}

} // namespace Kel::Sg
