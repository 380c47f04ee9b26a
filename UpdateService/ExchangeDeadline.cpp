#include "UpdateService/ExchangeDeadline.h"

#include "UpdateService/ConnectWithinLimit.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>

namespace UpdateService
{
namespace Wrapper
{
namespace
{

using Clock = std::chrono::steady_clock;

timeval ToTimeval(Clock::duration remaining)
{
    const long long microseconds = std::chrono::duration_cast<std::chrono::microseconds>(remaining).count() + 1;
    timeval limit = {};
    limit.tv_sec = static_cast<long>(std::min<long long>(microseconds / 1000000, LONG_MAX));
    limit.tv_usec = static_cast<long>(microseconds % 1000000);
    return limit;
}

SOAP_SOCKET SocketOf(const soap* context, SOAP_SOCKET own)
{
    return soap_valid_socket(own) ? own : context->socket;
}

int Piece(std::size_t size)
{
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

bool Retry(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

} // namespace

ExchangeDeadline::ExchangeDeadline(Clock::duration limit) : end(Clock::now() + limit)
{
}

SOAP_SOCKET ExchangeDeadline::Connect(soap* context, const char* /*endpoint*/, const char* host, int port) const
{
    const timeval limit = ToTimeval(std::max(end - Clock::now(), Clock::duration::zero()));
    return ConnectWithinLimit(context, host, port, &limit, SocketMode::NonBlocking);
}

int ExchangeDeadline::Send(soap* context, const char* data, std::size_t size) const
{
    context->errnum = 0;
    const SOAP_SOCKET socket = SocketOf(context, context->sendsk);
    while (size > 0)
    {
        const int ready = Await(context, socket, true);
        if (ready <= 0)
            return SOAP_EOF;
        const int sent = send(socket, data, Piece(size), context->socket_flags);
        if (sent < 0)
        {
            const int error = WSAGetLastError();
            if (Retry(error))
                continue;
            context->errnum = error;
            return SOAP_EOF;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return SOAP_OK;
}

std::size_t ExchangeDeadline::Receive(soap* context, char* data, std::size_t size) const
{
    context->errnum = 0;
    const SOAP_SOCKET socket = SocketOf(context, context->recvsk);
    for (;;)
    {
        if (Await(context, socket, false) <= 0)
            return 0;
        const int received = recv(socket, data, Piece(size), context->socket_flags);
        if (received >= 0)
            return static_cast<std::size_t>(received);
        const int error = WSAGetLastError();
        if (!Retry(error))
        {
            context->errnum = error;
            return 0;
        }
    }
}

// select may come back a little early (the timer's granularity): only the clock says that the
// deadline has passed.
int ExchangeDeadline::Await(soap* context, SOAP_SOCKET socket, bool writing) const
{
    if (!soap_valid_socket(socket))
    {
        context->errnum = WSAENOTSOCK;
        return -1;
    }
    for (;;)
    {
        const Clock::duration remaining = end - Clock::now();
        if (remaining <= Clock::duration::zero())
        {
            context->errnum = WSAETIMEDOUT;
            return 0;
        }
        fd_set sockets;
        FD_ZERO(&sockets);
        FD_SET(socket, &sockets);
        timeval limit = ToTimeval(remaining);
        const int ready = select(0, writing ? nullptr : &sockets, writing ? &sockets : nullptr, nullptr, &limit);
        if (ready > 0)
            return ready;
        const int error = ready < 0 ? WSAGetLastError() : 0;
        if (ready < 0 && !Retry(error))
        {
            context->errnum = error;
            return -1;
        }
    }
}

} // namespace Wrapper
} // namespace UpdateService
