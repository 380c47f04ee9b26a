#pragma once

#include <string>

namespace UpdateService
{

// The component web service's answer for one component, as the lookup hands it to its caller.
struct Component
{
    std::wstring id;
    std::wstring notes;
    std::wstring version;
    std::wstring downloadUrl;
};

} // namespace UpdateService
