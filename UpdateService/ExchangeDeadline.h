#pragma once

#include <stdsoap2.h>

#include <chrono>
#include <cstddef>

namespace UpdateService
{
namespace Wrapper
{

// One limit for a whole exchange: connecting, sending the request and receiving the reply end
// together when it ends, however the peer paces them. The runtime's own limits apply to each wait
// (each receive, each send) and its transfer limit starts only with the reply, so a peer sending
// a byte just before each wait ran out could hold an exchange for several times the limit.
//
// A host name is looked up (the context's fresolve) before the timed connect and is not held to
// the deadline: the system's lookup takes no limit. Its time counts against the deadline, so a
// lookup that outlasts it fails the exchange once it ends. An IPv4 address needs no lookup.
//
// The three operations have the shapes of the context's connect, send and receive callbacks
// (soap::fopen, fsend, frecv) and take their sockets from the context as the runtime's own do;
// the deadline is fixed when the object is made.
class ExchangeDeadline
{
public:
    explicit ExchangeDeadline(std::chrono::steady_clock::duration limit);

    // ConnectWithinLimit within what is left of the limit, after the name lookup; the socket is
    // non-blocking, as Send and Receive wait for it in select.
    SOAP_SOCKET Connect(soap* context, const char* endpoint, const char* host, int port) const;
    // Sends all of data before the deadline: SOAP_OK, or SOAP_EOF with the context's errnum set
    // (WSAETIMEDOUT when the deadline passed).
    int Send(soap* context, const char* data, std::size_t size) const;
    // Receives what has come, up to size bytes, waiting until the deadline at most. 0 when nothing
    // more comes, and then the context's errnum tells why: 0 only when the peer closed the
    // connection in order, WSAETIMEDOUT when the deadline passed, else the socket's error.
    std::size_t Receive(soap* context, char* data, std::size_t size) const;

private:
    // Waits until the socket can be written (or read), an error shows on it, or the deadline
    // passes: > 0 ready, 0 deadline passed, < 0 the socket error in the context's errnum.
    int Await(soap* context, SOAP_SOCKET socket, bool writing) const;

    const std::chrono::steady_clock::time_point end;
};

} // namespace Wrapper
} // namespace UpdateService
