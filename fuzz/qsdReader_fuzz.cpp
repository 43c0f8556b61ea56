// libFuzzer target over the configuration texts: one input is read as a registry, as a
// driver database's rules, and as a shader description that configures a shader, each
// through its own parser. Besides what the sanitizers catch, an input fails when a parser
// half-applies a text it refused, or when objects outlive the configuration.
#include <cstdint>
#include <string_view>

#include "platform/core/oxDriverDatabase.h"
#include "platform/core/oxRegistry.h"
#include "sg/OXSg.h"

namespace {
void ignoreWarning(const char*) {}

int liveObjects()
{
    int n = 0;
    for (int i = 0; i < Kel::Core::oxMetaObject::getRegisteredCount(); ++i)
        n += Kel::Core::oxMetaObject::getRegistered(i)->getInstanceCount();
    return n;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Kel::libOXSg_arkRegister();
    Kel::Core::oxSetWarningHandler(&ignoreWarning);
    // What lives for the whole process (the global registry and rules, the shader
    // information) is made before the first input counts the objects.
    Kel::Core::oxRegistry::getGlobal();
    Kel::Sg::oxIniShaderFactory::configureFromText("[Interface]\nsection = warm\n[warm]\nattrs = a\na.type = oxColorAttr\n");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Kel::Core;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int before = liveObjects();
    {
        oxSmartPointer<oxRegistry> registry = oxRegistry::_instantiateRef();
        if (registry->loadFromMemory(text, "fuzz.qsd") != Kel::kSuccess && registry->getSectionCount() != 0)
            __builtin_trap();
        oxSmartPointer<oxDriverDatabase> rules = oxDriverDatabase::_instantiateRef();
        rules->loadFromMemory(text, "fuzz.cfg");
        Kel::Sg::oxIniShaderFactory::configureFromText(text);
    }
    if (liveObjects() > before)
        __builtin_trap();
    return 0;
}
