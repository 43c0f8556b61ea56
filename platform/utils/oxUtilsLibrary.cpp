#include "platform/utils/OXUtils.h"

#include "platform/math/OXMath.h"

void Kel::libOXUtils_arkRegister()
{
    libOXMath_arkRegister();
    Utils::oxMatrixObject::arkRegister();
    Utils::oxMatrixObjectList::arkRegister();
    Utils::oxMatrixStack::arkRegister();
    Utils::oxNonRefCountedObjectStack::arkRegister();
    Utils::oxDataPumpInterface::arkRegister();
    Utils::oxDataPump::arkRegister();
    Utils::oxDataPumpList::arkRegister();
    Utils::oxDataPumpInfo::arkRegister();
    Utils::oxDataPumpInfoList::arkRegister();
    Utils::oxDataPumpManager::arkRegister();
    Utils::oxIntObject::arkRegister();
    Utils::oxFloatObject::arkRegister();
    Utils::oxBoolObject::arkRegister();
}
