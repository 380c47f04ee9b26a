#pragma once

#include "Program/LogLine.h"
#include "Program/Logger.h"

namespace BriskenCommandLineScanner
{

// One "Error" line in this run's log, the parts as LogLine joins them. Throws what building
// the line throws (std::bad_alloc) and the Logger's dead reference after exit.
template <typename... Parts>
void LogError(const Parts&... message)
{
    Logger::Instance().Write(LogLine(L"Error", message...));
}

// The same for places nothing may leave (destructors, deleters, callbacks, the last barrier):
// a line that cannot be built or written is lost. Pass CurrentExceptionText() rather than the
// text itself, so that describing the exception is guarded too.
template <typename... Parts>
void LogErrorNoThrow(const Parts&... message) noexcept
{
    try
    {
        LogError(message...);
    }
    catch (...)
    {
    }
}

} // namespace BriskenCommandLineScanner
