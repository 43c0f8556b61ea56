#include "platform/core/oxOutput.h"

#include <cstdio>
#include <string>

namespace Kel::Core {

namespace {
oxOutput::Handler g_outHandler = nullptr;
oxWarningHandler g_warningHandler = nullptr;
} // namespace

void oxOutput::toStandardOut(const char* text)
{
    if (!text)
        return;
    if (g_outHandler)
        g_outHandler(text);
    else
        std::fputs(text, stdout);
}

void oxOutput::flushStandardOut()
{
    if (!g_outHandler)
        std::fflush(stdout);
}

oxOutput::Handler oxOutput::setStandardOutHandler(Handler handler)
{
    Handler old = g_outHandler;
    g_outHandler = handler;
    return old;
}

std::string oxFormatV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void oxReportWarningV(const char* format, va_list args)
{
    std::string text = oxFormatV(format, args);
    if (g_warningHandler)
        g_warningHandler(text.c_str());
    else
        std::fprintf(stderr, "OXSg warning: %s\n", text.c_str());
}

void oxReportWarning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    oxReportWarningV(format, args);
    va_end(args);
}

oxWarningHandler oxSetWarningHandler(oxWarningHandler handler)
{
    oxWarningHandler old = g_warningHandler;
    g_warningHandler = handler;
    return old;
}

} // namespace Kel::Core
