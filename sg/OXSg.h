#pragma once
// The whole public interface of the scene-graph library.
#include "sg/core/oxBitMask.h"
#include "sg/core/oxObjectPool.h"
#include "sg/core/oxSgDefs.h"
#include "sg/core/oxSgEnums.h"
#include "sg/core/oxSgLibrary.h"
#include "sg/core/oxUserInfo.h"
#include "sg/nodes/oxGroup.h"
#include "sg/nodes/oxNode.h"
#include "sg/nodes/oxAttrSet.h"
#include "sg/nodes/oxTransform.h"
#include "sg/nodes/oxTransformSource.h"
#include "sg/traversal/oxTraversal.h"
