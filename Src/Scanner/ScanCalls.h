#pragma once

#include "Scanner/EngineInstance.h"

#include <boost/optional/optional.hpp>

#include <string>

namespace BriskenCommandLineScanner
{

// One scan kind's engine instance with the scan exports that kind calls on it. The exports
// are looked up when the object is built (system/boot objects first, then paths), so that a
// missing one fails the run before its first scan call. Every call names this process.
class ScanCalls
{
public:
    struct Needs
    {
        bool objects; // ThreatScanner_ScanObject: the system object and boot sectors
        bool paths;   // ThreatScanner_ScanPath: drives, files and folders
    };

    // Throws ExceptionHelper::Windows for a missing export.
    ScanCalls(const EngineModule& module, EngineInstance instance, Needs needs);

    // Each returns the engine's result code; call only what the Needs named.
    int ScanSystemObject();
    int ScanBootSector(const std::wstring& root);
    int ScanPath(const std::wstring& path);

private:
    using ScanObjectFunction = DllHelper::Detail::DllFunction<ThreatScanner_ScanObject_t, 0>;
    using ScanPathFunction = DllHelper::Detail::DllFunction<ThreatScanner_ScanPath_t, 0>;

    EngineInstance instance;
    boost::optional<ScanObjectFunction> scanObject;
    boost::optional<ScanPathFunction> scanPath;

    // ThreatScanner_ScanObject's out-parameters: cleared once per run, never read.
    int firstOutput = 0;
    int secondOutput = 0;
    const wchar_t* textOutput = nullptr;
};

} // namespace BriskenCommandLineScanner
