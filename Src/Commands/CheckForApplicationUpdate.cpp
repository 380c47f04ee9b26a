#include "Commands/Commands.h"

#include "ApplicationUpdate/PartnerFile.h"
#include "ApplicationUpdate/UpdateCheck.h"
#include "MsiHelper/Product.h"
#include "Program/ConsoleText.h"
#include "Program/LogLine.h"
#include "Program/Logger.h"
#include "StringHelper/StringHelper.h"
#include "UpdateService/Wrapper.h"
#include "VersionHelper/Version.h"

#include <iostream>

namespace BriskenCommandLineScanner
{
namespace
{

// The installed product's version as text, empty when the product is not installed.
std::wstring InstalledVersion()
{
    const boost::shared_ptr<MsiHelper::Product> product = MsiHelper::Product::FindByName(ComponentName());
    return product ? product->Version().ToString() : std::wstring();
}

} // namespace

void CheckForApplicationUpdate()
{
    std::cout << "Checking for application update...\n";
    const std::wstring component = ComponentName();
    std::wstring platform = GetDeployPlatform();
    // The platform and the address come from outside: neither may start a line of its own.
    Logger::Instance().Write(
        LogLine(L"Info", L"deploy platform from file=", StringHelper::MaskControlCharacters(platform)));
    if (platform.empty())
        platform = DefaultDeployPlatform();

    const std::wstring installedVersion = InstalledVersion();
    UpdateService::Component server;
    if (!UpdateService::Wrapper::GetComponent(component, platform, OsPlatform(), std::wstring(), installedVersion, server))
    {
        std::cout << "Couldn't get server version info\n";
        return;
    }
    // The verdict compares with the program's own version, not the installed one.
    const VersionHelper::Version serverVersion = VersionHelper::Version::FromString(server.version);
    if (serverVersion > VersionHelper::Version::FromString(std::string(OwnVersion)))
    {
        // Not through std::wcout: a character the console's code page lacks would end all
        // its output there, the rest of the address and the line end included.
        const std::wstring url = StringHelper::MaskControlCharacters(server.downloadUrl.c_str());
        WriteConsoleText(L"New version is available for downloading. Url: " + url + L"\n");
    }
    else
    {
        std::cout << "You have the latest version\n";
    }
}

} // namespace BriskenCommandLineScanner
