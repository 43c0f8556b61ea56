#pragma once
#include <string>
#include <vector>

#include "platform/core/oxOutput.h"

// Collects the warnings reported while it lives, instead of printing them.
class oxWarningCapture {
public:
    oxWarningCapture() : _previous(Kel::Core::oxSetWarningHandler(&collect)) { messages().clear(); }
    ~oxWarningCapture() { Kel::Core::oxSetWarningHandler(_previous); }
    oxWarningCapture(const oxWarningCapture&) = delete;
    oxWarningCapture& operator=(const oxWarningCapture&) = delete;

    const std::vector<std::string>& get() const { return messages(); }
    static std::vector<std::string>& messages()
    {
        static std::vector<std::string> list;
        return list;
    }

private:
    static void collect(const char* message) { messages().push_back(message); }
    Kel::Core::oxWarningHandler _previous;
};
