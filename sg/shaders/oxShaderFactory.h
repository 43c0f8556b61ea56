#pragma once
#include "platform/attrs/oxCapabilityManager.h"
#include "sg/core/oxSgDefs.h"

namespace Kel::Sg {

using Attrs::oxCapabilityManager;
class oxSimpleShader;
class oxInterpretedShaderData;

// Builds the passes of interpreted shaders; shaders find it by its name (its implementation
// name) in the shader information. The base factory makes one pass that draws all children
// with no state of its own; factories that read shader description files derive from it.
// The interface attributes are what a shader built by the factory lets its user set, by
// name and type.
class oxShaderFactory : public oxNamedObject {
    OX_CLASS(oxShaderFactory, oxNamedObject)
    OX_FIELDS(attrNames, attrTypes, fileCachingMode)
public:
    OX_ENUM(FILE_CACHING_MODE, NO_CACHING = 0, NON_PERSISTENT_CACHE = 1, PERSISTENT_CACHE = 2)

    // Replaces the shader's passes with the factory's and resets the shader; true when the
    // shader can be drawn with them.
    virtual bool configureShader(oxSimpleShader* shader, oxInterpretedShaderData* data,
                                 oxCapabilityManager* capabilities);
    // The text the factory gives the named interface parameter; null in the base factory.
    virtual oxSmartPointer<oxStringObj> getInterfaceParameterString(const char* name);
    // Switching to NO_CACHING drops what is cached; the same mode again changes nothing.
    virtual void setFileCachingMode(FILE_CACHING_MODE mode);
    virtual void resetFileCache() {}
    virtual void preloadFileCache() {}

    // A name already listed gets the new type; a new one is appended with its type.
    void appendAttr(const char* name, const char* type);
    oxNamedObjectList* getAttrNames() const { return _attrNames; }
    oxNamedObjectList* getAttrTypes() const { return _attrTypes; }
    FILE_CACHING_MODE getFileCachingMode() const { return _fileCachingMode; }

protected:
    oxShaderFactory() = default;
    static void arkRegisterInitialize(oxFields<oxShaderFactory>& f);

    oxSmartPointer<oxNamedObjectList> _attrNames;
    oxSmartPointer<oxNamedObjectList> _attrTypes;
    FILE_CACHING_MODE _fileCachingMode = NO_CACHING;
};

OX_OBJECT_LIST(oxShaderFactoryList, oxShaderFactory)

} // namespace Kel::Sg
