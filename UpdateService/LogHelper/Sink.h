#pragma once

#include <cstdint>
#include <string>

namespace LogHelper
{

// Receives the component update service client's finished messages. Owned by whoever registers
// it; the facade refers to it only weakly and never deletes it through this interface.
class Sink
{
public:
    virtual void Write(const std::wstring& component, const std::string& function, int line,
        std::int32_t level, const std::wstring& message) = 0;
    virtual bool IsEnabled(std::int32_t level) = 0;

protected:
    ~Sink() = default;
};

} // namespace LogHelper
