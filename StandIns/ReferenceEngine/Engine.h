#pragma once

#include "EngineSdk.h"

#include <string>

// The engine's process-wide state: initialised or not, the folders it was given and the
// loaded definitions, and the live instances. All functions return an EngineResultCode.
namespace ReferenceEngine
{

// folder: where the Plugins folder with the definitions is; smartDb: path of BKSmartDB.dll
// or null; params: null for ThreatScanner_Initialize.
int Initialize(const wchar_t* folder, const wchar_t* text, const wchar_t* smartDb, const _InitializeParams* params);
int Uninitialize();
int CreateInstance(CThreatScannerStruct** instance);
int DestroyInstance(CThreatScannerStruct* instance);
// 0 when the instance is live and the engine initialised; InvalidHandle or InitRequired.
int CheckInstance(CThreatScannerStruct* instance);

} // namespace ReferenceEngine
