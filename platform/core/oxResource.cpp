#include "platform/core/oxResource.h"

#include <map>
#include <string>

#include "platform/core/oxOXBReader.h"

namespace Kel::Core {

namespace {
std::map<std::string, oxSmartPointer<oxDirectory>, std::less<>>& directories()
{
    static std::map<std::string, oxSmartPointer<oxDirectory>, std::less<>> cache;
    return cache;
}
// Released with the class destructors at exit, while every class description its objects
// need still exists. A class that puts an info here asks for the directory before it
// registers its own destructor, which therefore runs first and may still reach it.
oxSmartPointer<oxDirectory> g_systemDirectory;
} // namespace

oxDirectory* oxResource::getSystemDirectory()
{
    if (!g_systemDirectory) {
        g_systemDirectory = oxDirectory::_instantiateFromPool(nullptr);
        oxMetaObject::registerClassDestructor([] { g_systemDirectory = nullptr; });
    }
    return g_systemDirectory;
}

oxDirectory* oxResource::getDirectory(const char* fileName)
{
    if (!fileName)
        return nullptr;
    auto& cache = directories();
    auto it = cache.find(std::string_view(fileName));
    if (it != cache.end())
        return it->second;
    oxSmartPointer<oxDirectory> directory = oxOXBReader::readDirectory(fileName);
    if (!directory)
        return nullptr;
    return cache.emplace(fileName, directory).first->second;
}

oxInfo* oxResource::getInfoByType(const oxMetaObject* type, const char* fileName, int index)
{
    oxDirectory* directory = getDirectory(fileName);
    return directory ? directory->getInfoByType(type, nullptr, index) : nullptr;
}

void oxResource::setDirectory(const char* fileName, oxDirectory* directory)
{
    if (!fileName)
        return;
    if (directory)
        directories()[fileName] = directory;
    else
        releaseDirectory(fileName);
}

int oxResource::getDirectoryCount()
{
    return int(directories().size());
}

oxResult oxResource::releaseDirectory(const char* fileName)
{
    auto& cache = directories();
    auto it = fileName ? cache.find(std::string_view(fileName)) : cache.end();
    if (it == cache.end())
        return kFailure;
    cache.erase(it);
    return kSuccess;
}

void oxResource::releaseAll()
{
    // Moved out first: releasing a directory may run code that asks for another.
    auto old = std::move(directories());
    directories().clear();
}

} // namespace Kel::Core
