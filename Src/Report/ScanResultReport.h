#pragma once

#include "Scanner/ScanResult.h"

#include <string>

namespace pugi
{
class xml_writer;
}

namespace BriskenCommandLineScanner
{

// Where a scan result is saved.
struct ScanResultDestination
{
    std::wstring file;           // the result file, replaced whole or left as it was; untouched when readOnly
    bool readOnly = false;       // the configuration's read-only mode: no file and no path in the closing line
    bool standardOutput = false; // also write the document to standard output, between two line ends
    bool fileRefused = false;    // the file would not outlive the run: not written, reported as not saved
};

// The XML document of result, byte for byte as pugixml saves it (declaration, one tab per level,
// UTF-8). Throws std::bad_alloc when it cannot be built.
void WriteScanResult(const ScanResult& result, pugi::xml_writer& output);

// Writes the document where destination says, then prints the closing message (saved or
// "Couldn't save"). A file that cannot be saved is logged with the system's reason; a
// std::exception on the way is logged, not thrown.
void SaveScanResult(const ScanResult& result, const ScanResultDestination& destination);

} // namespace BriskenCommandLineScanner
