#pragma once
#include "sg/shaders/oxShaderFactory.h"

namespace Kel::Sg {

// The process's shader factories, found by implementation name. One info named
// "shaderInfo" lives in the system directory of the scene-file resource from the class's
// registration on, with the base factory "empty" listed first; factories for other names
// are made from shader description files ("<name>.qsd") by the factory maker that the
// description-file factory installs.
class oxShaderInfo : public oxInfo {
    OX_CLASS(oxShaderInfo, oxInfo)
    OX_FIELDS(factoryList)
public:
    using FactoryMaker = oxShaderFactory* (*)(const char* fileName, oxMemoryPool* pool);

    static void arkRegisterUser();
    // The info of the system directory; null before the class is registered.
    static oxShaderInfo* getSystemShaderInfo();
    // Makes the factory of a description file; null (the default) makes none, so that only
    // listed factories are found.
    static void setFactoryMaker(FactoryMaker maker);
    static FactoryMaker getFactoryMaker();

    oxShaderFactoryList* getFactoryList() const { return _factoryList; }
    // A listed factory of that name, or the factory made from "<name>.qsd" when its
    // implementation has exactly that name (it is listed then); null otherwise.
    oxShaderFactory* fetchFactory(const char* name);
    // The listed factory of that name, else the factory "empty".
    oxObject* resolve(const char* name) override;
    // Whether a saved object can refer to `object` by name instead of storing it: true for a
    // listed factory that does not keep its files persistently.
    bool attemptResolve(oxDirectory* directory, void* object);

protected:
    oxShaderInfo() = default;
    static void arkRegisterInitialize(oxFields<oxShaderInfo>& f);
    oxShaderFactory* findFactory(const char* name) const;

    oxSmartPointer<oxShaderFactoryList> _factoryList;
};

} // namespace Kel::Sg
