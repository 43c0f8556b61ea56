#pragma once
#include "platform/utils/oxCompression.h"
#include "platform/utils/oxDataPump.h"
#include "platform/utils/oxDataPumpInfo.h"
#include "platform/utils/oxDataPumpInterface.h"
#include "platform/utils/oxDataPumpManager.h"
#include "platform/utils/oxDataStack.h"
#include "platform/utils/oxMatrixObject.h"
#include "platform/utils/oxValueObjects.h"

namespace Kel {
// Registers the utility library's classes.
void libOXUtils_arkRegister();
} // namespace Kel
