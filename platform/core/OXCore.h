#pragma once
// The object system and runtime services: everything a class of the scene graph stands on.
#include "platform/core/oxDataList.h"
#include "platform/core/oxMemoryBlock.h"
#include "platform/core/oxMemoryPool.h"
#include "platform/core/oxMetaEnum.h"
#include "platform/core/oxMetaObject.h"
#include "platform/core/oxNamedObject.h"
#include "platform/core/oxObject.h"
#include "platform/core/oxObjectList.h"
#include "platform/core/oxOutput.h"
#include "platform/core/oxRegistry.h"
#include "platform/core/oxStrings.h"
#include "platform/core/oxTimer.h"
