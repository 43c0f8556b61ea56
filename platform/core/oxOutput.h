#pragma once
#include <cstdarg>
#include <string>

namespace Kel::Core {

// Debug printing and warnings. Hosts (and tests) can redirect both; by default text goes
// to the process's standard output and warnings to standard error.
class oxOutput {
public:
    using Handler = void (*)(const char* text);

    static void toStandardOut(const char* text);
    static void flushStandardOut();
    // Returns the previous handler; null restores the default.
    static Handler setStandardOutHandler(Handler handler);
};

// printf-style formatting into a string, for messages built before they are reported.
std::string oxFormatV(const char* format, va_list args);

using oxWarningHandler = void (*)(const char* message);

// printf-style; the message reaches the installed handler without a trailing newline.
void oxReportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void oxReportWarningV(const char* format, va_list args);
// Returns the previous handler; null restores the default (standard error).
oxWarningHandler oxSetWarningHandler(oxWarningHandler handler);

} // namespace Kel::Core

namespace Kel {
using Core::oxReportWarning;
}
