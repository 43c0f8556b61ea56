#include "sg/core/oxObjectPool.h"

namespace Kel::Sg {

void oxObjectPool::arkRegisterInitialize(oxFields<oxObjectPool>& f)
{
    f.add(OX_FIELD(objectMeta));
    f.add(OX_FIELD(freeIndex)).setDefault(0);
    f.add(OX_FIELD(capabilityIncrease)).setDefault(50);
}

bool oxObjectPool::grow(int from, int to)
{
    if (!_objectMeta || !_objectMeta->canInstantiate()) {
        oxReportWarning("object pool: cannot build objects of class %s",
                        _objectMeta ? _objectMeta->getName() : "(none)");
        return false;
    }
    setCount(to);
    for (int i = from; i < to; ++i)
        setObject(i, _objectMeta->createInstance(getMemoryPool()));
    return true;
}

oxObject* oxObjectPool::allocate()
{
    if (getCount() <= _freeIndex) {
        int increase = _capabilityIncrease > 0 ? _capabilityIncrease : 1;
        if (!grow(_freeIndex, _freeIndex + increase))
            return nullptr;
    }
    return getObject(_freeIndex++);
}

int oxObjectPool::allocateTo(int n)
{
    if (n <= 0)
        return 0;
    if (_freeIndex + n >= getCount()) {
        int increase = _capabilityIncrease > 0 ? _capabilityIncrease : 0;
        if (!grow(_freeIndex, _freeIndex + n + increase))
            return 0;
    }
    _freeIndex += n;
    return n;
}

void oxObjectPool::deallocate(oxObject* object)
{
    int index = object ? findObject(object) : -1;
    if (index < 0 || index >= _freeIndex)
        return;
    object->userResetFields(false);
    if (index != _freeIndex - 1)
        swap(index, _freeIndex - 1);
    --_freeIndex;
}

} // namespace Kel::Sg
