#pragma once

#include "UpdateSdk.h"

#include <string>

namespace UpdateSdkStandIn
{

// What SetOption was given: copies, never the caller's pointers (but the callback context,
// which is only passed back).
struct Options
{
    std::string serverUrl;
    std::wstring localPath;
    bool useVersionId = false;
    bool usePatches = false;
    BKUpdateCallback_t* callback = nullptr;
    void* context = nullptr;
};

} // namespace UpdateSdkStandIn
