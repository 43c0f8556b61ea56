#include "sg/nodes/oxTimeSwitch.h"

#include <algorithm>
#include <cmath>

namespace Kel::Sg {

int oxSpecialDoubleList::findIndex(double t) const
{
    int low = 0, high = getCount();
    while (low < high) {
        int mid = low + (high - low) / 2;
        if (get(mid) < t)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void oxTimeSwitch::arkRegisterInitialize(oxFields<oxTimeSwitch>& f)
{
    f.add(OX_FIELD(timeList)).constructWithOwner();
    f.add(OX_FIELD(startTime)).setDefault(-1.0);
    f.add(OX_FIELD(playMode)).enumeration(&getPLAY_MODEMetaEnum).setDefault(REPEAT);
}

void oxTimeSwitch::appendChild(oxNode* child, double endTime)
{
    if (!_timeList)
        return;
    int index = _timeList->findIndex(endTime);
    // Children added through the group alone have no time; they keep the end of the list.
    if (index > getChildCount())
        index = getChildCount();
    if (insertChild(index, child))
        _timeList->insert(index, endTime);
}

oxNode* oxTimeSwitch::getNode(double t)
{
    if (_startTime < 0)
        _startTime = t;
    const int count = getChildCount();
    if (count == 0 || !_timeList || _timeList->getCount() < count)
        return nullptr;
    const double elapsed = std::max(t - _startTime, 0.0);
    const double period = _timeList->get(count - 1);
    if (!(period > 0))
        return nullptr;
    const double cycles = elapsed / period;
    const double whole = std::floor(cycles);
    double local;
    switch (_playMode) {
    case CLAMP: local = elapsed < period ? elapsed : period; break;
    case BOUNCE: {
        const double f = (cycles - whole) * period;
        local = std::fmod(whole, 2.0) == 0 ? f : period - f;
        break;
    }
    default: local = (cycles - whole) * period; break;
    }
    int index = _timeList->findIndex(local);
    // Rounding can put the local time a hair past the last end time.
    return getChild(index < count ? index : count - 1);
}

} // namespace Kel::Sg
