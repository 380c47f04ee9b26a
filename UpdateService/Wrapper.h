#pragma once

#include "UpdateService/Component.h"

#include <string>

namespace UpdateService
{
namespace Wrapper
{

// Asks the component web service (GetComponentInfo at the built-in endpoint) which release of
// the component this machine should have; the machine's UUID goes along as the user id. Fills
// component with the four answered fields (absent ones empty) and returns true when id, version
// and download URL are all non-empty. A failed exchange (service down, HTTP or SOAP fault,
// malformed, oversized or overdue reply, or one whose markup the runtime would misread: see
// ReplyScreen) or an answer without a result returns false and leaves component untouched.
// Throws only what the UUID query or an allocation throws.
bool GetComponent(const std::wstring& componentId, const std::wstring& deployPlatform,
    const std::wstring& osPlatform, const std::wstring& requiredVersion,
    const std::wstring& installedVersion, Component& component);

} // namespace Wrapper
} // namespace UpdateService
