#pragma once

#include <string>

namespace BriskenCommandLineScanner
{

// What the line calls the thing not scanned, where a scan call and an engine report may both
// name it.
constexpr const wchar_t* NotScannedObject = L"object";
constexpr const wchar_t* NotScannedBootSector = L"boot sector of drive";

// Prints "Couldn't <what>: <name>. Error: <error>" on the console at once, in read-only mode
// too: what the scan could not do must not pass for done, and the log is not always written.
// The name comes from outside the program and is masked.
void PrintCouldNot(const std::wstring& what, const std::wstring& name, const std::wstring& error);

// "Couldn't scan <subject>: ...": a path, drive or object the scan could not scan must not pass
// for a clean one.
void PrintNotScanned(const wchar_t* subject, const std::wstring& name, const std::wstring& error);

} // namespace BriskenCommandLineScanner
