// libFuzzer target over the configuration texts: one input is read as a registry, as a
// driver database's rules, and as a shader description that configures a shader, each
// through its own parser. Besides what the sanitizers catch (LeakSanitizer finds objects that
// outlive the configuration), an input fails when the registry half-applies a text it
// refused.
#include <cstdint>
#include <string_view>

#include "platform/core/oxDriverDatabase.h"
#include "platform/core/oxRegistry.h"
#include "sg/OXSg.h"

namespace {
void ignoreWarning(const char*) {}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Kel::libOXSg_arkRegister();
    Kel::Core::oxSetWarningHandler(&ignoreWarning);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Kel::Core;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    oxSmartPointer<oxRegistry> registry = oxRegistry::_instantiateRef();
    if (registry->loadFromMemory(text, "fuzz.qsd") != Kel::kSuccess && registry->getSectionCount() != 0)
        __builtin_trap();
    oxSmartPointer<oxDriverDatabase> rules = oxDriverDatabase::_instantiateRef();
    rules->loadFromMemory(text, "fuzz.cfg");
    Kel::Sg::oxIniShaderFactory::configureFromText(text);
    return 0;
}
