#include "ApplicationUpdate/UpdateCheck.h"

#include "Information/Product.h"

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

// The version that --product-info prints.
const char* const OwnVersion = Product::Version;

const std::string PlatformKey = "platform";

} // namespace BriskenCommandLineScanner
