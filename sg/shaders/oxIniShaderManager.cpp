#include "sg/shaders/oxIniShaderManager.h"

#include <unistd.h>

#include "platform/core/oxFiles.h"
#include "platform/core/oxRegistry.h"
#include "sg/shaders/oxIniShaderFactory.h"

namespace Kel::Sg {

namespace {
// Held by hand rather than by a static smart pointer: it must go when the classes go, not
// whenever static destruction reaches it.
oxFolder* g_shaderFolder = nullptr;
constexpr const char* kShadersSection = "Shaders";

void setShaderFolder(const std::string* name)
{
    if (g_shaderFolder)
        g_shaderFolder->release();
    g_shaderFolder = nullptr;
    if (!name)
        return;
    g_shaderFolder = oxFolder::_instantiateFromPool(oxMemoryPool::getDefault());
    g_shaderFolder->ref();
    g_shaderFolder->setFolderName(name->c_str());
}
} // namespace

void oxIniShaderManager::arkRegisterUser()
{
    oxShaderInfo::arkRegister();
    oxFolder::arkRegister();
    oxStringObj::arkRegister();
    resolveShaderFolder();
    bool populate = false;
    oxRegistry::getGlobal().getValue(oxRegistry::kSectionShaders, "autoPopulateShaderFactoryList", populate, false);
    if (populate)
        fullyPopulateFactoryList();
    oxMetaObject::registerClassDestructor([] { setShaderFolder(nullptr); });
}

oxFolder* oxIniShaderManager::getShaderFolder()
{
    return g_shaderFolder;
}

void oxIniShaderManager::resolveShaderFolder()
{
    const oxRegistry& registry = oxRegistry::getGlobal();
    const int section = registry.findSection(std::string_view(kShadersSection));
    if (section >= 0 && registry.getRawValue(section, "shaderFilePath")) {
        std::string folder;
        registry.getValue(section, "shaderFilePath", folder);
        setShaderFolder(&folder);
        return;
    }
    char cwd[512];
    const std::string places[] = {getcwd(cwd, sizeof cwd) ? cwd : ".", oxArkCore::getVelmarPath(),
                                  oxArkCore::getApplicationPath()};
    for (const std::string& place : places) {
        const std::string found = findShaderPath(place.c_str());
        if (!found.empty()) {
            setShaderFolder(&found);
            return;
        }
    }
    setShaderFolder(nullptr);
}

std::string oxIniShaderManager::findShaderPath(const char* folder)
{
    if (!folder || !*folder)
        return {};
    oxSmartPointer<oxFolder> place = oxFolder::_instantiateRef();
    place->setFolderName(folder);
    const std::string entry = place->findEntryNoCase("shaders");
    return entry.empty() ? std::string() : place->appendRelativePath(entry.c_str());
}

std::string oxIniShaderManager::getShaderFilePath(const char* name)
{
    if (!name || !*name)
        return {};
    const std::string path = g_shaderFolder ? g_shaderFolder->appendRelativePath(name) : std::string(name);
    return oxFile::isReadable(path.c_str()) ? path : std::string();
}

void oxIniShaderManager::fullyPopulateFactoryList()
{
    oxShaderInfo* info = oxShaderInfo::getSystemShaderInfo();
    if (!info)
        return;
    std::vector<std::string> files;
    const oxRegistry& registry = oxRegistry::getGlobal();
    const int section = registry.findSection(std::string_view(kShadersSection));
    if (section >= 0 && registry.getRawValue(section, "implementations"))
        registry.getValue(section, "implementations", files);
    else if (g_shaderFolder)
        files = g_shaderFolder->listEntries(".qsd");
    oxSmartPointer<oxStringRefList> list = oxStringRefList::_instantiateRef();
    for (const std::string& file : files)
        list->append(oxStringRef(file));
    registerImplementations(info, list);
}

void oxIniShaderManager::registerImplementations(oxShaderInfo* info, oxStringRefList* list)
{
    oxShaderFactoryList* factories = info ? info->getFactoryList() : nullptr;
    if (!factories || !list)
        return;
    for (int i = 0; i < list->getCount(); ++i) {
        oxSmartPointer<oxIniShaderFactory> factory = oxIniShaderFactory::_instantiateFromPool(oxMemoryPool::getDefault());
        if (!factory->setImplementationName(list->get(i).get()))
            continue;
        for (int j = factories->getCount() - 1; j >= 0; --j)
            if (factories->get(j) && factories->get(j)->getName() == factory->getName())
                factories->remove(j);
        factories->append(factory);
    }
}

} // namespace Kel::Sg
