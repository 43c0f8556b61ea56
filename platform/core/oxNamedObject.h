#pragma once
#include "platform/core/oxObject.h"
#include "platform/core/oxObjectList.h"
#include "platform/core/oxStringRef.h"

namespace Kel::Core {

// An object with a pooled name. An object that was never named has a null name, which is
// not the empty name.
class oxNamedObject : public oxObject {
    OX_CLASS(oxNamedObject, oxObject)
    OX_FIELDS(name)
public:
    const oxStringRef& getName() const { return _name; }
    void setName(const oxStringRef& name) { _name = name; }
    void setName(const char* name) { _name = oxStringRef(name); }

protected:
    oxNamedObject() = default;
    static void arkRegisterInitialize(oxFields<oxNamedObject>& f);

    oxStringRef _name;
};

// Names in order, as objects (a name list that files store like any object list).
OX_OBJECT_LIST(oxNamedObjectList, oxNamedObject)

// A named object that a directory holds: scene information, animation databases, shader
// information. resolve() finds an object inside it by name.
class oxInfo : public oxNamedObject {
    OX_CLASS(oxInfo, oxNamedObject)
public:
    virtual oxObject* resolve(const char* name);

protected:
    oxInfo() = default;
};

// What a library hands its host: the function that registers the library's classes.
class oxLibrary : public oxObject {
    OX_CLASS(oxLibrary, oxObject)
public:
    using RegisterFunction = void (*)();
    RegisterFunction _registerFunction = nullptr;

    void registerClasses() const
    {
        if (_registerFunction)
            _registerFunction();
    }

protected:
    oxLibrary() = default;
};

} // namespace Kel::Core
