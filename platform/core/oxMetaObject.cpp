#include "platform/core/oxMetaObject.h"

#include <cstdlib>
#include <unordered_map>

#include "platform/core/oxOutput.h"

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
    meta->_abstract = r.abstract;
    meta->_factory = r.factory;
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

oxObject* oxMetaObject::createInstance(oxMemoryPool* pool, bool forFileRead)
{
    if (!canInstantiate()) {
        oxReportWarning("class %s cannot be instantiated (%s)", _name.c_str(),
                        !_registered ? "not registered" : "abstract");
        return nullptr;
    }
    oxObject* object = _factory(pool ? pool : oxMemoryPool::getDefault());
    object->_memoryPool = pool;
    object->_counted = true;
    object->_meta = object->getMetaObject();
    ++_instanceCount;
    object->userConstruct();
    object->userInstantiate(forFileRead);
    return object;
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
    for (oxMetaField* f : _fields) {
        if (!f->isConstructWithOwner() || f->getKind() != oxFieldKind::ObjectRef || f->getObject(object))
            continue;
        oxMetaObject* cls = f->getReferencedClass();
        if (oxObject* owned = cls ? cls->createInstance(object->getMemoryPool()) : nullptr)
            f->setObject(object, owned, 0, false);
    }
}

} // namespace Kel::Core
