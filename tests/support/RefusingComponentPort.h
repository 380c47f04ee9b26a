#pragma once

#include <cstdint>

namespace TestSupport
{

// Holds the lookup's default endpoint (or the host:port given) bound but not listening, so that a connection there is
// refused for as long as the object lives. It first waits (up to half a minute) until no component
// service peer of another test run on this machine listens there. It cannot keep out a peer that
// starts meanwhile: Wine binds with address reuse, which lets a peer that reuses addresses bind
// and listen beside it; so hold it only for the moment of the call.
class RefusingComponentPort
{
public:
    RefusingComponentPort();
    explicit RefusingComponentPort(const char* host);
    ~RefusingComponentPort();
    RefusingComponentPort(const RefusingComponentPort&) = delete;
    RefusingComponentPort& operator=(const RefusingComponentPort&) = delete;

private:
    std::uintptr_t handle;
};

} // namespace TestSupport
