#pragma once
// Helpers shared by the node tests.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "sg/OXSg.h"
#include "tests/sg/core/oxbTestSupport.h"

namespace nodetest {
using namespace Kel::Sg;

// Node tests read scene files and make classes by name: everything registers first.
class Registered : public ::testing::Test {
protected:
    static void SetUpTestSuite() { oxbtest::registerAll(); }
};

inline oxMatrix44f translation(float x, float y, float z)
{
    oxMatrix44f m;
    m.makeTranslation(oxVec3f(x, y, z));
    return m;
}

// `root` written to a scene file in memory and read back; null when either step fails.
inline oxSmartPointer<oxObject> throughFile(oxObject* root)
{
    std::vector<uint8_t> bytes;
    if (oxOXBWriter::writeMemory(root, bytes) != kSuccess)
        return nullptr;
    return oxOXBReader::readObject(bytes.data(), bytes.size(), "node test");
}

} // namespace nodetest
