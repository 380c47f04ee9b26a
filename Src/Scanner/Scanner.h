#pragma once

#include "EngineSdk.h"
#include "Program/ScanRequest.h"
#include "Scanner/EngineInstance.h"
#include "Scanner/InfectedObject.h"
#include "Scanner/ScanResult.h"

#include "FileSystemHelper/SharedFolderLock.h"

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <memory>
#include <string>

namespace BriskenCommandLineScanner
{

// The front end to the scanning engine in scan.dll beside the executable. Building it loads
// and initialises the engine (throws on any failure); destroying it uninitialises the engine
// and removes the engine's temporary folder, unless an engine of another run still uses it.
// One Scan per object.
class Scanner : private boost::noncopyable
{
public:
    Scanner();
    ~Scanner();

    // Runs the request's scan kind and reports the result. Throws when the engine instance
    // cannot be created, an export is missing or the drives cannot be listed; failed scan
    // calls are logged and the scan goes on.
    void Scan(const ScanRequest& scanRequest);

    // The engine's scan callback; the context is the Scanner. Lets nothing escape into the engine.
    static void ScanCallback(_ScanCbkParams* report, int* action, void* context);

    // What the last Scan collected; empty before the first.
    const ScanResult& Result() const { return result; }

    // The engine's database version (written by the engine itself) and release date in the
    // local format, from an instance of its own (ScannerDatabase.cpp). Leaves what it cannot
    // fill untouched and logs why; throws only when an export is missing.
    void GetDatabaseInformation(unsigned long& version, std::wstring& releaseDate);

private:
    friend struct ScannerTestPeer;

    // Lifetime (Scanner.cpp).
    void Init();
    void InitEx();
    void Uninit();

    // Instances (ScannerInstance.cpp).
    // A new instance with its options and callbacks; the caller owns it.
    CThreatScannerStruct* CreateScanner();
    // CreateScanner's instance under its owner, whose release destroys it; a scan kind's first step.
    EngineInstance CreateOwnedScanner();

    // Scan run (ScannerScan.cpp, ScannerScanKinds.cpp).
    void SettleScanResultPath();
    void SystemScan();
    void FullScan();
    void CustomScan();
    void BootScan();
    // Why the result file cannot be saved at path, as the start of its log line: a folder the
    // program empties, or a last name that no file can have. Empty when it can be.
    std::wstring ScanResultRefusal(const boost::filesystem::path& path) const;
    boost::filesystem::path DefaultScanResultPath() const;
    std::wstring DefaultScanResultFileName() const;
    // Hands the result to the report (Report/ScanResultReport.h) with the request's destination.
    void SaveScanResult() const;

    // Scan callback (ScannerCallback.cpp).
    void OnReport(const _ScanCbkParams& report, int* action);
    void RecordInfected(const _ScanCbkParams& report, int* action);

    ScanRequest request;
    // The result path's refusal (ScanResultRefusal), settled with the path.
    std::wstring scanResultRefusal;
    ScanResult result;
    boost::shared_ptr<InfectedObject> lastInfected;
    std::wstring tempFolder;
    // What a linked Temp folder held before the engine started: not the program's to remove.
    std::vector<boost::filesystem::path> tempEntriesBefore;
    // Held while the engine lives: runs beside this one use the same Temp, and only the last
    // to stop removes it.
    std::unique_ptr<FileSystemHelper::SharedFolderLock> tempLock;
    EngineModule scanDll;
};

} // namespace BriskenCommandLineScanner
