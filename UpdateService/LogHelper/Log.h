#pragma once

#include "UpdateService/LogHelper/Sink.h"

#include <boost/weak_ptr.hpp>

#include <cstdint>
#include <string>

namespace LogHelper
{

class LogTestPeer;

// The process-wide facade through which the component update service client logs. Callers ask
// IsEnabled first and compose a message only when it answers true. The sink is held weakly, so a
// sink that is released meanwhile is simply not called. This program registers no sink: every
// level answers false and nothing is written.
class Log
{
public:
    // Never null; created on first use and torn down at exit.
    static Log* Instance();

    bool IsEnabled(std::int32_t level) const;
    void Write(const std::wstring& component, const std::string& function, int line,
        std::int32_t level, const std::wstring& message) const;

private:
    friend class LogTestPeer;
    Log() = default;

    static void Create();
    static void Destroy();

    boost::weak_ptr<Sink> sink;

    static Log* instance;
    static bool teardownRegistered;
};

} // namespace LogHelper
