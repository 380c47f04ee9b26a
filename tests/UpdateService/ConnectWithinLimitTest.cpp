// The component lookup's connect callback: a refused connection or an unknown host fails at
// once with the runtime's error conventions, not when the connect limit ends, and a connection
// that is accepted comes back ready for the runtime.
#include "UpdateService/ConnectWithinLimit.h"

#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <ostream>
#include <string>

using UpdateService::Wrapper::ConnectWithinLimit;

namespace
{

// So long that waiting it out would count as a hang: a call that ends within the bound, which
// nothing but such a wait exceeds however busy the machine, did not wait for it.
const int ConnectLimitSeconds = 600;
const long long BoundMilliseconds = 60000;

class WinsockSocket
{
public:
    WinsockSocket()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    }
    ~WinsockSocket()
    {
        closesocket(handle);
        WSACleanup();
    }
    WinsockSocket(const WinsockSocket&) = delete;
    WinsockSocket& operator=(const WinsockSocket&) = delete;

    // Bound to a free loopback port; listening only when asked.
    int BindLoopback(bool listening)
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        EXPECT_EQ(bind(handle, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length), 0);
        if (listening)
        {
            EXPECT_EQ(listen(handle, 1), 0);
        }
        return ntohs(address.sin_port);
    }

private:
    SOCKET handle;
};

struct FailureCase
{
    const char* name;
    std::string host;
    bool refusedOnLoopback; // else the name lookup fails
};

const FailureCase FailureCases[] = {
    {"nothing_listens", "127.0.0.1", true},
    {"unresolvable_host", "brisken-nowhere.invalid", false},
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class ConnectWithinLimitFailureTest : public testing::TestWithParam<FailureCase>
{
};

// What a read from a connection with nothing to read says: at once WSAEWOULDBLOCK when the
// socket is non-blocking, else WSAETIMEDOUT after a short receive limit set here.
int ReadWithNothingToRead(SOCKET connection)
{
    const DWORD limitMilliseconds = 500;
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limitMilliseconds),
        sizeof limitMilliseconds);
    char byte = 0;
    EXPECT_EQ(recv(connection, &byte, 1, 0), SOCKET_ERROR);
    return WSAGetLastError();
}

} // namespace

// Through the generated proxy, as the lookup uses it.
TEST_P(ConnectWithinLimitFailureTest, FailsAtOnceWithTheRuntimesTcpError)
{
    const FailureCase& c = GetParam();
    WinsockSocket closedPort;
    const int port = c.refusedOnLoopback ? closedPort.BindLoopback(false) : 80;
    ComponentsService::ComponentsServiceSoapProxy proxy;
    proxy.connect_timeout = ConnectLimitSeconds;
    proxy.fopen = ConnectWithinLimit;
    const std::string endpoint = "http://" + c.host + ":" + std::to_string(port) + "/components.asmx";
    ComponentsService::_tempuri__GetComponentInfo request;
    ComponentsService::_tempuri__GetComponentInfoResponse response;

    const auto start = std::chrono::steady_clock::now();
    const int result = proxy.GetComponentInfo(endpoint.c_str(), nullptr, &request, response);
    const long long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(result, SOAP_TCP_ERROR);
    EXPECT_LT(elapsed, BoundMilliseconds) << "milliseconds";
    EXPECT_EQ(proxy.socket, SOAP_INVALID_SOCKET);
    if (c.refusedOnLoopback)
    {
        EXPECT_EQ(proxy.errnum, WSAECONNREFUSED);
    }
    else
    {
        EXPECT_NE(proxy.errnum, 0);
    }
    proxy.destroy();
}

INSTANTIATE_TEST_SUITE_P(Endpoints, ConnectWithinLimitFailureTest, testing::ValuesIn(FailureCases),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(ConnectWithinLimitTest, AcceptedConnectionComesBackWithoutTheNagleDelay)
{
    WinsockSocket listener;
    const int port = listener.BindLoopback(true);
    soap context;
    context.connect_timeout = ConnectLimitSeconds;
    context.recv_timeout = ConnectLimitSeconds;

    const SOAP_SOCKET connected = ConnectWithinLimit(&context, "http://127.0.0.1/", "127.0.0.1", port);

    ASSERT_NE(connected, SOAP_INVALID_SOCKET);
    EXPECT_EQ(context.errnum, 0);
    int noDelay = 0;
    int length = sizeof noDelay;
    EXPECT_EQ(getsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&noDelay), &length), 0);
    EXPECT_NE(noDelay, 0);
    closesocket(connected);
}

// With a send or receive limit the runtime waits in select before each send and recv, so a
// blocking socket could still hang in them; without limits it never waits and needs a blocking one.
TEST(ConnectWithinLimitTest, AcceptedConnectionIsNonBlockingExactlyWhenTheRuntimeHasLimits)
{
    const struct
    {
        const char* name;
        int sendTimeout;
        int recvTimeout;
        int readError;
    } cases[] = {
        {"receive limit", 0, ConnectLimitSeconds, WSAEWOULDBLOCK},
        {"send limit", ConnectLimitSeconds, 0, WSAEWOULDBLOCK},
        {"both limits", ConnectLimitSeconds, ConnectLimitSeconds, WSAEWOULDBLOCK},
        {"no limits", 0, 0, WSAETIMEDOUT},
    };
    for (const auto& c : cases)
    {
        WinsockSocket listener;
        const int port = listener.BindLoopback(true);
        soap context;
        context.connect_timeout = ConnectLimitSeconds;
        context.send_timeout = c.sendTimeout;
        context.recv_timeout = c.recvTimeout;

        const SOAP_SOCKET connected = ConnectWithinLimit(&context, "http://127.0.0.1/", "127.0.0.1", port);

        ASSERT_NE(connected, SOAP_INVALID_SOCKET) << c.name;
        EXPECT_EQ(ReadWithNothingToRead(connected), c.readError) << c.name;
        closesocket(connected);
    }
}

// The lookup's own connect, within a limit it gives as a timeval, leaves the socket in the mode it asks.
TEST(ConnectWithinLimitTest, ConnectionComesBackInTheModeAsked)
{
    const struct
    {
        UpdateService::Wrapper::SocketMode mode;
        int readError;
    } cases[] = {
        {UpdateService::Wrapper::SocketMode::NonBlocking, WSAEWOULDBLOCK},
        {UpdateService::Wrapper::SocketMode::Blocking, WSAETIMEDOUT},
    };
    for (const auto& c : cases)
    {
        WinsockSocket listener;
        const int port = listener.BindLoopback(true);
        soap context;
        const timeval limit = {ConnectLimitSeconds, 0};

        const SOAP_SOCKET connected = ConnectWithinLimit(&context, "127.0.0.1", port, &limit, c.mode);

        ASSERT_NE(connected, SOAP_INVALID_SOCKET) << c.readError;
        EXPECT_EQ(context.errnum, 0);
        EXPECT_EQ(ReadWithNothingToRead(connected), c.readError);
        closesocket(connected);
    }
}
