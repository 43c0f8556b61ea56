#pragma once
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/oxOutput.h"
#include "platform/gfx/oxIndexArray.h"

namespace Kel::Gfx::TestUtil {

// Collects the warnings reported while it lives, so a test can say that bad input was
// reported and not merely survived.
class WarningCatcher {
public:
    WarningCatcher()
    {
        messages().clear();
        _previous = Core::oxSetWarningHandler(&WarningCatcher::collect);
    }
    ~WarningCatcher() { Core::oxSetWarningHandler(_previous); }
    WarningCatcher(const WarningCatcher&) = delete;
    WarningCatcher& operator=(const WarningCatcher&) = delete;

    const std::vector<std::string>& get() const { return messages(); }
    bool contains(const std::string& part) const
    {
        for (const std::string& m : messages())
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }
    size_t count() const { return messages().size(); }

private:
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> all;
        return all;
    }
    static void collect(const char* message) { messages().push_back(message); }

    Core::oxWarningHandler _previous = nullptr;
};

inline Core::oxSmartPointer<oxIndexArray> makeIndices(std::initializer_list<uint16_t> values)
{
    Core::oxSmartPointer<oxIndexArray> indices = oxIndexArray::_instantiateRef();
    for (uint16_t i : values)
        indices->append(i);
    return indices;
}

} // namespace Kel::Gfx::TestUtil
