// The database query: the engine's definitions version and release date.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Information/FromSecondsSince1970.h"
#include "Program/LogError.h"

#include "TimeHelper/TimeHelper.h"

namespace BriskenCommandLineScanner
{

namespace
{

using CreateInstanceFunction = DllHelper::Detail::DllFunction<ThreatScanner_CreateInstance_t, 0>;
using GetDatabaseInformationFunction = DllHelper::Detail::DllFunction<ThreatScanner_GetDatabaseInformation_t, 0>;

} // namespace

void Scanner::GetDatabaseInformation(unsigned long& version, std::wstring& releaseDate)
{
    // All three first, so that a module without one of them fails before an instance exists.
    const CreateInstanceFunction createInstance(scanDll, EngineSdk::CreateInstanceName);
    const DestroyInstanceFunction destroyInstance(scanDll, EngineSdk::DestroyInstanceName);
    const GetDatabaseInformationFunction getDatabaseInformation(scanDll, EngineSdk::GetDatabaseInformationName);

    // A bare instance: the query needs neither options nor callbacks.
    CThreatScannerStruct* created = nullptr;
    int result = createInstance(&created);
    if (result != EngineSdk::Result::Success)
    {
        LogError(L"Couldn't create scanner. Error: ", ErrorToString(result));
        return;
    }
    const EngineInstance instance = OwnEngineInstance(destroyInstance, created);

    unsigned long releaseTime = 0;
    result = getDatabaseInformation(instance.get(), &version, &releaseTime);
    if (result != EngineSdk::Result::Success)
    {
        LogError(L"Couldn't get database information. Error: ", ErrorToString(result));
        return;
    }
    try
    {
        // The engine's count is unsigned 32-bit.
        releaseDate = TimeHelper::ToLocalizedDateTime(FromSecondsSince1970(static_cast<std::uint32_t>(releaseTime)));
    }
    catch (const std::exception&)
    {
        LogError(L"Couldn't convert iso time to local");
    }
}

} // namespace BriskenCommandLineScanner
