#pragma once

#include "EngineSdk.h"

#include "DllHelper/Dll.h"

#include <boost/shared_ptr.hpp>

namespace BriskenCommandLineScanner
{

// scan.dll, shared by the Scanner and every owner of one of its instances.
using EngineModule = boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>>;

// An engine instance under its owner: releasing the last copy destroys it.
using EngineInstance = boost::shared_ptr<CThreatScannerStruct>;

using DestroyInstanceFunction = DllHelper::Detail::DllFunction<ThreatScanner_DestroyInstance_t, 0>;

// Puts a freshly created instance under its owner. The deleter calls destroy, the module's
// ThreatScanner_DestroyInstance looked up by the caller, and logs a failure as an Error line; it
// never throws. The module must outlive the owner.
EngineInstance OwnEngineInstance(const DestroyInstanceFunction& destroy, CThreatScannerStruct* instance);

} // namespace BriskenCommandLineScanner
