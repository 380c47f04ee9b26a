// Asks the two servers whose addresses the build was given, each as the program reaches it: a GET
// of the definitions server URL that the update SDK is handed, and a GetComponentInfo call
// through the component service proxy at its built-in endpoint. Prints one line per server,
// "definitions <url> <HTTP status>" and "components <endpoint> <SOAP result>"; exit code 0 when
// both requests were answered, 1 otherwise.
#include "DefinitionsUpdater/DefinitionsUpdater.h"

#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <windows.h>
#include <winhttp.h>

#include <iostream>
#include <memory>
#include <string>

namespace
{

struct CloseInternetHandle
{
    void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, CloseInternetHandle>;

// The HTTP status of a GET of url, 0 when no answer came.
DWORD StatusOfGet(const std::string& url)
{
    const std::wstring wideUrl(url.begin(), url.end());
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    wchar_t path[1024] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host / sizeof host[0];
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path / sizeof path[0];
    if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts))
        return 0;
    const InternetHandle session(
        WinHttpOpen(L"ServerSettingsProbe", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session || !WinHttpSetTimeouts(session.get(), 10000, 10000, 10000, 10000))
        return 0;
    const InternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    const InternetHandle request(connection
            ? WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
            : nullptr);
    if (!request || !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return 0;
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
            &status, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return status;
}

} // namespace

int wmain(int, wchar_t*[])
{
    const std::string definitionsUrl = BriskenCommandLineScanner::DefinitionsUpdater::ServerUrl();
    const DWORD status = StatusOfGet(definitionsUrl);
    std::cout << "definitions " << definitionsUrl << " " << status << std::endl;

    ComponentsService::ComponentsServiceSoapProxy proxy;
    proxy.connect_timeout = proxy.send_timeout = proxy.recv_timeout = 10;
    ComponentsService::_tempuri__GetComponentInfo request;
    ComponentsService::_tempuri__GetComponentInfoResponse response;
    const int result = proxy.GetComponentInfo(&request, response);
    std::cout << "components " << (proxy.soap_endpoint ? proxy.soap_endpoint : "") << " " << result << std::endl;
    // SOAP_EOF, SOAP_TCP_ERROR and the like: the request never got an answer.
    const bool answered = result == SOAP_OK || result == SOAP_FAULT || (result >= 400 && result < 600);
    proxy.destroy();
    return status != 0 && answered ? 0 : 1;
}
