#include "sg/core/oxObjectPool.h"

#include <vector>

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
    if (!setCount(to))
        return false;
    // Built side by side in few blocks: a frame hands them out in order and reads them in
    // order, so they should lie in order.
    std::vector<oxObject*> made(size_t(to - from));
    const int n = _objectMeta->createInstances(getMemoryPool(), to - from, made.data());
    for (int i = 0; i < n; ++i) {
        made[size_t(i)]->setPoolOwned(true);
        setObject(from + i, made[size_t(i)]);
    }
    if (n < to - from)
        setCount(from + n);
    return n > 0;
}

void oxObjectPool::userRelease()
{
    for (int i = 0; i < getCount(); ++i)
        if (oxObject* o = getObject(i))
            o->setPoolOwned(false);
    oxTObjectList<oxObject>::userRelease();
}

oxObject* oxObjectPool::allocate()
{
    if (getCount() <= _freeIndex) {
        int increase = _capabilityIncrease > 0 ? _capabilityIncrease : 1;
        if (!grow(_freeIndex, _freeIndex + increase))
            return nullptr;
    }
    return _freeIndex < getCount() ? getObject(_freeIndex++) : nullptr;
}

int oxObjectPool::allocateTo(int n)
{
    if (n <= 0)
        return 0;
    if (_freeIndex + n >= getCount()) {
        int increase = _capabilityIncrease > 0 ? _capabilityIncrease : 0;
        if (!grow(_freeIndex, _freeIndex + n + increase) || _freeIndex + n > getCount())
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
