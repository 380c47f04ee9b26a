#include "Scanner/EngineInstance.h"

#include "Engine/EngineEnumerations.h"
#include "Program/LogError.h"

namespace BriskenCommandLineScanner
{

namespace
{

void DestroyScannerInstance(const DestroyInstanceFunction& destroy, CThreatScannerStruct* instance)
{
    const int result = destroy(instance);
    if (result != EngineSdk::Result::Success)
        LogErrorNoThrow(L"Couldn't destroy scanner instance. Error: ", ErrorToString(result));
}

} // namespace

EngineInstance OwnEngineInstance(const DestroyInstanceFunction& destroy, CThreatScannerStruct* instance)
{
    // The deleter keeps its own copy of the function pointer, not the module. Should the owner
    // itself fail to allocate, boost::shared_ptr still runs the deleter.
    return EngineInstance(instance, [destroy](CThreatScannerStruct* owned) { DestroyScannerInstance(destroy, owned); });
}

} // namespace BriskenCommandLineScanner
