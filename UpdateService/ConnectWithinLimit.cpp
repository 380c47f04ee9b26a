#include "UpdateService/ConnectWithinLimit.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace UpdateService
{
namespace Wrapper
{
namespace
{

// The runtime starts Winsock in its own connect only, which this one replaces.
bool WinsockStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOAP_SOCKET Fail(soap* context, SOAP_SOCKET socket, int errnum, const char* what)
{
    if (socket != SOAP_INVALID_SOCKET)
        context->fclosesocket(context, socket);
    context->errnum = errnum;
    soap_set_receiver_error(context, what, "connect failed in ConnectWithinLimit()", SOAP_TCP_ERROR);
    return SOAP_INVALID_SOCKET;
}

bool SetNonBlocking(SOAP_SOCKET socket, bool nonBlocking)
{
    u_long mode = nonBlocking ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode) == 0;
}

// What the runtime's own connect sets on an HTTP client socket: no Nagle delay between the
// header and the body, and its buffer sizes.
bool SetRuntimeOptions(const soap* context, SOAP_SOCKET socket)
{
    const int noDelay = 1;
    const char* const value = reinterpret_cast<const char*>(&noDelay);
    if (setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, value, sizeof noDelay))
        return false;
    if (context->sndbuf > 0 &&
        setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&context->sndbuf), sizeof(int)))
        return false;
    return context->rcvbuf <= 0 ||
           !setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&context->rcvbuf), sizeof(int));
}

// The runtime's limits: positive seconds, negative microseconds, zero no limit.
timeval FromRuntimeLimit(int timeout)
{
    timeval limit = {};
    if (timeout > 0)
        limit.tv_sec = timeout;
    else
    {
        limit.tv_sec = -timeout / 1000000;
        limit.tv_usec = -timeout % 1000000;
    }
    return limit;
}

// Windows reports a refused non-blocking connect in the exception set, never in the write set.
int AwaitConnection(SOAP_SOCKET socket, const timeval* limit)
{
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval left = limit ? *limit : timeval{};
    return select(0, nullptr, &writable, &failed, limit ? &left : nullptr);
}

} // namespace

SOAP_SOCKET ConnectWithinLimit(soap* context, const char* host, int port, const timeval* limit, SocketMode mode)
{
    context->errnum = 0;
    if (!WinsockStarted())
        return Fail(context, SOAP_INVALID_SOCKET, 0, "WSAStartup failed");

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    const char* const target = context->proxy_host ? context->proxy_host : host;
    address.sin_port = htons(static_cast<u_short>(context->proxy_host ? context->proxy_port : port));
    if (context->fresolve(context, target, &address.sin_addr))
        return Fail(context, SOAP_INVALID_SOCKET, context->errnum, "get host by name failed");

    const SOAP_SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connection == SOAP_INVALID_SOCKET)
        return Fail(context, connection, WSAGetLastError(), "socket failed");
    if (!SetRuntimeOptions(context, connection) || !SetNonBlocking(connection, true))
        return Fail(context, connection, WSAGetLastError(), "setsockopt failed");

    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address))
    {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS)
            return Fail(context, connection, error, "connect failed");
        const int ready = AwaitConnection(connection, limit);
        if (ready == 0)
            return Fail(context, connection, 0, "Timeout");
        if (ready < 0)
            return Fail(context, connection, WSAGetLastError(), "select failed");
        int outcome = 0;
        int length = sizeof outcome;
        if (getsockopt(connection, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&outcome), &length))
            return Fail(context, connection, WSAGetLastError(), "connect failed");
        if (outcome)
            return Fail(context, connection, outcome, "connect failed");
    }

    if (!SetNonBlocking(connection, mode == SocketMode::NonBlocking))
        return Fail(context, connection, WSAGetLastError(), "ioctlsocket failed");
    return connection;
}

// With send or receive limits the runtime's own I/O waits in select and must never block in send
// or recv; without them it never waits and needs a blocking socket.
SOAP_SOCKET ConnectWithinLimit(soap* context, const char* /*endpoint*/, const char* host, int port)
{
    const timeval limit = FromRuntimeLimit(context->connect_timeout);
    const SocketMode mode =
        context->recv_timeout || context->send_timeout ? SocketMode::NonBlocking : SocketMode::Blocking;
    return ConnectWithinLimit(context, host, port, context->connect_timeout ? &limit : nullptr, mode);
}

} // namespace Wrapper
} // namespace UpdateService
