#pragma once

#include <stdsoap2.h>

namespace UpdateService
{
namespace Wrapper
{

// The runtime's timed connect waits in the write set only, where Windows never reports a refused
// connection, so with no service listening it would wait out the whole limit.

enum class SocketMode
{
    Blocking,
    NonBlocking
};

// Connects to host:port (or to the context's HTTP proxy) and returns the socket in mode, with the
// options the runtime's own connect sets. The name is looked up first (the context's fresolve),
// with no limit of its own; then the connection must be made within limit (none when null). On
// failure returns SOAP_INVALID_SOCKET with the context's error set to SOAP_TCP_ERROR and errnum to
// the socket error (0 for a timeout).
SOAP_SOCKET ConnectWithinLimit(soap* context, const char* host, int port, const timeval* limit, SocketMode mode);

// The proxy's connect callback (soap::fopen): the above within the context's connect_timeout,
// returning the socket in the mode the runtime's own connect would leave it.
SOAP_SOCKET ConnectWithinLimit(soap* context, const char* endpoint, const char* host, int port);

} // namespace Wrapper
} // namespace UpdateService
