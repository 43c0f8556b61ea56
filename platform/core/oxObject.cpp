#include "platform/core/oxObject.h"

#include <unordered_map>

#include "platform/core/oxOutput.h"

namespace Kel::Core {

namespace {
// During one deep copy, every source object maps to its copy: shared objects stay shared
// in the copy and reference cycles end.
std::unordered_map<const oxObject*, oxObject*>* g_deepCopies = nullptr;

// Marks an object that is being destroyed: references taken and dropped by its hooks do
// not destroy it twice.
constexpr int32_t kDying = 1 << 30;
} // namespace

oxMetaObject* oxObject::arkRegisterInternal()
{
    return oxClassAccess::registerClass<oxObject>();
}

void oxObject::arkRegister()
{
    arkRegisterInternal();
}

oxMetaObject* oxObject::getClassTypeSafe()
{
    return oxRegisterClass<oxObject>();
}

oxMetaObject* oxObject::getClassTypeLazy()
{
    return oxLazyClassType<oxObject>();
}

oxMetaObject* oxObject::getMetaObject() const
{
    return getClassTypeSafe();
}

oxObject::~oxObject() = default;

void oxObject::release() const
{
    if (--_refCount <= 0)
        const_cast<oxObject*>(this)->destroy();
}

void oxObject::destroy()
{
    _refCount = kDying;
    userRelease();
    oxMetaObject::destroyObject(this);
}

bool oxObject::isOfType(const oxMetaObject* meta) const
{
    return getMetaObject()->isDerivedFrom(meta);
}

void* oxObject::operator new(size_t size)
{
    return oxMemoryPool::getDefault()->allocate(size);
}

void* oxObject::operator new(size_t size, oxMemoryPool* pool)
{
    return (pool ? pool : oxMemoryPool::getDefault())->allocate(size);
}

void oxObject::operator delete(void* block)
{
    oxMemoryPool::releaseUser(block);
}

void oxObject::operator delete(void* block, oxMemoryPool*)
{
    oxMemoryPool::free(block);
}

void oxObject::userInstantiate(bool forFileRead)
{
    getMetaObject()->applyDefaults(this);
    userAllocateFields(forFileRead);
}

void oxObject::userAllocateFields(bool)
{
    getMetaObject()->allocateOwnedFields(this);
}

void oxObject::userResetFields(bool)
{
    getMetaObject()->applyDefaults(this);
}

void oxObject::userCopyShallow(const oxObject*) {}

void oxObject::userCopyDeep(const oxObject*) {}

bool oxObject::userIsAlikeShallow(const oxObject*) const
{
    return true;
}

oxObject* oxObject::createCopy(CopyMethod method) const
{
    bool outermost = method == kDeepCopy && !g_deepCopies;
    std::unordered_map<const oxObject*, oxObject*> copies;
    if (outermost)
        g_deepCopies = &copies;
    else if (method == kDeepCopy) {
        auto it = g_deepCopies->find(this);
        if (it != g_deepCopies->end())
            return it->second;
    }
    oxObject* result = getMetaObject()->createInstance(getMemoryPool());
    if (result) {
        if (method == kDeepCopy)
            (*g_deepCopies)[this] = result;
        result->copy(this, method);
    }
    if (outermost)
        g_deepCopies = nullptr;
    return result;
}

oxResult oxObject::copy(const oxObject* source, CopyMethod method)
{
    if (!source)
        return kFailure;
    if (source == this)
        return kSuccess;
    const oxMetaObject* meta = getMetaObject();
    source->syncDeclaredFields();
    if (!source->isOfType(meta)) {
        oxReportWarning("cannot copy an object of class %s into one of class %s", source->getMetaObject()->getName(),
                        meta->getName());
        return kFailure;
    }
    // A nested deep copy (a field of an object being copied deeply) shares the outer map.
    bool outermost = method == kDeepCopy && !g_deepCopies;
    std::unordered_map<const oxObject*, oxObject*> copies;
    if (outermost) {
        g_deepCopies = &copies;
        copies[source] = this;
    }
    for (int i = 0; i < meta->getMetaFieldCount(); ++i) {
        const oxMetaField* f = meta->getIndexedMetaField(i);
        if (!f->isPersistent())
            continue;
        if (f->isConstructWithOwner() && f->getKind() == oxFieldKind::ObjectRef) {
            oxObject* from = f->getObject(source);
            oxObject* to = f->getObject(this);
            if (from && to)
                to->copy(from, method);
            else
                f->setObject(this, from ? from->createCopy(method) : nullptr, 0, false);
        } else if (method == kDeepCopy && f->getKind() != oxFieldKind::RawRef && oxIsObjectKind(f->getKind())) {
            for (int k = 0; k < f->getCount(); ++k) {
                oxObject* from = f->getObject(source, k);
                f->setObject(this, from ? from->createCopy(kDeepCopy) : nullptr, k, false);
            }
        } else
            f->copyValue(this, source);
    }
    if (method == kDeepCopy)
        userCopyDeep(source);
    else
        userCopyShallow(source);
    if (outermost)
        g_deepCopies = nullptr;
    return kSuccess;
}

bool oxObject::isAlikeShallow(const oxObject* other) const
{
    if (!other)
        return false;
    if (other == this)
        return true;
    const oxMetaObject* meta = getMetaObject();
    if (other->getMetaObject() != meta)
        return false;
    syncDeclaredFields();
    other->syncDeclaredFields();
    for (int i = 0; i < meta->getMetaFieldCount(); ++i) {
        const oxMetaField* f = meta->getIndexedMetaField(i);
        if (f->isPersistent() && !f->isAlike(this, other))
            return false;
    }
    return userIsAlikeShallow(other);
}

oxResult oxObject::makeConcrete(const oxObject* older)
{
    if (!older)
        return kFailure;
    const oxMetaObject* mine = getMetaObject();
    const oxMetaObject* theirs = older->getMetaObject();
    for (int i = 0; i < mine->getMetaFieldCount(); ++i) {
        const oxMetaField* f = mine->getIndexedMetaField(i);
        const oxMetaField* g = theirs->getMetaField(f->getName());
        if (!g || g->getKind() != f->getKind() || g->getCount() != f->getCount() || g->getSize() != f->getSize())
            continue;
        if (oxIsObjectKind(f->getKind()))
            for (int k = 0; k < f->getCount(); ++k)
                f->setObject(this, g->getObject(older, k), k, false);
        else if (f->getKind() == oxFieldKind::String) {
            oxStringRef s;
            g->get(older, s);
            f->set(this, s);
        } else if (oxIsPlainKind(f->getKind()))
            std::memcpy(f->address(this), g->address(older), f->getSize());
    }
    return kSuccess;
}

} // namespace Kel::Core
