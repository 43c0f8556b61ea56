#pragma once
#include "platform/core/oxDataList.h"
#include "platform/math/oxMathTypes.h"

namespace Kel::Math {

OX_DATA_LIST(oxVec2fList, oxVec2f)
OX_DATA_LIST(oxVec3fList, oxVec3f)
OX_DATA_LIST(oxVec4fList, oxVec4f)
OX_DATA_LIST(oxQuaternionfList, oxQuaternionf)
OX_DATA_LIST(oxMatrix44fList, oxMatrix44f)

} // namespace Kel::Math
