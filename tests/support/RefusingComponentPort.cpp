#include "support/RefusingComponentPort.h"

#include <winsock2.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace TestSupport
{
namespace
{

sockaddr_in Endpoint(const std::string& host)
{
    const std::size_t colon = host.rfind(':');
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(host.substr(0, colon).c_str());
    address.sin_port = htons(static_cast<u_short>(std::stoi(host.substr(colon + 1))));
    return address;
}

} // namespace

RefusingComponentPort::RefusingComponentPort()
    : RefusingComponentPort(BRISKEN_COMPONENTS_HOST)
{
}

RefusingComponentPort::RefusingComponentPort(const char* host)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET held = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    handle = held;
    const sockaddr_in address = Endpoint(host);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (bind(held, reinterpret_cast<const sockaddr*>(&address), sizeof address))
    {
        if (std::chrono::steady_clock::now() > end)
        {
            closesocket(held);
            WSACleanup();
            throw std::runtime_error("the component service port stays taken: " + std::string(host));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

RefusingComponentPort::~RefusingComponentPort()
{
    closesocket(static_cast<SOCKET>(handle));
    WSACleanup();
}

} // namespace TestSupport
