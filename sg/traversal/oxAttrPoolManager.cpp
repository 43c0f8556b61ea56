#include "sg/traversal/oxAttrPoolManager.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/attrs/oxAttr.h"

namespace Kel::Sg {

namespace {
bool classBefore(const oxMetaObject* a, const oxMetaObject* b)
{
    return std::less<const oxMetaObject*>()(a, b);
}
} // namespace

void oxAttrPoolManager::arkRegisterInitialize(oxFields<oxAttrPoolManager>& f)
{
    f.add(OX_FIELD(attrPools)).constructWithOwner();
}

int oxAttrPoolManager::findPool(const oxMetaObject* attrClass) const
{
    int lo = 0, hi = _attrPools->getCount();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (classBefore(_attrPools->get(mid)->getObjectMeta(), attrClass))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < _attrPools->getCount() && _attrPools->get(lo)->getObjectMeta() == attrClass ? lo : -1 - lo;
}

oxObjectPool* oxAttrPoolManager::getAttrPool(oxMetaObject* attrClass)
{
    int at = findPool(attrClass);
    if (at >= 0)
        return _attrPools->get(at);
    if (!attrClass || !attrClass->isDerivedFrom(Attrs::oxAttr::getClassTypeSafe())) {
        oxReportWarning("oxAttrPoolManager: %s is not an attribute class", attrClass ? attrClass->getName() : "(null)");
        return nullptr;
    }
    oxObjectPool* pool = oxObjectPool::_instantiateFromPool(getMemoryPool());
    pool->setObjectMeta(attrClass);
    _attrPools->insert(-1 - at, pool);
    return pool;
}

void oxAttrPoolManager::reset()
{
    for (int i = 0; i < _attrPools->getCount(); ++i)
        _attrPools->get(i)->reset();
}

void oxAttrPoolManager::postFileRead()
{
    oxObject::postFileRead();
    userAllocateFields(false);
    std::vector<oxSmartPointer<oxObjectPool>> pools;
    for (int i = 0; i < _attrPools->getCount(); ++i)
        if (oxObjectPool* pool = _attrPools->get(i))
            pools.push_back(pool);
    std::stable_sort(pools.begin(), pools.end(), [](const oxObjectPool* a, const oxObjectPool* b) {
        return classBefore(a->getObjectMeta(), b->getObjectMeta());
    });
    _attrPools->removeAll();
    for (oxObjectPool* pool : pools)
        _attrPools->append(pool);
}

} // namespace Kel::Sg
