#include "platform/core/oxMetaObject.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/core/oxOutput.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define OX_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define OX_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define OX_POISON(p, n) ((void)(p), (void)(n))
#define OX_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace Kel::Core {

namespace {
// The registry lives as long as the process (descriptions are never destroyed: objects
// released during static destruction still reach theirs).
struct Registry {
    std::vector<oxMetaObject*> ordered;
    std::unordered_map<std::string, oxMetaObject*> byName;
    std::vector<oxMetaObject::RegistrationCallback> callbacks;
    std::vector<oxMetaObject::ClassDestructor> destructors;
    bool destructorsHooked = false;
};

Registry& registry()
{
    static auto* r = new Registry();
    return *r;
}
} // namespace

void oxInstantiateRefDeprecated()
{
    oxReportWarning("a deprecated factory taking a memory pool was used; use _instantiateFromPool or "
                    "_instantiateRefFromPool");
}

oxMetaObject* oxMetaObject::_indexed[kMaxIndexed] = {};

oxMetaObject* oxMetaObject::createLazy(const char* name)
{
    auto* meta = new oxMetaObject();
    meta->ref();
    meta->_name = name ? name : "";
    return meta;
}

oxMetaObject* oxMetaObject::oxArkRegister(const oxClassRecord& r)
{
    oxMetaObject* meta = *r.metaSlot;
    if (meta && (meta->_registered || meta->_registering))
        return meta;
    if (!meta)
        *r.metaSlot = meta = createLazy(r.name);
    meta->_registering = true;

    oxMetaObject* parent = r.registerParent ? r.registerParent() : nullptr;
    Registry& reg = registry();
    meta->_name = r.name;
    meta->_parent = parent;
    meta->_instanceSize = r.instanceSize;
    meta->_inlineRoom = r.inlineRoom;
    meta->_abstract = r.abstract;
    meta->_construct = r.construct;
    meta->completeAncestors();
    if (parent)
        meta->_fields = parent->_fields;
    if (r.declareFields)
        r.declareFields(meta);
    for (size_t i = 0; i < meta->_fields.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (std::string_view(meta->_fields[i]->getName()) == meta->_fields[j]->getName())
                oxReportWarning("class %s declares the field %s twice", r.name, meta->_fields[i]->getName());

    auto [it, inserted] = reg.byName.emplace(meta->_name, meta);
    if (!inserted)
        oxReportWarning("two classes are registered under the name %s; lookups by name find the first", r.name);
    reg.ordered.push_back(meta);
    if (reg.ordered.size() < size_t(kMaxIndexed)) {
        meta->_index = int(reg.ordered.size());
        _indexed[meta->_index] = meta;
    }
    if (parent)
        parent->_derived.push_back(meta);
    meta->_registered = true;
    meta->_registering = false;

    // Classes the fields refer to come along, so that owned members can be created and
    // stored objects read.
    for (size_t i = parent ? parent->_fields.size() : 0; i < meta->_fields.size(); ++i)
        if (auto fn = meta->_fields[i]->getReferencedRegisterFunction())
            fn();
    if (r.registerDependencies)
        r.registerDependencies();
    for (size_t i = 0; i < reg.callbacks.size(); ++i)
        reg.callbacks[i](meta);
    if (r.userRegister)
        r.userRegister();
    return meta;
}

void oxMetaObject::completeAncestors()
{
    _ancestors.clear();
    if (_parent)
        _ancestors = _parent->_ancestors;
    _ancestors.push_back(this);
    _depth = int(_ancestors.size()) - 1;
}

oxMetaObject* oxMetaObject::findType(std::string_view name)
{
    auto& byName = registry().byName;
    auto it = byName.find(std::string(name));
    return it == byName.end() ? nullptr : it->second;
}

int oxMetaObject::getRegisteredCount()
{
    return int(registry().ordered.size());
}

oxMetaObject* oxMetaObject::getRegistered(int index)
{
    auto& ordered = registry().ordered;
    return index >= 0 && index < int(ordered.size()) ? ordered[index] : nullptr;
}

void oxMetaObject::registerClassRegistrationCallback(RegistrationCallback callback)
{
    if (!callback)
        return;
    Registry& reg = registry();
    reg.callbacks.push_back(callback);
    // By index: the callback may register further classes.
    for (size_t i = 0; i < reg.ordered.size(); ++i)
        callback(reg.ordered[i]);
}

void oxMetaObject::registerClassDestructor(ClassDestructor destructor)
{
    Registry& reg = registry();
    if (!reg.destructorsHooked) {
        reg.destructorsHooked = true;
        std::atexit(&oxMetaObject::runClassDestructors);
    }
    reg.destructors.push_back(destructor);
}

void oxMetaObject::runClassDestructors()
{
    auto& list = registry().destructors;
    while (!list.empty()) {
        ClassDestructor d = list.back();
        list.pop_back();
        d();
    }
}

namespace {

// Objects and rooms are 8-byte aligned inside their block, as tightly as their members allow:
// a few bytes decide whether a node's list shares a cache line with its fields.
size_t alignMember(size_t n)
{
    return (n + 7) & ~size_t(7);
}

// An empty member slot starts with a null word where an object keeps its virtual table.
bool slotEmpty(const char* slot)
{
    void* word;
    std::memcpy(&word, slot, sizeof word);
    return word == nullptr;
}

void markSlotEmpty(char* slot)
{
    std::memset(slot, 0, sizeof(void*));
}

} // namespace

void oxMetaObject::computeLayout()
{
    if (_layoutState)
        return;
    _layoutState = 1;
    _members.clear();
    size_t end = alignMember(_instanceSize);
    std::vector<InlineMember> lists, others;
    for (size_t i = _fields.size(); i-- > 0;) {
        const oxMetaField* f = _fields[i];
        oxMetaObject* cls = f->getReferencedClass();
        if (!f->isConstructWithOwner() || f->getKind() != oxFieldKind::ObjectRef || !cls || !cls->canInstantiate())
            continue;
        cls->computeLayout();
        if (cls->_layoutState != 2)
            continue; // a class that owns an object of its own class: that member stands alone
        const size_t room = f->getInlineRoom() >= 0 ? size_t(f->getInlineRoom()) : cls->_inlineRoom;
        (cls->_inlineRoom ? lists : others).push_back(InlineMember{f, cls, 0, uint32_t(room)});
    }
    for (auto* group : {&lists, &others})
        for (InlineMember m : *group) {
            // An object's header reaches back at most a megabyte to its block's start.
            if (end + m.cls->blockSizeWithRoom(m.room) > kMaxMemberOffset)
                continue;
            m.offset = uint32_t(end);
            end += m.cls->blockSizeWithRoom(m.room);
            _members.push_back(m);
        }
    _membersEnd = end;
    _layoutState = 2;
}

size_t oxMetaObject::getBlockSize()
{
    computeLayout();
    return blockSizeWithRoom(_inlineRoom);
}

void oxMetaObject::clearSlots(char* object) const
{
    for (const InlineMember& m : _members) {
        markSlotEmpty(object + m.offset);
        m.cls->clearSlots(object + m.offset);
    }
}

oxObject* oxMetaObject::construct(char* at, char* block, uint32_t flags, size_t room, bool forFileRead)
{
    OX_UNPOISON(at, _instanceSize);
    oxObject* object = _construct(at);
    object->_place = flags | oxObject::kCounted | oxObject::kHasLayout | uint32_t(_index) << oxObject::kClassShift |
                     uint32_t((at - block) / 8) << oxObject::kOffsetShift;
    if (at != block)
        oxMemoryPool::addUser(block);
    ++_instanceCount;
    clearSlots(at);
    if (room)
        object->userInlineRoom(at + _membersEnd, room);
    object->userConstruct();
    object->userInstantiate(forFileRead);
    return object;
}

oxObject* oxMetaObject::createInstance(oxMemoryPool* pool, bool forFileRead)
{
    // An abstract older class whose objects are now made as a newer one: its description
    // stands for the newer class.
    if (!canInstantiate() && _registered && _redirect && _redirect != this)
        return _redirect->createInstance(pool, forFileRead);
    if (!canInstantiate()) {
        oxReportWarning("class %s cannot be instantiated (%s)", _name.c_str(),
                        !_registered ? "not registered" : "abstract");
        return nullptr;
    }
    const size_t size = getBlockSize();
    char* block = static_cast<char*>((pool ? pool : oxMemoryPool::getDefault())->allocate(size, blockAlignment()));
    if (!block) {
        oxReportWarning("out of memory for an object of class %s", _name.c_str());
        return nullptr;
    }
    return construct(block, block, 0, _inlineRoom, forFileRead);
}

int oxMetaObject::createInstances(oxMemoryPool* pool, int n, oxObject** out)
{
    if (n <= 0)
        return 0;
    std::fill(out, out + n, nullptr);
    if (!canInstantiate() && _registered && _redirect && _redirect != this)
        return _redirect->createInstances(pool, n, out);
    if (!canInstantiate()) {
        oxReportWarning("class %s cannot be instantiated (%s)", _name.c_str(),
                        !_registered ? "not registered" : "abstract");
        return 0;
    }
    // An object with members keeps its own fields on cache lines of their own (a frame reads
    // them apart from the members); one without is packed, as a frame reads it whole.
    const size_t lineAlign = _members.empty() ? 16 : 64;
    const size_t stride = (getBlockSize() + lineAlign - 1) & ~(lineAlign - 1);
    // Every object and member in a block is one of its users.
    size_t users = 1;
    std::vector<const oxMetaObject*> open{this};
    while (!open.empty()) {
        const oxMetaObject* c = open.back();
        open.pop_back();
        for (const InlineMember& m : c->_members) {
            ++users;
            open.push_back(m.cls);
        }
    }
    // Blocks of up to half a megabyte (as far as an object's header reaches back): large
    // enough to be read in sequence, small enough not to hold much memory for long when most
    // of a pool is released.
    const size_t perBlock =
        std::max<size_t>(1, std::min<size_t>(oxMemoryPool::kMaxUsers / users, kMaxMemberOffset / stride));
    oxMemoryPool* into = pool ? pool : oxMemoryPool::getDefault();
    int made = 0;
    while (made < n) {
        const size_t count = std::min(perBlock, size_t(n - made));
        char* block = static_cast<char*>(into->allocate(stride * count, lineAlign));
        if (!block) {
            oxReportWarning("out of memory for objects of class %s", _name.c_str());
            break;
        }
        for (size_t i = 0; i < count; ++i)
            out[made++] = construct(block + i * stride, block, 0, _inlineRoom, false);
    }
    return made;
}

void oxMetaObject::destroyObject(oxObject* object)
{
    char* at = reinterpret_cast<char*>(object);
    void* block = object->getBlock();
    const bool member = object->_place & oxObject::kInlineMember;
    if (object->_place & oxObject::kCounted)
        --object->getMetaObject()->_instanceCount;
    const size_t size = object->getMetaObject()->_instanceSize;
    object->~oxObject();
    if (member) {
        markSlotEmpty(at);
        OX_POISON(at + sizeof(void*), size - sizeof(void*));
    }
    oxMemoryPool::releaseUser(block);
}

oxMetaField* oxMetaObject::getMetaField(std::string_view name) const
{
    return getIndexedMetaField(getMetaFieldIndex(name));
}

int oxMetaObject::getMetaFieldIndex(std::string_view name) const
{
    for (size_t i = 0; i < _fields.size(); ++i)
        if (name == _fields[i]->getName())
            return int(i);
    return -1;
}

bool oxMetaObject::setFieldFromText(oxObject* object, std::string_view name, std::string_view text) const
{
    oxMetaField* field = getMetaField(name);
    if (!field || !object || !object->isOfType(this))
        return false;
    return field->setFromText(object, text);
}

oxMetaField* oxMetaObject::appendField(std::unique_ptr<oxMetaField> field)
{
    field->setOwner(this);
    oxMetaField* f = field.get();
    _ownFields.push_back(std::move(field));
    _fields.push_back(f);
    return f;
}

oxMetaField* oxMetaObject::replaceField(int index, std::unique_ptr<oxMetaField> field)
{
    field->setOwner(this);
    oxMetaField* f = field.get();
    _ownFields.push_back(std::move(field));
    _fields[index] = f;
    return f;
}

void oxMetaObject::applyDefaults(oxObject* object) const
{
    for (oxMetaField* f : _fields)
        f->applyDefault(object);
}

void oxMetaObject::allocateOwnedFields(oxObject* object) const
{
    const bool inPlace = object->_place & oxObject::kHasLayout;
    char* at = reinterpret_cast<char*>(object);
    for (oxMetaField* f : _fields) {
        if (!f->isConstructWithOwner() || f->getKind() != oxFieldKind::ObjectRef)
            continue;
        oxMetaObject* cls = f->getReferencedClass();
        if (!cls || f->_access->getObject(object, 0))
            continue;
        oxObject* owned = nullptr;
        if (inPlace)
            for (const InlineMember& m : _members)
                if (m.field == f && slotEmpty(at + m.offset)) {
                    owned = m.cls->construct(at + m.offset, static_cast<char*>(object->getBlock()),
                                             oxObject::kInlineMember, m.room, false);
                    break;
                }
        if (!owned)
            owned = cls->createInstance(object->getMemoryPool());
        // Of the field's class (or of the one its slot was laid out for, which is the same):
        // setObject's check would only repeat that, and every new node pays for it.
        if (owned)
            f->_access->setObject(object, 0, owned);
    }
}

} // namespace Kel::Core
