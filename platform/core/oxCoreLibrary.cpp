#include "platform/core/oxCoreLibrary.h"

#include "platform/core/OXCore.h"
#include "platform/core/oxDataListList.h"

void Kel::libOXCore_arkRegister()
{
    using namespace Kel::Core;
    oxObject::arkRegister();
    oxNamedObject::arkRegister();
    oxInfo::arkRegister();
    oxLibrary::arkRegister();
    oxIntList::arkRegister();
    oxUnsignedIntList::arkRegister();
    oxShortList::arkRegister();
    oxUnsignedShortList::arkRegister();
    oxUnsignedCharList::arkRegister();
    oxFloatList::arkRegister();
    oxDoubleList::arkRegister();
    oxLongList::arkRegister();
    oxObjectList::arkRegister();
    oxNonRefCountedObjectList::arkRegister();
    oxIntListList::arkRegister();
    oxStringObj::arkRegister();
    oxStringObjList::arkRegister();
    oxStringRefList::arkRegister();
    oxObjectStringMap::arkRegister();
    oxInfoList::arkRegister();
    oxDirectory::arkRegister();
    oxRegistry::arkRegister();
    oxDriverDatabase::arkRegister();
    oxFolder::arkRegister();
}
