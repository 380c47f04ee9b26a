#pragma once

#include <stdsoap2.h>

namespace UpdateService
{
namespace Wrapper
{

// The runtime's timed connect waits in the write set only, where Windows never reports a refused
// connection, so with no service listening it would wait out the whole limit.
//
// The proxy's connect callback (soap::fopen): connects to host:port (or to the context's HTTP
// proxy) within the context's connect_timeout and returns the socket in the mode the runtime's
// own connect leaves it. On failure returns SOAP_INVALID_SOCKET with the context's error set to
// SOAP_TCP_ERROR and errnum to the socket error (0 for a timeout).
SOAP_SOCKET ConnectWithinLimit(soap* context, const char* endpoint, const char* host, int port);

} // namespace Wrapper
} // namespace UpdateService
