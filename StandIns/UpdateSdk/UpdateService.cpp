#include "UpdateService.h"

#include "HttpClient.h"
#include "Installer.h"
#include "Result.h"
#include "Updater.h"

#include <windows.h>

#include <new>

namespace UpdateSdkStandIn
{
namespace
{

template <typename Body>
int Guarded(Body body) noexcept
{
    try
    {
        body();
        return static_cast<int>(Result::Success);
    }
    catch (const UpdateError& error)
    {
        // Only a debugger sees why; the caller has the code.
        OutputDebugStringA((std::string("BKUpdateServiceCom: ") + error.what() + "\n").c_str());
        return static_cast<int>(error.Code());
    }
    catch (...)
    {
        return static_cast<int>(Result::Internal);
    }
}

void Require(bool condition, Result result, const char* what)
{
    if (!condition)
        throw UpdateError(result, what);
}

// Runs body, which takes the staging folder, and lets the folder go afterwards unless body
// answers that it is to stay held.
template <typename Body>
void HoldingStaging(Staging& staging, Body body)
{
    bool keep = false;
    try
    {
        keep = body();
    }
    catch (...)
    {
        staging.Release();
        throw;
    }
    if (!keep)
        staging.Release();
}

bool ByteBool(const void* value)
{
    return *static_cast<const unsigned char*>(value) != 0;
}

} // namespace

int UpdateService::SetOption(int option, void* value)
{
    return Guarded([&] {
        using namespace UpdateSdk::Option;
        const bool needsValue = option == ServerUrl || option == LocalPath || option == UseVersionId || option == UsePatches;
        Require(!needsValue || value, Result::InvalidArgument, "null option value");
        switch (option)
        {
        case ServerUrl:
        {
            const std::string url = static_cast<const char*>(value);
            Require(HttpClient::IsValidUrl(url), Result::InvalidArgument, "not a plain-HTTP URL");
            options.serverUrl = url;
            break;
        }
        case LocalPath:
        {
            const std::wstring path = static_cast<const wchar_t*>(value);
            Require(!path.empty(), Result::InvalidArgument, "empty local path");
            options.localPath = path;
            while (options.localPath.size() > 3 && (options.localPath.back() == L'\\' || options.localPath.back() == L'/'))
                options.localPath.pop_back();
            // Another folder: what was held of the old one is let go.
            staging = std::make_unique<Staging>(options.localPath);
            break;
        }
        case UseVersionId:
            options.useVersionId = ByteBool(value);
            break;
        case UsePatches:
            options.usePatches = ByteBool(value);
            break;
        case UpdateCallback:
            options.callback = reinterpret_cast<BKUpdateCallback_t*>(value);
            break;
        case UpdateCallbackContext:
            options.context = value;
            break;
        default:
            throw UpdateError(Result::UnknownOption, "unknown option " + std::to_string(option));
        }
    });
}

int UpdateService::Update()
{
    return Guarded([&] {
        Require(!options.serverUrl.empty() && !options.localPath.empty(), Result::NotConfigured,
            "server URL or local path not set");
        // A staged set stays held for Install.
        HoldingStaging(*staging, [&] { return Updater(options, *staging).Run(); });
    });
}

int UpdateService::Install()
{
    return Guarded([&] {
        Require(!options.localPath.empty(), Result::NotConfigured, "local path not set");
        HoldingStaging(*staging, [&] {
            Installer(options, *staging).Run();
            return false;
        });
    });
}

} // namespace UpdateSdkStandIn
