#pragma once
#include "platform/attrs/oxLightAttr.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

// Pre-built objects of one class, handed out and taken back without being destroyed:
// render packages, matrix objects and other per-frame objects. The list holds every object
// the pool ever built; entries below _freeIndex are handed out, the rest are free.
class oxObjectPool : public oxTObjectList<oxObject> {
    OX_CLASS(oxObjectPool, oxObjectList)
    OX_FIELDS(objectMeta, freeIndex, capabilityIncrease)
public:
    // A free object; the pool grows by _capabilityIncrease objects when it runs dry. Null
    // (with a warning) when the pooled class cannot be instantiated.
    oxObject* allocate();
    // Reserves n objects at once: the entries from the old free index on. Returns n, or 0
    // when the pooled class cannot be instantiated.
    int allocateTo(int n);
    // Resets the object's fields and frees it. An object that is not handed out (not in
    // the pool, or already free) is left alone.
    void deallocate(oxObject* object);
    // Frees every object at once; they keep their field values.
    void reset() { _freeIndex = 0; }
    void setObjectMeta(oxMetaObject* meta)
    {
        _objectMeta = meta;
        _freeIndex = 0;
    }
    oxMetaObject* getObjectMeta() const { return _objectMeta; }
    int getFreeIndex() const { return _freeIndex; }
    int getCapabilityIncrease() const { return _capabilityIncrease; }
    void setCapabilityIncrease(int n) { _capabilityIncrease = n; }

    // Objects that outlive the pool (someone else holds them) are no longer its own.
    void userRelease() override;

protected:
    oxObjectPool() = default;
    static void arkRegisterInitialize(oxFields<oxObjectPool>& f);
    // Fills entries [from, to) with new objects; false when the class cannot be built.
    bool grow(int from, int to);

    oxSmartPointer<oxMetaObject> _objectMeta;
    int _freeIndex = 0;
    int _capabilityIncrease = 50;
};

// A pool of T: fixes the pooled class when instantiated.
template <class T>
class oxTObjectPool : public oxObjectPool {
public:
    T* allocate() { return static_cast<T*>(oxObjectPool::allocate()); }
    T* get(int index) const { return static_cast<T*>(getObject(index)); }
    void userInstantiate(bool forFileRead) override
    {
        oxObjectPool::userInstantiate(forFileRead);
        _freeIndex = 0;
        _objectMeta = T::getClassTypeSafe();
    }

protected:
    oxTObjectPool() = default;
};

// A registered pool in one line: OX_OBJECT_POOL(oxMatrixObjectPool, oxMatrixObject).
#define OX_OBJECT_POOL(Name, Type)                        \
    class Name : public ::Kel::Sg::oxTObjectPool<Type> {  \
        OX_CLASS(Name, ::Kel::Sg::oxObjectPool)           \
    protected:                                            \
        Name() = default;                                 \
    };

OX_OBJECT_POOL(oxMatrixObjectPool, oxMatrixObject)
OX_OBJECT_POOL(oxLightStateAttrPool, Attrs::oxLightStateAttr)

} // namespace Kel::Sg
