#pragma once

#include <string>

namespace BriskenCommandLineScanner
{

// The component id sent to the update service, and the product name looked up in Windows
// Installer.
std::wstring ComponentName();

// The deploy platform when the partner file gives none.
std::wstring DefaultDeployPlatform();

// The OS platform sent to the update service.
std::wstring OsPlatform();

// The program's own version, which the service's version is compared with.
extern const char* const OwnVersion;

// The partner-file member that holds the deploy platform.
extern const std::string PlatformKey;

} // namespace BriskenCommandLineScanner
