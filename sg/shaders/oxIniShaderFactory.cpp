#include "sg/shaders/oxIniShaderFactory.h"

#include <cstdarg>
#include <cstdio>
#include <strings.h>

#include "platform/core/oxDataList.h"
#include "platform/core/oxFiles.h"
#include "platform/core/oxMetaEnum.h"
#include "platform/utils/oxDataPump.h"
#include "platform/utils/oxDataPumpInfo.h"
#include "platform/utils/oxValueObjects.h"
#include "sg/shaders/oxInterpretedShader.h"
#include "sg/shaders/oxIniShaderManager.h"
#include "sg/shaders/oxShaderFunction.h"
#include "sg/shaders/oxShaderInfo.h"
#include "sg/shaders/oxSimpleShader.h"

namespace Kel::Sg {

namespace {

// Sections that name one another deeper than this are taken for a loop.
constexpr int kMaxObjectDepth = 32;

std::string keyWith(const char* key, const char* suffix)
{
    return std::string(key ? key : "") + suffix;
}

bool endsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool isListClass(const oxMetaObject* type)
{
    return type && (type->isDerivedFrom(oxObjectList::getClassTypeSafe()) ||
                    type->isDerivedFrom(oxNonRefCountedObjectList::getClassTypeSafe()) ||
                    type->isDerivedFrom(oxDataList::getClassTypeSafe()));
}

oxMetaField* findField(const oxMetaObject* meta, const std::string& name)
{
    if (oxMetaField* field = meta->getMetaField(name))
        return field;
    // Descriptions may leave out the member prefix.
    return name.empty() || name[0] == '_' ? nullptr : meta->getMetaField("_" + name);
}

// The element type and append of either kind of object list.
oxMetaObject* objectListElementType(oxObject* list)
{
    if (auto* counted = oxObjectList::dynamicCast(list))
        return counted->getElementType();
    if (auto* plain = oxNonRefCountedObjectList::dynamicCast(list))
        return plain->getElementType();
    return nullptr;
}

bool appendToObjectList(oxObject* list, oxObject* object)
{
    if (auto* counted = oxObjectList::dynamicCast(list))
        return counted->appendObject(object) >= 0;
    if (auto* plain = oxNonRefCountedObjectList::dynamicCast(list))
        return plain->appendObject(object) >= 0;
    return false;
}

int objectListCount(oxObject* list)
{
    if (auto* counted = oxObjectList::dynamicCast(list))
        return counted->getCount();
    if (auto* plain = oxNonRefCountedObjectList::dynamicCast(list))
        return plain->getCount();
    return -1;
}

oxObject* objectListEntry(oxObject* list, int index)
{
    if (auto* counted = oxObjectList::dynamicCast(list))
        return counted->getObject(index);
    if (auto* plain = oxNonRefCountedObjectList::dynamicCast(list))
        return plain->getObject(index);
    return nullptr;
}

// One scalar of a plain kind from text, written at `out`.
bool scalarFromText(oxFieldKind kind, std::string_view text, void* out)
{
    int i = 0;
    float f = 0;
    bool b = false;
    switch (kind) {
    case oxFieldKind::Int:
    case oxFieldKind::Enum:
    case oxFieldKind::UnsignedInt:
        if (!oxRegistry::parseInt(text, i))
            return false;
        std::memcpy(out, &i, 4);
        return true;
    case oxFieldKind::Short:
    case oxFieldKind::UnsignedShort: {
        if (!oxRegistry::parseInt(text, i))
            return false;
        const int16_t s = int16_t(i);
        std::memcpy(out, &s, 2);
        return true;
    }
    case oxFieldKind::UnsignedChar: {
        if (!oxRegistry::parseInt(text, i))
            return false;
        const uint8_t c = uint8_t(i);
        std::memcpy(out, &c, 1);
        return true;
    }
    case oxFieldKind::Long:
    case oxFieldKind::UnsignedLong: {
        if (!oxRegistry::parseInt(text, i))
            return false;
        const int64_t l = i;
        std::memcpy(out, &l, 8);
        return true;
    }
    case oxFieldKind::Bool:
        if (!oxRegistry::parseBool(text, b))
            return false;
        std::memcpy(out, &b, sizeof b);
        return true;
    case oxFieldKind::Float:
    case oxFieldKind::Vec2f:
    case oxFieldKind::Vec3f:
    case oxFieldKind::Vec4f:
    case oxFieldKind::Matrix44f:
    case oxFieldKind::Quaternionf:
    case oxFieldKind::FloatArray:
        if (!oxRegistry::parseFloat(text, f))
            return false;
        std::memcpy(out, &f, 4);
        return true;
    case oxFieldKind::Double: {
        if (!oxRegistry::parseFloat(text, f))
            return false;
        const double d = f;
        std::memcpy(out, &d, 8);
        return true;
    }
    default:
        return false;
    }
}

const char* const kComponentNames[] = {"x", "y", "z", "w"};

oxShaderFactory* makeFactory(const char* fileName, oxMemoryPool* pool)
{
    oxIniShaderFactory* factory = oxIniShaderFactory::_instantiateFromPool(pool);
    if (!factory)
        return nullptr;
    if (factory->setImplementationName(fileName))
        return factory;
    // Nobody holds it yet: one reference and its release destroy it.
    factory->ref();
    factory->release();
    return nullptr;
}

} // namespace

void oxIniShaderFactory::arkRegisterInitialize(oxFields<oxIniShaderFactory>& f)
{
    f.add(OX_FIELD(implementationName));
    f.add(OX_FIELD(fileCache)).constructWithOwner();
    f.add(OX_FIELD(implementation)).notPersistent();
    f.add(OX_FIELD(interface)).notPersistent();
    f.add(OX_FIELD(interfaceFileName)).notPersistent();
    f.add(OX_FIELD(interfaceSection)).setDefault(-1).notPersistent();
    f.add(OX_FIELD(mp)).notPersistent();
    f.add(OX_FIELD(data)).notPersistent();
    f.add(OX_FIELD(cachedObjects)).constructWithOwner().notPersistent();
}

void oxIniShaderFactory::arkRegisterUser()
{
    // From now on a shader that asks for an unlisted implementation gets it from the
    // description file of that name.
    oxShaderInfo::setFactoryMaker(&makeFactory);
    oxMetaObject::registerClassDestructor([] { oxShaderInfo::setFactoryMaker(nullptr); });
}

void oxIniShaderFactory::warn(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = oxFormatV(format, args);
    va_end(args);
    oxReportWarning("oxIniShaderFactory \"%s\": %s", _implementationName.c_str(), text.c_str());
}

// ---------------------------------------------------------------------------------------
// Files

oxSmartPointer<oxRegistry> oxIniShaderFactory::loadRegistryFile(const char* fileName)
{
    if (!fileName)
        return nullptr;
    const bool caching = _fileCachingMode != NO_CACHING;
    oxSmartPointer<oxRegistry> cached;
    if (caching && _fileCache)
        cached = oxRegistry::dynamicCast(_fileCache->find(fileName));
    if (!cached) {
        const std::string path = oxIniShaderManager::getShaderFilePath(fileName);
        if (path.empty()) {
            warn("file \"%s\" not found in the shader folder", fileName);
            return nullptr;
        }
        oxSmartPointer<oxRegistry> loaded = oxRegistry::_instantiateFromPool(getMemoryPool());
        if (!oxSucceeded(loaded->load(path.c_str(), ""))) {
            warn("file \"%s\" does not read as a registry", fileName);
            return nullptr;
        }
        if (!caching)
            return loaded;
        _fileCache->insert(fileName, loaded);
        cached = loaded;
    }
    oxSmartPointer<oxRegistry> copy = oxRegistry::_instantiateFromPool(getMemoryPool());
    copy->merge(*cached, true);
    return copy;
}

oxSmartPointer<oxStringObj> oxIniShaderFactory::loadTextFile(const char* fileName)
{
    if (!fileName)
        return nullptr;
    const bool caching = _fileCachingMode != NO_CACHING;
    if (caching && _fileCache)
        if (oxStringObj* cached = oxStringObj::dynamicCast(_fileCache->find(fileName)))
            return cached;
    const std::string path = oxIniShaderManager::getShaderFilePath(fileName);
    if (path.empty()) {
        warn("file \"%s\" not found in the shader folder", fileName);
        return nullptr;
    }
    std::string text, error;
    if (!oxFile::readText(path.c_str(), text, error)) {
        warn("file \"%s\" does not read: %s", fileName, error.c_str());
        return nullptr;
    }
    oxSmartPointer<oxStringObj> string = oxStringObj::_instantiateFromPool(getMemoryPool());
    string->set(text);
    if (caching && _fileCache)
        _fileCache->insert(fileName, string);
    return string;
}

oxSmartPointer<oxDriverDatabase> oxIniShaderFactory::loadDriverFile(const char* fileName)
{
    oxSmartPointer<oxStringObj> text = loadTextFile(fileName);
    if (!text)
        return nullptr;
    oxSmartPointer<oxDriverDatabase> db = oxDriverDatabase::_instantiateFromPool(getMemoryPool());
    db->copyDeep(&oxDriverDatabase::getGlobal());
    if (!db->loadFromMemory(text->get(), fileName)) {
        warn("configuration file \"%s\" does not load", fileName);
        return nullptr;
    }
    return db;
}

void oxIniShaderFactory::forgetInterface()
{
    _interface = nullptr;
    _interfaceFileName = oxStringRef();
    _interfaceSection = -1;
}

bool oxIniShaderFactory::loadImplementationFile(bool force)
{
    if (!force && _implementation)
        return true;
    oxSmartPointer<oxRegistry> loaded = loadRegistryFile(_implementationName.get());
    if (loaded != _implementation) {
        forgetInterface();
        _implementation = loaded;
    }
    return _implementation != nullptr;
}

bool oxIniShaderFactory::loadInterfaceFile(bool force)
{
    if (!force && _interface)
        return true;
    if (!loadImplementationFile(force))
        return false;
    forgetInterface();
    const int header = _implementation->findSection("Interface");
    if (header < 0) {
        warn("no section \"Interface\"");
        return false;
    }
    std::string fileName, sectionName;
    const bool named = _implementation->getValue(header, "fileName", fileName, _implementationName.c_str());
    if (!_implementation->getValue(header, "section", sectionName) || sectionName.empty()) {
        warn("section \"Interface\" has no key \"section\"");
        return false;
    }
    oxSmartPointer<oxRegistry> registry = _implementation;
    if (named && fileName != _implementationName.c_str()) {
        const std::string interfacePath = oxIniShaderManager::getShaderFilePath(fileName.c_str());
        if (interfacePath.empty()) {
            warn("interface file \"%s\" not found", fileName.c_str());
            return false;
        }
        const std::string implementationPath = oxIniShaderManager::getShaderFilePath(_implementationName.get());
        if (strcasecmp(interfacePath.c_str(), implementationPath.c_str()) != 0) {
            registry = loadRegistryFile(fileName.c_str());
            if (!registry)
                return false;
        }
    }
    const int section = registry->findSection(sectionName);
    if (section < 0) {
        warn("interface section \"%s\" not found in \"%s\"", sectionName.c_str(), fileName.c_str());
        return false;
    }
    _interface = registry;
    _interfaceSection = section;
    _interfaceFileName = oxStringRef(fileName);
    return true;
}

std::string oxIniShaderFactory::getConfigurationFileName() const
{
    std::string name;
    if (_implementation)
        _implementation->getValue(_implementation->findSection(std::string_view("configuration")), "fileName", name);
    return name;
}

bool oxIniShaderFactory::beginImplementation(const char* fileName)
{
    _implementationName = oxStringRef(fileName);
    _implementation = nullptr;
    forgetInterface();
    resetFileCache();
    if (_attrNames)
        _attrNames->removeAll();
    if (_attrTypes)
        _attrTypes->removeAll();
    return fileName && *fileName;
}

bool oxIniShaderFactory::readInterface()
{
    if (!loadImplementationFile(true) || !loadInterfaceFile(true))
        return false;
    setName(_interface->getSectionName(_interfaceSection));
    std::vector<std::string> attrs;
    if (!_interface->getRawValue(_interfaceSection, "attrs")) {
        warn("interface section \"%s\" has no \"attrs\"", _interface->getSectionName(_interfaceSection));
        return false;
    }
    _interface->getValue(_interfaceSection, "attrs", attrs);
    for (const std::string& attr : attrs) {
        std::string type;
        if (!_interface->getValue(_interfaceSection, attr + ".type", type) || type.empty()) {
            oxReportWarning("attr \"%s\" has no type.  Ignoring.", attr.c_str());
            continue;
        }
        appendAttr(attr.c_str(), type.c_str());
    }
    return true;
}

bool oxIniShaderFactory::setImplementationName(const char* fileName)
{
    if (!beginImplementation(fileName)) {
        oxReportWarning("oxIniShaderFactory: no description file named");
        return false;
    }
    return readInterface();
}

bool oxIniShaderFactory::setImplementationText(const char* fileName, std::string_view text)
{
    if (!beginImplementation(fileName)) {
        oxReportWarning("oxIniShaderFactory: no description file named");
        return false;
    }
    oxSmartPointer<oxRegistry> registry = oxRegistry::_instantiateFromPool(getMemoryPool());
    if (!oxSucceeded(registry->loadFromMemory(text, fileName))) {
        warn("the description does not read as a registry");
        return false;
    }
    // The text stands in the cache for the file, which therefore must stay on.
    if (_fileCachingMode == NO_CACHING)
        _fileCachingMode = NON_PERSISTENT_CACHE;
    _fileCache->insert(fileName, registry);
    return readInterface();
}

void oxIniShaderFactory::resetFileCache()
{
    if (_fileCache)
        _fileCache->removeAll();
}

void oxIniShaderFactory::cacheConfigFiles(const std::vector<oxDriverEntry>& tokenStream)
{
    for (const oxDriverEntry& entry : tokenStream) {
        if (entry.kind == oxDriverEntry::kSetting && endsWith(entry.key, ".file"))
            loadTextFile(std::string(oxRegistry::unquote(entry.value)).c_str());
        cacheConfigFiles(entry.children);
    }
}

void oxIniShaderFactory::preloadFileCache()
{
    if (_fileCachingMode == NO_CACHING)
        return;
    // An implementation read before caching was turned on is read again into the cache.
    const bool cached = _fileCache && _fileCache->find(_implementationName.view());
    if (!loadImplementationFile(!cached) || !loadInterfaceFile(false))
        return;
    const std::string configuration = getConfigurationFileName();
    if (!configuration.empty())
        if (oxSmartPointer<oxDriverDatabase> db = loadDriverFile(configuration.c_str()))
            cacheConfigFiles(db->getTokenStream());
    for (int s = 0; s < _implementation->getSectionCount(); ++s)
        for (int k = 0; k < _implementation->getKeyCount(s); ++k)
            if (endsWith(_implementation->getKey(s, k), ".file")) {
                std::string name;
                _implementation->getValue(s, _implementation->getKey(s, k), name);
                loadTextFile(name.c_str());
            }
}

void oxIniShaderFactory::preWrite()
{
    oxShaderFactory::preWrite();
    if (_fileCachingMode != PERSISTENT_CACHE)
        resetFileCache();
}

void oxIniShaderFactory::postFileRead()
{
    oxShaderFactory::postFileRead();
    if (_fileCachingMode != PERSISTENT_CACHE)
        resetFileCache();
}

oxSmartPointer<oxStringObj> oxIniShaderFactory::getInterfaceParameterString(const char* name)
{
    // Each configuration reads the implementation again, which drops the interface.
    if (!name || !loadInterfaceFile(false))
        return nullptr;
    std::string value;
    if (!_interface->getRawValue(_interfaceSection, name))
        return nullptr;
    _interface->getValue(_interfaceSection, name, value);
    oxSmartPointer<oxStringObj> text = oxStringObj::_instantiateFromPool(getMemoryPool());
    text->set(value);
    return text;
}

// ---------------------------------------------------------------------------------------
// Configuration

bool oxIniShaderFactory::configureShader(oxSimpleShader* shader, oxInterpretedShaderData* data,
                                         oxCapabilityManager* capabilities)
{
    bool done = false;
    if (shader && data && loadImplementationFile(true)) {
        _data = data;
        _mp = shader->getMemoryPool();
        done = doConfigure(shader, capabilities);
    }
    if (!done && shader)
        oxShaderFactory::configureShader(shader, data, capabilities);
    _data = nullptr;
    _mp = nullptr;
    return done;
}

void oxIniShaderFactory::addUserParameters(oxDriverDatabase* db, oxObjectStringMap* mappings)
{
    if (!db || !mappings)
        return;
    mappings->forEach([db](const std::string& name, oxObject* object) {
        char text[64];
        if (auto* i = oxIntObject::dynamicCast(object)) {
            std::snprintf(text, sizeof text, "%d", int(i->getValue()));
            db->setProperty(name.c_str(), oxDriverDatabase::kInt, text);
        } else if (auto* f = oxFloatObject::dynamicCast(object)) {
            std::snprintf(text, sizeof text, "%f", double(f->getValue()));
            db->setProperty(name.c_str(), oxDriverDatabase::kFloat, text);
        } else if (auto* b = oxBoolObject::dynamicCast(object)) {
            db->setProperty(name.c_str(), oxDriverDatabase::kBool, oxRegistry::boolText(b->getValue()));
        }
    });
}

void oxIniShaderFactory::applyConfigurationSettings(const char* file, oxRegistry* registry, int section,
                                                    oxCapabilityManager* capabilities, oxObjectStringMap* mappings)
{
    oxSmartPointer<oxDriverDatabase> db = loadDriverFile(file);
    if (!db)
        return;
    if (capabilities)
        capabilities->enterProperties(db);
    addUserParameters(db, mappings);
    db->applySettings(registry, section, true);
}

void oxIniShaderFactory::addChildMappings(oxObjectStringMap* mappings, const char* name, oxGroup* group)
{
    if (!mappings || !name)
        return;
    mappings->remove(name);
    if (group && group->getChildList())
        mappings->insert(name, group->getChildList());
}

bool oxIniShaderFactory::doConfigure(oxSimpleShader* shader, oxCapabilityManager* capabilities)
{
    if (!shader || !_data || !_implementation)
        return false;
    _data->removeAll();
    shader->reset();

    oxRegistry* impl = _implementation;
    const int configuration = impl->findSection(std::string_view("configuration"));
    if (configuration < 0) {
        warn("no section \"configuration\"");
        return false;
    }
    const std::string configurationFile = getConfigurationFileName();
    if (!configurationFile.empty())
        applyConfigurationSettings(configurationFile.c_str(), impl, configuration, capabilities,
                                   _data->getObjectMappings());
    addChildMappings(_data->getObjectMappings(), "shader_childList", shader);

    std::string implementationName;
    impl->getValue(configuration, "implementation", implementationName);
    const int implementation = implementationName.empty() ? -1 : impl->findSection(implementationName);
    if (implementation < 0) {
        warn("section \"configuration\": implementation section \"%s\" not found", implementationName.c_str());
        return false;
    }
    std::vector<std::string> passes;
    if (!impl->getRawValue(implementation, "passes") || !impl->getValue(implementation, "passes", passes)) {
        warn("section \"%s\" has no \"passes\"", implementationName.c_str());
        return false;
    }

    oxSmartPointer<oxStringRefList> values = oxStringRefList::_instantiateFromPool(_mp);
    oxSmartPointer<oxStringRefList> fields = oxStringRefList::_instantiateFromPool(_mp);
    oxSmartPointer<oxShaderProcessor> processor;
    std::string processorSection;
    if (impl->getValue(implementation, "processor", processorSection) && !processorSection.empty()) {
        oxSmartPointer<oxObject> made = generateObject(processorSection.c_str(), true);
        if (made) {
            processor = oxShaderProcessor::dynamicCast(made.get());
            if (!processor) {
                warn("section \"%s\": class \"%s\" is not a shader processor", processorSection.c_str(),
                     made->getMetaObject()->getName());
                return false;
            }
            const int section = impl->findSection(processorSection);
            std::vector<std::string> names;
            impl->getValue(section, "fields", names);
            for (const std::string& name : names) {
                std::string value;
                if (impl->getValue(section, name + ".value", value) ||
                    impl->getValue(section, name + ".function", value)) {
                    values->append(oxStringRef(value));
                    fields->append(oxStringRef(name));
                }
            }
        }
    }
    if (!processor)
        processor = oxShaderProcessor::_instantiateFromPool(_mp);

    if (impl->getRawValue(configuration, "useRenderPackage")) {
        bool on = false;
        impl->getValue(configuration, "useRenderPackage", on);
        shader->setRenderPackageState(on);
    }
    shader->setShaderProcessor(processor);
    const int n = int(passes.size());
    _data->setPassCount(n);

    oxMetaObject* attrListType = oxAttrList::getClassTypeSafe();
    oxMetaObject* nodeListType = oxNodeList::getClassTypeSafe();
    // What one list value read, one object per name: its entries when it was read item by
    // item, else the list itself.
    auto connect = [&](oxObject* list, oxStringRefList* names) {
        oxSmartPointer<oxObjectList> objects = oxObjectList::_instantiateFromPool(_mp);
        if (objectListCount(list) == names->getCount())
            for (int i = 0; i < names->getCount(); ++i)
                objects->appendObject(objectListEntry(list, i));
        else
            objects->appendObject(list);
        mapProcessorFields(processor, objects, names, values, fields);
    };
    auto present = [&](int section, const char* key) {
        for (const char* suffix : {"", ".value", ".userValue", ".file", ".function"})
            if (impl->getRawValue(section, keyWith(key, suffix)))
                return true;
        return false;
    };

    for (int i = 0; i < n; ++i) {
        shader->setPassState(i, true);
        const char* passName = passes[i].c_str();
        const int pass = impl->findSection(passes[i]);
        if (pass < 0) {
            warn("pass section \"%s\" not found", passName);
            return false;
        }
        oxSmartPointer<oxObject> push, pop, children;
        oxSmartPointer<oxStringRefList> names = oxStringRefList::_instantiateFromPool(_mp);
        if (present(pass, "pushAttrs")) {
            push = readObjectValue(pass, "pushAttrs", attrListType, names);
            if (!push) {
                warn("section \"%s\": \"pushAttrs\" gives no attribute list", passName);
                return false;
            }
            connect(push, names);
            if (!present(pass, "popAttrs")) {
                warn("section \"%s\": \"pushAttrs\" without \"popAttrs\"", passName);
                return false;
            }
            names->removeAll();
            pop = readObjectValue(pass, "popAttrs", attrListType, names);
            if (!pop) {
                warn("section \"%s\": \"popAttrs\" gives no attribute list", passName);
                return false;
            }
            connect(pop, names);
        } else {
            if (!present(pass, "attrs")) {
                warn("section \"%s\": neither \"pushAttrs\" nor \"attrs\"", passName);
                return false;
            }
            push = readObjectValue(pass, "attrs", attrListType, names);
            if (!push) {
                warn("section \"%s\": \"attrs\" gives no attribute list", passName);
                return false;
            }
            connect(push, names);
            pop = push;
        }
        if (present(pass, "childNodes")) {
            names->removeAll();
            children = readObjectValue(pass, "childNodes", nodeListType, names);
            if (!children) {
                warn("section \"%s\": \"childNodes\" gives no node list", passName);
                return false;
            }
            connect(children, names);
        }
        _data->setPushList(i, oxAttrList::dynamicCast(push.get()));
        _data->setPopList(i, oxAttrList::dynamicCast(pop.get()));
        _data->setChildList(i, oxNodeList::dynamicCast(children.get()));
    }
    return true;
}

void oxIniShaderFactory::mapProcessorFields(oxShaderProcessor* processor, oxObjectList* objects,
                                            oxStringRefList* names, oxStringRefList* values, oxStringRefList* fields)
{
    if (!processor || !objects || !names || !values || !fields)
        return;
    const oxMetaObject* meta = processor->getMetaObject();
    const int n = std::min(objects->getCount(), names->getCount());
    for (int i = 0; i < n; ++i) {
        oxObject* object = objects->getObject(i);
        const int at = values->find(names->get(i));
        if (!object || at < 0 || at >= fields->getCount())
            continue;
        oxMetaField* field = findField(meta, fields->get(at).c_str());
        if (field && field->getKind() == oxFieldKind::ObjectRef && field->getReferencedClass() &&
            object->isOfType(field->getReferencedClass()))
            field->setObject(processor, object);
    }
}

// ---------------------------------------------------------------------------------------
// Objects and values

oxSmartPointer<oxObject> oxIniShaderFactory::generateObject(const char* sectionName, bool varying)
{
    oxRegistry* impl = _implementation;
    const int section = impl && sectionName ? impl->findSection(std::string_view(sectionName)) : -1;
    if (section < 0) {
        warn("object section \"%s\" not found", sectionName ? sectionName : "");
        return nullptr;
    }
    if (_depth >= kMaxObjectDepth) {
        warn("section \"%s\": objects name one another too deeply", sectionName);
        return nullptr;
    }
    std::string typeName;
    impl->getValue(section, "type", typeName);
    oxMetaObject* type = typeName.empty() ? nullptr : oxMetaObject::findType(typeName);
    if (!type || !type->canInstantiate()) {
        warn("section \"%s\": \"type\" \"%s\" is no class that can be made", sectionName, typeName.c_str());
        return nullptr;
    }
    oxSmartPointer<oxObject> object = type->createInstance(_mp);
    if (!object)
        return nullptr;

    std::vector<std::string> names;
    impl->getValue(section, "fields", names);
    ++_depth;
    for (const std::string& name : names) {
        oxMetaField* field = findField(type, name);
        if (!field) {
            warn("section \"%s\": class \"%s\" has no field \"%s\"", sectionName, type->getName(), name.c_str());
            --_depth;
            return nullptr;
        }
        if (!readFieldValue(section, name.c_str(), object, field, varying)) {
            --_depth;
            return nullptr;
        }
    }
    --_depth;

    bool shared = !varying;
    impl->getValue(section, "const", shared, !varying);
    if (shared && _cachedObjects) {
        oxObject* cached = _cachedObjects->find(sectionName);
        if (!cached)
            _cachedObjects->insert(sectionName, object);
        else if (cached->isAlikeShallow(object))
            return cached;
    }
    return object;
}

bool oxIniShaderFactory::fillDataElement(oxObject* list, int index, const std::string& item)
{
    auto* data = oxDataList::dynamicCast(list);
    const oxFieldKind kind = data->getElementKind();
    const int scalars = data->getElementScalarCount();
    uint8_t* element = static_cast<uint8_t*>(data->getRaw(index));
    if (scalars <= 1)
        return scalarFromText(kind, item, element);
    // A compound element is a section of its components by name.
    const int section = _implementation->findSection(item);
    if (section < 0 || scalars > 4) {
        warn("list element section \"%s\" not found", item.c_str());
        return false;
    }
    const int size = data->getElementSize() / scalars;
    for (int c = 0; c < scalars; ++c) {
        const char* component = _implementation->getRawValue(section, kComponentNames[c]);
        if (component && !scalarFromText(kind, oxRegistry::unquote(component), element + c * size)) {
            warn("section \"%s\": \"%s\" does not read", item.c_str(), kComponentNames[c]);
            return false;
        }
    }
    return true;
}

bool oxIniShaderFactory::fillList(oxObject* list, const std::vector<std::string>& items, oxStringRefList* names)
{
    if (oxMetaObject* elementType = objectListElementType(list)) {
        for (const std::string& item : items) {
            oxSmartPointer<oxObject> object = generateObject(item.c_str(), false);
            if (!object)
                return false;
            if (!object->isOfType(elementType)) {
                warn("section \"%s\": a \"%s\" does not go into a list of \"%s\"", item.c_str(),
                     object->getMetaObject()->getName(), elementType->getName());
                return false;
            }
            appendToObjectList(list, object);
            if (names)
                names->append(oxStringRef(item));
        }
        return true;
    }
    auto* data = oxDataList::dynamicCast(list);
    if (!data)
        return false;
    data->setCount(int(items.size()));
    for (int i = 0; i < int(items.size()); ++i) {
        if (!fillDataElement(list, i, items[i])) {
            warn("list item \"%s\" does not read", items[i].c_str());
            return false;
        }
        if (names)
            names->append(oxStringRef(items[i]));
    }
    return true;
}

oxSmartPointer<oxObject> oxIniShaderFactory::readObjectValue(int section, const char* key, oxMetaObject* type,
                                                             oxStringRefList* names)
{
    oxRegistry* impl = _implementation;
    if (!impl || !key || !type)
        return nullptr;
    const char* sectionName = impl->getSectionName(section);
    const char* plain = impl->getRawValue(section, key);
    const char* value = impl->getRawValue(section, keyWith(key, ".value"));
    const char* user = impl->getRawValue(section, keyWith(key, ".userValue"));
    const char* function = impl->getRawValue(section, keyWith(key, ".function"));
    if (impl->getRawValue(section, keyWith(key, ".file"))) {
        warn("section \"%s\": \"%s\" takes no \".file\"", sectionName, key);
        return nullptr;
    }
    const int forms = (plain || value ? 1 : 0) + (user ? 1 : 0) + (function ? 1 : 0);
    if (forms != 1 || (plain && value)) {
        warn("section \"%s\": \"%s\" needs exactly one value form", sectionName, key);
        return nullptr;
    }
    if (user) {
        const std::string userName(oxRegistry::unquote(user));
        oxObjectStringMap* mappings = _data ? _data->getObjectMappings() : nullptr;
        oxObject* object = mappings ? mappings->find(userName) : nullptr;
        if (!object || !object->isOfType(type)) {
            warn("section \"%s\": user value \"%s\" of \"%s\" is no \"%s\"", sectionName, userName.c_str(), key,
                 type->getName());
            return nullptr;
        }
        if (names)
            names->append(oxStringRef(userName));
        return object;
    }
    if (function) {
        const std::string functionName(oxRegistry::unquote(function));
        oxSmartPointer<oxObject> made = generateObject(functionName.c_str(), false);
        auto* shaderFunction = oxShaderFunction::dynamicCast(made.get());
        oxSmartPointer<oxObject> product = shaderFunction ? shaderFunction->evaluate() : nullptr;
        if (!product || !product->isOfType(type)) {
            warn("section \"%s\": function \"%s\" of \"%s\" gives no \"%s\"", sectionName, functionName.c_str(), key,
                 type->getName());
            return nullptr;
        }
        if (names)
            names->append(oxStringRef(functionName));
        return product;
    }
    const std::string text(plain ? plain : value);
    if (isListClass(type)) {
        oxSmartPointer<oxObject> list = type->createInstance(_mp);
        if (!list || !fillList(list, oxRegistry::parseList(text), names)) {
            warn("section \"%s\": list \"%s\" does not read", sectionName, key);
            return nullptr;
        }
        return list;
    }
    const std::string objectName(oxRegistry::unquote(text));
    oxSmartPointer<oxObject> object = generateObject(objectName.c_str(), false);
    if (!object || !object->isOfType(type)) {
        warn("section \"%s\": \"%s\" gives no \"%s\"", sectionName, key, type->getName());
        return nullptr;
    }
    if (names)
        names->append(oxStringRef(objectName));
    return object;
}

bool oxIniShaderFactory::setValueCheck(oxObject* object, oxMetaField* field, oxObject* source,
                                       oxDataPumpInterface* pumpInterface)
{
    if (!object || !field)
        return false;
    const char* name = field->getName();
    if (field->getKind() == oxFieldKind::ObjectRef) {
        const oxMetaObject* type = field->getReferencedClass();
        if (source && (!type || !source->isOfType(type) || !field->setObject(object, source))) {
            warn("a \"%s\" does not go into field \"%s\"", source->getMetaObject()->getName(), name);
            return false;
        }
    } else if (source) {
        const oxMetaField* value = source->getMetaObject()->getMetaField("_value");
        if (!value || value->getKind() != field->getKind() || value->getSize() != field->getSize() ||
            !oxIsPlainKind(field->getKind())) {
            warn("the value of a \"%s\" does not go into field \"%s\"", source->getMetaObject()->getName(), name);
            return false;
        }
        std::memcpy(field->address(object), value->address(source), field->getSize());
        field->notifyChanged(object);
    }
    if (pumpInterface) {
        if (pumpInterface->getValueKind() != field->getKind()) {
            warn("a data pump of another kind does not drive field \"%s\"", name);
            return false;
        }
        if (!_data) {
            warn("field \"%s\": data pumps need a shader being configured", name);
            return false;
        }
        oxSmartPointer<oxDataPump> pump = oxDataPump::_instantiateFromPool(_mp);
        pump->setSource(pumpInterface);
        if (!pump->setDestByFieldName(object, name))
            return false;
        if (!_data->getDataPumps())
            _data->setDataPumps(oxDataPumpInfo::_instantiateFromPool(_mp));
        _data->getDataPumps()->appendPump(pump);
    }
    return true;
}

bool oxIniShaderFactory::readFieldValue(int section, const char* fieldName, oxObject* object, oxMetaField* field,
                                        bool& varying)
{
    oxRegistry* impl = _implementation;
    if (!impl || !fieldName || !object || !field)
        return false;
    const char* sectionName = impl->getSectionName(section);
    const char* value = impl->getRawValue(section, keyWith(fieldName, ".value"));
    const char* user = impl->getRawValue(section, keyWith(fieldName, ".userValue"));
    const char* file = impl->getRawValue(section, keyWith(fieldName, ".file"));
    const char* function = impl->getRawValue(section, keyWith(fieldName, ".function"));
    const int forms = (value ? 1 : 0) + (user ? 1 : 0) + (file ? 1 : 0) + (function ? 1 : 0);
    if (forms != 1) {
        warn("section \"%s\": field \"%s\" needs exactly one of \".value\", \".userValue\", \".file\" and "
             "\".function\"",
             sectionName, fieldName);
        return false;
    }
    const oxFieldKind kind = field->getKind();
    bool ok = false;
    if (user) {
        const std::string userName(oxRegistry::unquote(user));
        oxObjectStringMap* mappings = _data ? _data->getObjectMappings() : nullptr;
        oxObject* source = mappings ? mappings->find(userName) : nullptr;
        if (!source) {
            warn("section \"%s\": field \"%s\": no user value \"%s\"", sectionName, fieldName, userName.c_str());
            return false;
        }
        auto* pump = oxDataPumpInterface::dynamicCast(mappings->find(userName + "_dataPump"));
        ok = setValueCheck(object, field, source, pump);
        varying = true;
    } else if (file) {
        const std::string fileName(oxRegistry::unquote(file));
        oxSmartPointer<oxStringObj> text = kind == oxFieldKind::String ? loadTextFile(fileName.c_str()) : nullptr;
        ok = text && field->set(object, oxStringRef(text->get()));
        if (kind != oxFieldKind::String)
            warn("section \"%s\": field \"%s\" is no string and takes no \".file\"", sectionName, fieldName);
    } else if (function) {
        const std::string functionName(oxRegistry::unquote(function));
        oxSmartPointer<oxObject> made = generateObject(functionName.c_str(), false);
        auto* shaderFunction = oxShaderFunction::dynamicCast(made.get());
        oxSmartPointer<oxObject> product = shaderFunction ? shaderFunction->evaluate() : nullptr;
        auto* pump = oxDataPumpInterface::dynamicCast(product.get());
        ok = pump && setValueCheck(object, field, nullptr, pump);
        if (!pump)
            warn("section \"%s\": field \"%s\": \"%s\" is no function that gives a data pump source", sectionName,
                 fieldName, functionName.c_str());
    } else {
        const std::string text(value);
        switch (kind) {
        case oxFieldKind::ObjectRef: {
            oxMetaObject* type = field->getReferencedClass();
            if (!type) {
                ok = false;
            } else if (isListClass(type)) {
                oxSmartPointer<oxObject> list = field->getObject(object);
                if (!list)
                    list = type->createInstance(_mp);
                else if (auto* objects = oxObjectList::dynamicCast(list.get()))
                    objects->removeAll();
                else if (auto* plainObjects = oxNonRefCountedObjectList::dynamicCast(list.get()))
                    plainObjects->removeAll();
                ok = list && fillList(list, oxRegistry::parseList(text), nullptr) && field->setObject(object, list);
            } else {
                oxSmartPointer<oxObject> made = generateObject(std::string(oxRegistry::unquote(text)).c_str(), false);
                ok = made && made->isOfType(type) && field->setObject(object, made);
            }
            break;
        }
        case oxFieldKind::String:
            ok = field->set(object, oxStringRef(oxRegistry::unquote(text)));
            break;
        case oxFieldKind::RawRef:
        case oxFieldKind::ObjectRefArray:
        case oxFieldKind::MemoryRef:
        case oxFieldKind::Pointer:
            ok = false;
            break;
        case oxFieldKind::Enum: {
            int item = 0;
            const oxMetaEnum* items = field->getMetaEnum();
            const std::string_view name = oxRegistry::unquote(text);
            if (items && items->getEnumValue(name, item))
                ok = field->set(object, int32_t(item));
            else
                ok = field->setFromText(object, name);
            break;
        }
        default:
            ok = field->setFromText(object, oxRegistry::unquote(text));
            break;
        }
        if (!ok)
            warn("section \"%s\": field \"%s\" does not take \"%s\"", sectionName, fieldName, text.c_str());
    }
    return ok;
}

// ---------------------------------------------------------------------------------------

bool oxIniShaderFactory::configureFromText(std::string_view text, oxCapabilityManager* capabilities)
{
    oxSmartPointer<oxIniShaderFactory> factory = _instantiateRef();
    if (!factory->setImplementationText("memory.qsd", text))
        return false;
    oxSmartPointer<oxInterpretedShader> shader = oxInterpretedShader::_instantiateRef();
    oxInterpretedShaderData* data = shader->getInterpretedShaderData();
    if (!data)
        return false;
    data->setFactory(factory);
    oxSmartPointer<oxCapabilityManager> device = capabilities;
    if (!device)
        device = Attrs::oxGenericCapabilityManager::_instantiateRef();
    const bool configured = shader->configure(device);
    // The data holds the factory, which holds objects made for the shader: let go of both.
    data->setFactory(nullptr);
    factory->getCachedObjects(nullptr)->removeAll();
    return configured;
}

} // namespace Kel::Sg
