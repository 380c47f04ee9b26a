#pragma once

// The texts of the engine's enumerations and of the system's scan kinds.
// Every function looks the whole value up in its table and returns a new text; a value
// without a row gives the empty text.

#include <array>
#include <cstdint>
#include <string>

namespace BriskenCommandLineScanner
{

std::wstring ScanActionToString(std::uint32_t action);
// Also writes the Error line "Unknown scan type. Scan type: <value>" for a value without a row.
std::wstring ScanTypeToString(std::uint32_t scanType);
// 0 (success) and codes without a name give the empty text.
std::wstring ErrorToString(std::int32_t code);
// ErrorToString's name, or the code in decimal where it has none: a failure never reads as no error.
std::wstring ErrorNameOrCode(std::int32_t code);
std::wstring ObjectTypeToString(std::uint32_t objectType);
std::wstring ScanStatusToString(std::uint32_t scanStatus);
std::wstring ThreatTypeToString(std::uint32_t threatType);
// One bit of the ObjectFlag list; any other value gives the empty text.
std::wstring ObjectFlagToString(std::uint32_t flag);

// The 26 named ObjectFlag bits in list order (ascending, "Stream" 0x10000000 last).
const std::array<std::uint32_t, 26>& ObjectFlagList();

} // namespace BriskenCommandLineScanner
