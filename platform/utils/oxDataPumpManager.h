#pragma once
#include "platform/utils/oxDataPumpInfo.h"

namespace Kel::Utils {

// Runs the pumps of several infos at one time, once per frame of whoever owns it.
class oxDataPumpManager : public Core::oxObject {
    OX_CLASS(oxDataPumpManager, Core::oxObject)
    OX_FIELDS(infoList)
public:
    // The index of the info among those run, or -1 for null.
    int append(oxDataPumpInfo* info);
    bool remove(oxDataPumpInfo* info) { return info && _infoList && _infoList->removeObject(info) >= 0; }
    int getInfoCount() const { return _infoList ? _infoList->getCount() : 0; }
    oxDataPumpInfoList* getInfoList() const { return _infoList; }
    // Every pump of every info, in order, at `time` (nanoseconds); the number of values stored.
    int update(int64_t time);

protected:
    oxDataPumpManager() = default;
    static void arkRegisterInitialize(Core::oxFields<oxDataPumpManager>& f);

    Core::oxSmartPointer<oxDataPumpInfoList> _infoList;
};

} // namespace Kel::Utils
