#pragma once

#include "Definitions.h"
#include "EngineSdk.h"
#include "RemovalNotes.h"

#include <map>
#include <memory>
#include <string>

// An engine instance: what it was given at creation and by the setters. Opaque to the
// system (EngineSdk.h only declares it).
struct CThreatScannerStruct
{
    std::shared_ptr<const ReferenceEngine::Definitions> definitions;
    std::wstring quarantineFolder; // empty: no quarantine (read-only initialisation)
    ReferenceEngine::RemovalNotes removals;
    std::map<int, int> options; // stored; none changes the engine's behaviour
    ThreatScanner_ScanCallback_t* scanCallback = nullptr;
    void* scanContext = nullptr;
    ThreatScanner_PasswordCallback_t* passwordCallback = nullptr;
    void* passwordContext = nullptr;
    ThreatScanner_ExtCallback_t* extCallback = nullptr;
    void* extContext = nullptr;
    bool scanning = false; // a scan call of this instance is running
};
