// The two exports of BKUpdateServiceCom.dll (names fixed by BKUpdateServiceCom.def).

#include "UpdateService.h"
#include "UpdateSdk.h"

#include <mutex>
#include <new>
#include <set>
#include <type_traits>

using UpdateSdkStandIn::UpdateService;

namespace
{

// The interfaces handed out and not destroyed yet, so that a foreign or stale pointer given
// to BKUpdSdkDestroy is refused instead of freed.
std::mutex liveMutex;
std::set<BKUpdateServiceInterface*> live;

} // namespace

extern "C" {

BKUpdateServiceInterface* BKUpdSdkCreate()
{
    try
    {
        auto* service = new UpdateService;
        std::lock_guard<std::mutex> lock(liveMutex);
        live.insert(service);
        return service;
    }
    catch (...)
    {
        return nullptr;
    }
}

int BKUpdSdkDestroy(BKUpdateServiceInterface* updater)
{
    std::lock_guard<std::mutex> lock(liveMutex);
    if (live.erase(updater) == 0)
        return 1;
    delete static_cast<UpdateService*>(updater);
    return 0;
}

} // extern "C"

static_assert(std::is_same_v<decltype(BKUpdSdkCreate), BKUpdSdkCreate_t>);
static_assert(std::is_same_v<decltype(BKUpdSdkDestroy), BKUpdSdkDestroy_t>);
