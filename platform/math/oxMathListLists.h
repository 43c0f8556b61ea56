#pragma once
#include "platform/core/oxObjectList.h"
#include "platform/math/oxMathLists.h"

namespace Kel::Math {

// Lists of vector lists: one list per item of something, such as the displacements of each
// of several morph targets.
OX_OBJECT_LIST(oxVec3fListList, oxVec3fList)

} // namespace Kel::Math
