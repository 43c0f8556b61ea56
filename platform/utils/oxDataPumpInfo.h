#pragma once
#include "platform/utils/oxDataPump.h"

namespace Kel::Utils {

// The pumps that animate one owner's values (a shader's, say), run together by a data pump
// manager.
class oxDataPumpInfo : public Core::oxObject {
    OX_CLASS(oxDataPumpInfo, Core::oxObject)
    OX_FIELDS(pumpList)
public:
    oxDataPumpList* getPumpList() const { return _pumpList; }
    int getPumpCount() const { return _pumpList ? _pumpList->getCount() : 0; }
    oxDataPump* getPump(int index) const { return _pumpList->get(index); }
    int appendPump(oxDataPump* pump) { return _pumpList ? _pumpList->append(pump) : -1; }
    // Runs every pump at `time`; the number of pumps that stored a value.
    int pump(int64_t time);

protected:
    oxDataPumpInfo() = default;
    static void arkRegisterInitialize(Core::oxFields<oxDataPumpInfo>& f);

    Core::oxSmartPointer<oxDataPumpList> _pumpList;
};

OX_OBJECT_LIST(oxDataPumpInfoList, oxDataPumpInfo)

} // namespace Kel::Utils
