#pragma once

#include <string>
#include <vector>

namespace TestSupport
{

// The component service stand-in (StandIns/ComponentService) on the lookup's default endpoint
// (or at the host:port given), started with the answer a test needs (the peer's options, such as "--version", "1.2.3.4" or
// "--silent") and stopped when the object goes. Wine starts the peer as a Linux process beside
// the test; the two meet only through files in a state folder and the loopback port.
class ComponentServicePeer
{
public:
    explicit ComponentServicePeer(const std::vector<std::wstring>& answer = {});
    ComponentServicePeer(const std::vector<std::wstring>& answer, const char* host);
    ~ComponentServicePeer();
    ComponentServicePeer(const ComponentServicePeer&) = delete;
    ComponentServicePeer& operator=(const ComponentServicePeer&) = delete;

    // The last request the peer received, empty when there was none: its HTTP request line and
    // headers, and its body.
    std::string RequestHead() const;
    std::string RequestBody() const;
    // The request line and headers of the last GET the peer received (only an entity's URL is
    // asked that way), empty when there was none.
    std::string FetchHead() const;

private:
    std::wstring StateFile(const wchar_t* name) const;

    std::wstring stateFolder;
};

} // namespace TestSupport
