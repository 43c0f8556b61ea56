#pragma once
#include "platform/core/oxDataList.h"
#include "platform/core/oxObjectList.h"

namespace Kel::Core {

// Lists of data lists: one list per item of something, such as the vertex indices each of
// several targets moves.
OX_OBJECT_LIST(oxIntListList, oxIntList)

} // namespace Kel::Core
