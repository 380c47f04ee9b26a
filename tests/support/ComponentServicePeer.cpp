#include "support/ComponentServicePeer.h"

#include <boost/filesystem/operations.hpp>

#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace TestSupport
{
namespace
{

namespace fs = boost::filesystem;

// A Linux path as this Windows process sees it: the Linux root is drive Z:.
std::wstring WindowsView(const std::string& linuxPath)
{
    std::wstring path = L"Z:";
    for (const char c : linuxPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    for (const wchar_t c : argument)
    {
        if (c == L'"')
            quoted += L'\\';
        quoted += c;
    }
    return quoted + L"\"";
}

bool WaitForFile(const std::wstring& path, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(fs::path(path)))
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string ReadFile(const std::wstring& path)
{
    std::ifstream file(fs::path(path).string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

} // namespace

ComponentServicePeer::ComponentServicePeer(const std::vector<std::wstring>& answer)
    : ComponentServicePeer(answer, BRISKEN_COMPONENTS_HOST)
{
}

ComponentServicePeer::ComponentServicePeer(const std::vector<std::wstring>& answer, const char* host)
{
    static int started = 0;
    const std::string linuxFolder = std::string(BRISKEN_PEER_STATE_ROOT) + "/" +
        std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++started);
    stateFolder = WindowsView(linuxFolder);
    fs::remove_all(fs::path(stateFolder));
    fs::create_directories(fs::path(stateFolder));

    // The peer gets Linux paths: Wine hands a Linux program its arguments unchanged.
    const std::wstring python = WindowsView(BRISKEN_PYTHON3);
    std::wstring commandLine = Quoted(python) + L" " +
        Quoted(Widen(BRISKEN_COMPONENT_SERVICE_PEER)) + L" --listen " + Widen(host) +
        L" --state-folder " + Quoted(Widen(linuxFolder)) + L" --lifetime 300";
    for (const std::wstring& argument : answer)
        commandLine += L" " + Quoted(argument);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(python.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
            &startup, &process))
        throw std::runtime_error("the component service peer could not be started");
    // Wine gives no usable handle for a Linux process; the state folder tells what it does.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!WaitForFile(StateFile(L"ready"), std::chrono::seconds(20)))
    {
        throw std::runtime_error(
            "the component service peer did not start listening:\n" + ReadFile(StateFile(L"peer.log")));
    }
}

ComponentServicePeer::~ComponentServicePeer()
{
    std::ofstream(fs::path(StateFile(L"stop")).string()).put('\n');
    // The next peer needs the port: wait until this one has let it go.
    WaitForFile(StateFile(L"stopped"), std::chrono::seconds(20));
    boost::system::error_code ignored;
    fs::remove_all(fs::path(stateFolder), ignored);
}

std::string ComponentServicePeer::RequestHead() const
{
    return ReadFile(StateFile(L"request.http"));
}

std::string ComponentServicePeer::RequestBody() const
{
    return ReadFile(StateFile(L"request.xml"));
}

std::string ComponentServicePeer::FetchHead() const
{
    return ReadFile(StateFile(L"fetched.http"));
}

std::wstring ComponentServicePeer::StateFile(const wchar_t* name) const
{
    return stateFolder + L"\\" + name;
}

} // namespace TestSupport
