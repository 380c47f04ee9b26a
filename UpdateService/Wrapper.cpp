#include "UpdateService/Wrapper.h"

#include "UpdateService/DestroyProxyOnExit.h"
#include "UpdateService/ExchangeDeadline.h"
#include "UpdateService/ReplyScreen.h"
#include "UpdateService/LogHelper/Log.h"

#include "StringHelper/StringHelper.h"
#include "WmiHelper/WmiHelper.h"

#include <ComponentsServiceComponentsServiceSoapProxy.h>

#include <boost/bind/bind.hpp>

#include <chrono>
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

// A real answer is at most a few kilobytes; anything near this is not the service talking. The
// reply screen holds the body to it.
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

std::wstring* NewString(soap& context, const std::wstring& value)
{
    std::wstring* text = soap_new_std__wstring(&context);
    if (!text)
        throw std::bad_alloc();
    *text = value;
    return text;
}

// Made in the proxy's context, so that its destroy frees the request together with the answer.
tempuri__ComponentInfoRequest* NewRequest(soap& context, const std::wstring& componentId,
    const std::wstring& deployPlatform, const std::wstring& osPlatform, const std::wstring& requiredVersion,
    const std::wstring& installedVersion)
{
    tempuri__ComponentInfoRequest* request =
        soap_instantiate_tempuri__ComponentInfoRequest(&context, -1, nullptr, nullptr, nullptr);
    if (!request)
        throw std::bad_alloc();
    request->UserId = NewString(context, std::wstring());
    request->ComponentId = NewString(context, componentId);
    request->OsPlatfrom = NewString(context, osPlatform);
    request->DeployPlatfrom = NewString(context, deployPlatform);
    request->RequiredVersion = NewString(context, requiredVersion);
    request->InstalledVersion = NewString(context, installedVersion);
    *request->UserId = WmiHelper::GetComputerUuid();
    return request;
}

// The answer's fields in the order they are taken, with the message for an absent one.
struct AnswerField
{
    std::wstring* tempuri__ComponentInfoResponse::*member;
    std::wstring Component::*field;
    std::int32_t level;
    const wchar_t* absent;
    bool namesId;
};

const AnswerField AnswerFields[] = {
    {&tempuri__ComponentInfoResponse::Id, &Component::id, LevelError, L"no component id", false},
    {&tempuri__ComponentInfoResponse::Notes, &Component::notes, LevelInfo, L"no component notes. id=", true},
    {&tempuri__ComponentInfoResponse::Version, &Component::version, LevelError, L"no component version. id=", true},
    {&tempuri__ComponentInfoResponse::DownloadUrl, &Component::downloadUrl, LevelError,
        L"no component download url. id=", true},
};

// Copies of the answer's fields (they live in the proxy's context); an absent one is empty and
// logged.
Component TakeAnswer(const tempuri__ComponentInfoResponse& answer)
{
    Component taken;
    for (const AnswerField& field : AnswerFields)
    {
        if (const std::wstring* value = answer.*field.member)
        {
            taken.*field.field = *value;
            continue;
        }
        LogIfEnabled(field.level, __LINE__, [&](std::wostream& message) {
            message << field.absent;
            if (field.namesId)
                message << StringHelper::MaskControlCharacters(taken.id);
        });
    }
    return taken;
}

} // namespace

bool GetComponent(const std::wstring& componentId, const std::wstring& deployPlatform,
    const std::wstring& osPlatform, const std::wstring& requiredVersion,
    const std::wstring& installedVersion, Component& component)
{
    // The platform comes from the partner file: no text may break the message into lines.
    LogIfEnabled(LevelInfo, __LINE__, [&](std::wostream& message) {
        message << L"getting server component. component id=" << StringHelper::MaskControlCharacters(componentId)
                << L". delpoy platform=" << StringHelper::MaskControlCharacters(deployPlatform)
                << L". os platform=" << StringHelper::MaskControlCharacters(osPlatform)
                << L". required_version=" << StringHelper::MaskControlCharacters(requiredVersion)
                << L". installed application version=" << StringHelper::MaskControlCharacters(installedVersion);
    });

    ComponentsServiceSoapProxy proxy;
    // The program's build asks the endpoint the client was generated with; a test build, another.
    proxy.soap_endpoint = BRISKEN_COMPONENTS_ENDPOINT;
    const DestroyProxyOnExit destroyProxy(boost::bind(&ComponentsServiceSoapProxy::destroy, &proxy));

    _tempuri__GetComponentInfo request;
    _tempuri__GetComponentInfoResponse response;
    request.request = NewRequest(proxy, componentId, deployPlatform, osPlatform, requiredVersion, installedVersion);

    // Without a limit a peer that accepts and never answers, trickles, or floods would hold the
    // lookup forever or exhaust memory. It starts with the exchange, after the machine's UUID.
    const ExchangeDeadline deadline(std::chrono::seconds(BRISKEN_COMPONENTS_TIMEOUT_SECONDS));
    const ReplyScreen screen(proxy, deadline, MaxReplyBytes);
    const int result = proxy.GetComponentInfo(nullptr, nullptr, &request, response);
    if (result != SOAP_OK)
    {
        LogIfEnabled(LevelError, __LINE__,
            [&](std::wostream& message) { message << L"GetComponentInfo failed. result=" << result; });
        return false;
    }
    if (!response.GetComponentInfoResult)
        return false;

    const Component taken = TakeAnswer(*response.GetComponentInfoResult);
    // The answer's texts come from the peer: none of them may break the message into lines.
    LogIfEnabled(LevelInfo, __LINE__, [&](std::wostream& message) {
        message << L"server component is available. id=" << StringHelper::MaskControlCharacters(taken.id)
                << L". version=" << StringHelper::MaskControlCharacters(taken.version)
                << L". download url=" << StringHelper::MaskControlCharacters(taken.downloadUrl);
    });
    if (!taken.notes.empty())
    {
        LogIfEnabled(LevelNotes, __LINE__,
            [&](std::wostream& message) { message << L"notes=" << StringHelper::MaskControlCharacters(taken.notes); });
    }

    component = taken;
    return !taken.id.empty() && !taken.version.empty() && !taken.downloadUrl.empty();
}

} // namespace Wrapper
} // namespace UpdateService
