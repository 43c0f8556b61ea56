#pragma once
// Helpers shared by the node tests.
#include <cstdint>
#include <vector>

#include "sg/OXSg.h"

namespace nodetest {
using namespace Kel::Sg;

// `root` written to a scene file in memory and read back; null when either step fails.
inline oxSmartPointer<oxObject> throughFile(oxObject* root)
{
    std::vector<uint8_t> bytes;
    if (oxOXBWriter::writeMemory(root, bytes) != kSuccess)
        return nullptr;
    return oxOXBReader::readObject(bytes.data(), bytes.size(), "node test");
}

} // namespace nodetest
