#include "UpdateService/LogHelper/Log.h"

#include <boost/shared_ptr.hpp>

#include <cstdlib>

namespace LogHelper
{

Log* Log::instance = nullptr;
bool Log::teardownRegistered = false;

Log* Log::Instance()
{
    // Not locked: the first use is on the main thread before any other.
    if (!instance)
        Create();
    return instance;
}

bool Log::IsEnabled(std::int32_t level) const
{
    // The strong reference keeps a sink that is being released elsewhere alive for this call only.
    const boost::shared_ptr<Sink> live = sink.lock();
    return live && live->IsEnabled(level);
}

void Log::Write(const std::wstring& component, const std::string& function, int line,
    std::int32_t level, const std::wstring& message) const
{
    if (const boost::shared_ptr<Sink> live = sink.lock())
        live->Write(component, function, line, level, message);
}

void Log::Create()
{
    if (instance)
        return;
    instance = new Log;
    // A facade made again after the teardown lives until the process ends.
    if (!teardownRegistered)
    {
        teardownRegistered = true;
        std::atexit(&Destroy);
    }
}

void Log::Destroy()
{
    delete instance;
    instance = nullptr;
}

} // namespace LogHelper
