#pragma once
#include "sg/nodes/oxGroup.h"

namespace Kel::Sg {

// Ascending times with a binary search for the interval a time falls in.
class oxSpecialDoubleList : public oxTDataList<double> {
    OX_CLASS(oxSpecialDoubleList, oxDataList)
public:
    // Index of the first element not below t: an element equal to t gives its own index, a
    // t above all elements the count, an empty list 0.
    int findIndex(double t) const;

protected:
    oxSpecialDoubleList() = default;
};

// A group that shows one child chosen by time, like the frames of a flip-book: child i is
// shown for local times above the end time of child i-1 up to and including its own. The
// clock starts at the first getNode after creation (or after the start time is set negative
// again).
class oxTimeSwitch : public oxGroup {
    OX_CLASS(oxTimeSwitch, oxGroup)
    OX_FIELDS(timeList, startTime, playMode)
public:
    OX_ENUM(PLAY_MODE, REPEAT = 0, CLAMP = 1, BOUNCE = 2)

    // Inserts the child where its end time keeps the times ascending; the time is recorded
    // only when the group accepted the child, so both lists stay parallel.
    void appendChild(oxNode* child, double endTime);
    int getCount() const { return getChildCount(); }
    // The caller keeps index within the count.
    double getTime(int index) const { return _timeList->get(index); }
    oxSpecialDoubleList* getTimeList() const { return _timeList; }

    double getStartTime() const { return _startTime; }
    void setStartTime(double seconds) { _startTime = seconds; }
    PLAY_MODE getPlayMode() const { return _playMode; }
    void setPlayMode(PLAY_MODE mode) { _playMode = mode; }

    // The child shown at time t (seconds); null without children, and for a switch whose
    // times cannot describe a cycle (too few, or a last end time that is not positive).
    oxNode* getNode(double t);

    bool isChildrenOrdered() const override { return true; }

protected:
    oxTimeSwitch() = default;
    static void arkRegisterInitialize(oxFields<oxTimeSwitch>& f);

    oxSmartPointer<oxSpecialDoubleList> _timeList;
    double _startTime = -1.0;
    PLAY_MODE _playMode = REPEAT;
};

} // namespace Kel::Sg
