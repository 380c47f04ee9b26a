#pragma once

#include "UpdateService/LogHelper/Sink.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace TestSupport
{

struct LoggedMessage
{
    std::wstring component;
    std::string function;
    int line;
    std::int32_t level;
    std::wstring message;
};

// A log sink that wants every level (or those a test chooses) and keeps what it is given.
class RecordingSink final : public LogHelper::Sink
{
public:
    explicit RecordingSink(std::function<bool(std::int32_t)> wants = [](std::int32_t) { return true; })
        : wants(std::move(wants))
    {
    }

    void Write(const std::wstring& component, const std::string& function, int line, std::int32_t level,
        const std::wstring& message) override
    {
        messages.push_back({component, function, line, level, message});
    }

    bool IsEnabled(std::int32_t level) override
    {
        askedLevels.push_back(level);
        return wants(level);
    }

    std::vector<LoggedMessage> messages;
    std::vector<std::int32_t> askedLevels;

private:
    std::function<bool(std::int32_t)> wants;
};

} // namespace TestSupport
