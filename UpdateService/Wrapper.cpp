#include "UpdateService/Wrapper.h"

#include "UpdateService/DestroyProxyOnExit.h"
#include "UpdateService/LogHelper/Log.h"

#include "WmiHelper/WmiHelper.h"

#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <boost/bind/bind.hpp>

#include <cstdint>
#include <new>
#include <sstream>

#ifndef BRISKEN_COMPONENTS_TIMEOUT_SECONDS
#error "BRISKEN_COMPONENTS_TIMEOUT_SECONDS must be defined by the build"
#endif

namespace UpdateService
{
namespace Wrapper
{
namespace
{

using namespace ComponentsService;

const std::int32_t LevelNotes = 1000;
const std::int32_t LevelInfo = 2000;
const std::int32_t LevelError = 4000;

// A real answer is a few hundred bytes; anything near this is not the service talking.
const std::uint64_t MaxReplyBytes = 1024 * 1024;

// Composes and writes a message only when the facade wants its level.
template <typename Compose>
void LogIfEnabled(std::int32_t level, int line, Compose compose)
{
    LogHelper::Log* log = LogHelper::Log::Instance();
    if (!log->IsEnabled(level))
        return;
    std::wostringstream message;
    compose(message);
    log->Write(L"UpdateService", "UpdateService::Wrapper::GetComponent", line, level, message.str());
}

// Without limits a peer that accepts and never answers, trickles, or floods would hold the
// lookup forever or exhaust memory; the runtime enforces each of these itself.
void LimitExchange(soap& context)
{
    context.connect_timeout = BRISKEN_COMPONENTS_TIMEOUT_SECONDS;
    context.send_timeout = BRISKEN_COMPONENTS_TIMEOUT_SECONDS;
    context.recv_timeout = BRISKEN_COMPONENTS_TIMEOUT_SECONDS;
    context.transfer_timeout = BRISKEN_COMPONENTS_TIMEOUT_SECONDS;
    context.recv_maxlength = MaxReplyBytes;
}

std::wstring* NewString(soap& context, const std::wstring& value)
{
    std::wstring* text = soap_new_std__wstring(&context);
    if (!text)
        throw std::bad_alloc();
    *text = value;
    return text;
}

std::wstring TextOrEmpty(const std::wstring* text)
{
    return text ? *text : std::wstring();
}

} // namespace

bool GetComponent(const std::wstring& componentId, const std::wstring& deployPlatform,
    const std::wstring& osPlatform, const std::wstring& requiredVersion,
    const std::wstring& installedVersion, Component& component)
{
    LogIfEnabled(LevelInfo, __LINE__, [&](std::wostream& message) {
        message << L"getting server component. component id=" << componentId
                << L". delpoy platform=" << deployPlatform << L". os platform=" << osPlatform
                << L". required_version=" << requiredVersion
                << L". installed application version=" << installedVersion;
    });

    ComponentsServiceSoapProxy proxy;
    LimitExchange(proxy);
    const DestroyProxyOnExit destroyProxy(boost::bind(&ComponentsServiceSoapProxy::destroy, &proxy));

    _tempuri__GetComponentInfo request;
    _tempuri__GetComponentInfoResponse response;

    tempuri__ComponentInfoRequest* info =
        soap_instantiate_tempuri__ComponentInfoRequest(&proxy, -1, nullptr, nullptr, nullptr);
    if (!info)
        throw std::bad_alloc();
    request.request = info;
    info->UserId = NewString(proxy, std::wstring());
    info->ComponentId = NewString(proxy, componentId);
    info->OsPlatfrom = NewString(proxy, osPlatform);
    info->DeployPlatfrom = NewString(proxy, deployPlatform);
    info->RequiredVersion = NewString(proxy, requiredVersion);
    info->InstalledVersion = NewString(proxy, installedVersion);
    *info->UserId = WmiHelper::GetComputerUuid();

    const int result = proxy.GetComponentInfo(nullptr, nullptr, &request, response);
    if (result != SOAP_OK)
    {
        LogIfEnabled(LevelError, __LINE__, [&](std::wostream& message) {
            message << L"GetComponentInfo failed. result=" << result;
        });
        return false;
    }
    const tempuri__ComponentInfoResponse* answer = response.GetComponentInfoResult;
    if (!answer)
        return false;

    const std::wstring id = TextOrEmpty(answer->Id);
    if (!answer->Id)
        LogIfEnabled(LevelError, __LINE__, [&](std::wostream& message) { message << L"no component id"; });
    const std::wstring notes = TextOrEmpty(answer->Notes);
    if (!answer->Notes)
        LogIfEnabled(LevelInfo, __LINE__, [&](std::wostream& message) { message << L"no component notes. id=" << id; });
    const std::wstring version = TextOrEmpty(answer->Version);
    if (!answer->Version)
        LogIfEnabled(LevelError, __LINE__, [&](std::wostream& message) { message << L"no component version. id=" << id; });
    const std::wstring downloadUrl = TextOrEmpty(answer->DownloadUrl);
    if (!answer->DownloadUrl)
        LogIfEnabled(LevelError, __LINE__, [&](std::wostream& message) { message << L"no component download url. id=" << id; });

    LogIfEnabled(LevelInfo, __LINE__, [&](std::wostream& message) {
        message << L"server component is available. id=" << id << L". version=" << version
                << L". download url=" << downloadUrl;
    });
    if (!notes.empty())
        LogIfEnabled(LevelNotes, __LINE__, [&](std::wostream& message) { message << L"notes=" << notes; });

    component.id = id;
    component.notes = notes;
    component.version = version;
    component.downloadUrl = downloadUrl;
    return !id.empty() && !version.empty() && !downloadUrl.empty();
}

} // namespace Wrapper
} // namespace UpdateService
