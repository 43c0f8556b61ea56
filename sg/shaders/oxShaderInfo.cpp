#include "sg/shaders/oxShaderInfo.h"

#include <cstdio>
#include <string>

namespace Kel::Sg {

namespace {
constexpr const char* kInfoName = "shaderInfo";
constexpr const char* kEmptyFactoryName = "empty";
oxShaderInfo::FactoryMaker g_factoryMaker = nullptr;
} // namespace

void oxShaderInfo::arkRegisterInitialize(oxFields<oxShaderInfo>& f)
{
    f.add(OX_FIELD(factoryList)).constructWithOwner();
}

void oxShaderInfo::arkRegisterUser()
{
    oxShaderFactoryList::arkRegister();
    oxDirectory* system = oxResource::getSystemDirectory();
    oxSmartPointer<oxShaderInfo> info = _instantiateFromPool(nullptr);
    info->setName(kInfoName);
    system->appendInfo(info);
    oxSmartPointer<oxShaderFactory> empty = oxShaderFactory::_instantiateFromPool(nullptr);
    empty->setName(kEmptyFactoryName);
    info->_factoryList->append(empty);
    oxMetaObject::registerClassDestructor([] {
        oxDirectory* directory = oxResource::getSystemDirectory();
        if (oxInfo* found = directory->getInfoByType(getClassType(), kInfoName))
            directory->removeInfo(found);
    });
}

oxShaderInfo* oxShaderInfo::getSystemShaderInfo()
{
    oxMetaObject* meta = getClassType();
    if (!meta || !meta->isRegistered())
        return nullptr;
    return static_cast<oxShaderInfo*>(oxResource::getSystemDirectory()->getInfoByType(meta, kInfoName));
}

void oxShaderInfo::setFactoryMaker(FactoryMaker maker)
{
    g_factoryMaker = maker;
}

oxShaderInfo::FactoryMaker oxShaderInfo::getFactoryMaker()
{
    return g_factoryMaker;
}

oxShaderFactory* oxShaderInfo::findFactory(const char* name) const
{
    if (!name || !_factoryList)
        return nullptr;
    for (int i = 0; i < _factoryList->getCount(); ++i) {
        oxShaderFactory* factory = _factoryList->get(i);
        if (factory && factory->getName() == name)
            return factory;
    }
    return nullptr;
}

oxShaderFactory* oxShaderInfo::fetchFactory(const char* name)
{
    if (!name)
        return nullptr;
    if (oxShaderFactory* listed = findFactory(name))
        return listed;
    if (!g_factoryMaker || !_factoryList)
        return nullptr;
    const std::string fileName = std::string(name) + ".qsd";
    oxSmartPointer<oxShaderFactory> made = g_factoryMaker(fileName.c_str(), getMemoryPool());
    // The file names the implementation it describes: a file found under another name (in
    // another letter case, say) does not stand for this one.
    if (!made || made->getName().isNull() || !(made->getName() == name))
        return nullptr;
    _factoryList->append(made);
    return made;
}

oxObject* oxShaderInfo::resolve(const char* name)
{
    if (oxShaderFactory* factory = findFactory(name))
        return factory;
    return findFactory(kEmptyFactoryName);
}

bool oxShaderInfo::attemptResolve(oxDirectory* directory, void* object)
{
    if (!directory || !object || !_factoryList)
        return false;
    for (int i = 0; i < _factoryList->getCount(); ++i) {
        oxShaderFactory* factory = _factoryList->get(i);
        if (static_cast<void*>(factory) == object)
            return factory->getFileCachingMode() != oxShaderFactory::PERSISTENT_CACHE;
    }
    return false;
}

} // namespace Kel::Sg
