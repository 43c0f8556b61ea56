#pragma once
#include "sg/core/oxObjectPool.h"

namespace Kel::Sg {

OX_OBJECT_LIST(oxAttrPoolList, oxObjectPool)

// The short-lived attributes of a traversal (matrices pushed per node and the like): one
// pool per attribute class, made on first request and rewound, not freed, every frame.
class oxAttrPoolManager : public oxObject {
    OX_CLASS(oxAttrPoolManager, oxObject)
    OX_FIELDS(attrPools)
public:
    // The pool of that class; null (with a warning) for a class that is not an attribute
    // class.
    oxObjectPool* getAttrPool(oxMetaObject* attrClass);
    // A free attribute of class T from its pool, or null.
    template <class T>
    T* allocate()
    {
        oxObjectPool* pool = getAttrPool(T::getClassTypeSafe());
        return pool ? static_cast<T*>(pool->allocate()) : nullptr;
    }
    // Every pooled attribute free again; each keeps its values.
    void reset();
    oxAttrPoolList* getAttrPools() const { return _attrPools; }

    // A list read from a file may hold gaps and be out of order.
    void postFileRead() override;

protected:
    oxAttrPoolManager() = default;
    static void arkRegisterInitialize(oxFields<oxAttrPoolManager>& f);
    // Index of the pool of that class, or -1 - the index where it would go.
    int findPool(const oxMetaObject* attrClass) const;

    // Sorted by the pools' _objectMeta.
    oxSmartPointer<oxAttrPoolList> _attrPools;
};

} // namespace Kel::Sg
