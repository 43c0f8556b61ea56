#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/oxDriverDatabase.h"
#include "platform/core/oxRegistry.h"
#include "platform/core/oxStrings.h"
#include "platform/utils/oxDataPumpInterface.h"
#include "sg/nodes/oxGroup.h"
#include "sg/shaders/oxInterpretedShaderData.h"
#include "sg/shaders/oxShaderProcessor.h"

namespace Kel::Sg {

using Core::oxDriverDatabase;
using Core::oxDriverEntry;
using Core::oxRegistry;
using Utils::oxDataPumpInterface;

// The factory of one shader description file (".qsd", a registry text in the shader
// folder). The file's "Interface" section names the interface section, whose name is the
// implementation name shaders find the factory by; its "configuration" section picks the
// implementation section whose passes, processor and objects are built into a shader at
// each configuration. A configuration file (driver-database rules) may rewrite the
// configuration section per device and per user parameter first.
//
// Every object a configuration makes comes from the shader's pool. Sections that are not
// varying (no user values) are shared through `_cachedObjects` between the shaders this
// factory builds, as long as what the file makes stays alike.
class oxIniShaderFactory : public oxShaderFactory {
    OX_CLASS(oxIniShaderFactory, oxShaderFactory)
    OX_FIELDS(implementationName, fileCache, implementation, interface, interfaceFileName, interfaceSection, mp,
              data, cachedObjects)
public:
    static void arkRegisterUser();

    // Reads the file and its interface; the factory's name becomes the interface section's.
    bool setImplementationName(const char* fileName);
    // The same for a description held in memory under `fileName`: nothing is read from disk
    // but the files the text names itself.
    bool setImplementationText(const char* fileName, std::string_view text);
    const char* getImplementationName() const { return _implementationName.get(); }
    oxRegistry* getImplementation() const { return _implementation; }
    oxRegistry* getInterface() const { return _interface; }
    int getInterfaceSection() const { return _interfaceSection; }
    const char* getInterfaceFileName() const { return _interfaceFileName.get(); }

    bool loadImplementationFile(bool force);
    bool loadInterfaceFile(bool force);
    // "fileName" of the "configuration" section; empty when there is none.
    std::string getConfigurationFileName() const;
    // Null (with a warning) when the file is not found or does not read. While caching is
    // on, a copy of the cached registry, so that configuration never edits the cache.
    oxSmartPointer<oxRegistry> loadRegistryFile(const char* fileName);
    oxSmartPointer<oxStringObj> loadTextFile(const char* fileName);
    // The global driver database's rules followed by the file's.
    oxSmartPointer<oxDriverDatabase> loadDriverFile(const char* fileName);
    // Caches every file that an entry ending in ".file" names, whatever branch holds it.
    void cacheConfigFiles(const std::vector<oxDriverEntry>& tokenStream);

    bool configureShader(oxSimpleShader* shader, oxInterpretedShaderData* data,
                         oxCapabilityManager* capabilities) override;
    oxSmartPointer<oxStringObj> getInterfaceParameterString(const char* name) override;
    void resetFileCache() override;
    void preloadFileCache() override;
    void preWrite() override;
    void postFileRead() override;

    // The steps of a configuration; they need `_data` and `_mp` set (configureShader does).
    bool doConfigure(oxSimpleShader* shader, oxCapabilityManager* capabilities);
    void applyConfigurationSettings(const char* file, oxRegistry* registry, int section,
                                    oxCapabilityManager* capabilities, oxObjectStringMap* mappings);
    void addUserParameters(oxDriverDatabase* db, oxObjectStringMap* mappings);
    void addChildMappings(oxObjectStringMap* mappings, const char* name, oxGroup* group);
    oxSmartPointer<oxObject> generateObject(const char* section, bool varying);
    oxSmartPointer<oxObject> readObjectValue(int section, const char* key, oxMetaObject* type,
                                             oxStringRefList* names);
    bool readFieldValue(int section, const char* field, oxObject* object, oxMetaField* metaField, bool& varying);
    bool setValueCheck(oxObject* object, oxMetaField* field, oxObject* source, oxDataPumpInterface* pumpInterface);
    void mapProcessorFields(oxShaderProcessor* processor, oxObjectList* objects, oxStringRefList* names,
                            oxStringRefList* values, oxStringRefList* fields);
    oxObjectStringMap* getCachedObjects(const char*) const { return _cachedObjects; }
    oxObjectStringMap* getFileCache() const { return _fileCache; }

    // Configures a fresh interpreted shader with a description given as text, through a
    // factory of its own: the entry for feeding arbitrary descriptions to the whole
    // configuration path. True when the passes were built; bad text gives warnings.
    static bool configureFromText(std::string_view text, oxCapabilityManager* capabilities = nullptr);

protected:
    oxIniShaderFactory() = default;
    static void arkRegisterInitialize(oxFields<oxIniShaderFactory>& f);

private:
    bool beginImplementation(const char* fileName);
    bool readInterface();
    void forgetInterface();
    bool fillList(oxObject* list, const std::vector<std::string>& items, oxStringRefList* names);
    bool fillDataElement(oxObject* list, int index, const std::string& item);
    void warn(const char* format, ...) __attribute__((format(printf, 2, 3)));

    oxStringRef _implementationName;
    oxSmartPointer<oxObjectStringMap> _fileCache;
    oxSmartPointer<oxRegistry> _implementation;
    oxSmartPointer<oxRegistry> _interface;
    oxStringRef _interfaceFileName;
    int _interfaceSection = -1;
    oxMemoryPool* _mp = nullptr;
    oxSmartPointer<oxInterpretedShaderData> _data;
    oxSmartPointer<oxObjectStringMap> _cachedObjects;

    // Objects being made inside one another: a section that names itself ends here.
    int _depth = 0;
};

} // namespace Kel::Sg
