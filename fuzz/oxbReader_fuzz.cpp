// libFuzzer target over the scene-file reader. Besides what the sanitizers catch, an input
// fails when the reader accepts a graph the writer cannot store again, or when objects
// outlive the read.
#include <cstdint>
#include <vector>

#include "fuzz/oxbSampleScenes.h"

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
    oxbsamples::registerLibraries();
    Kel::Core::oxSetWarningHandler(&ignoreWarning);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Kel::Core;
    int before = liveObjects();
    {
        oxOXBReader reader;
        if (reader.read(data, size, "fuzz.oxb") == kSuccess) {
            std::vector<uint8_t> again;
            if (!reader.getRoot() || oxOXBWriter::writeMemory(reader.getRoot(), again) != kSuccess)
                __builtin_trap();
        } else if (reader.getError().empty() || reader.getObjectCount() != 0) {
            __builtin_trap();
        }
    }
    if (liveObjects() != before)
        __builtin_trap();
    return 0;
}
