#pragma once

#include <cstdint>

namespace TestSupport
{

// Holds the lookup's default endpoint bound but not listening, so that a connection there is
// refused for as long as the object lives, even when a component service peer of another test
// run on this machine wants the same port (it waits up to half a minute for the port to be free).
class RefusingComponentPort
{
public:
    RefusingComponentPort();
    ~RefusingComponentPort();
    RefusingComponentPort(const RefusingComponentPort&) = delete;
    RefusingComponentPort& operator=(const RefusingComponentPort&) = delete;

private:
    std::uintptr_t handle;
};

} // namespace TestSupport
