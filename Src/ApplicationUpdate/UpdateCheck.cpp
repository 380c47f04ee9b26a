#include "ApplicationUpdate/UpdateCheck.h"

namespace BriskenCommandLineScanner
{

std::wstring ComponentName()
{
    return L"BriskenCommandLineScanner";
}

std::wstring DefaultDeployPlatform()
{
    return L"prod";
}

std::wstring OsPlatform()
{
    return L"x64";
}

const char* const OwnVersion = "11,11,905,9127";

const std::string PlatformKey = "platform";

} // namespace BriskenCommandLineScanner
