#pragma once

#include "EngineSdk.h"
#include "Scanner/InfectedObject.h"
#include "Program/ScanRequest.h"

#include "DllHelper/Dll.h"

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <string>
#include <vector>

namespace FileSystemHelper
{
class Drive;
}

namespace pugi
{
class xml_node;
class xml_writer;
}

namespace BriskenCommandLineScanner
{

// The front end to the scanning engine in scan.dll beside the executable. Building it loads
// and initialises the engine (throws on any failure); destroying it uninitialises the engine
// and removes the engine's temporary folder. One Scan per object.
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

    // The engine's database version (written by the engine itself) and release date in the
    // local format, from an instance of its own (ScannerDatabase.cpp). Leaves what it cannot
    // fill untouched and logs why; throws only when an export is missing.
    void GetDatabaseInformation(unsigned long& version, std::wstring& releaseDate);

private:
    friend struct ScannerTestPeer;

    using Module = boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>>;
    using DestroyInstanceFunction = DllHelper::Detail::DllFunction<ThreatScanner_DestroyInstance_t, 0>;
    using ScanPathFunction = DllHelper::Detail::DllFunction<ThreatScanner_ScanPath_t, 0>;
    using ScanObjectFunction = DllHelper::Detail::DllFunction<ThreatScanner_ScanObject_t, 0>;
    using Instance = boost::shared_ptr<CThreatScannerStruct>;

    // The out-parameters of ThreatScanner_ScanObject: cleared once per scan, never read.
    struct ObjectOutputs
    {
        int first = 0;
        int second = 0;
        const wchar_t* text = nullptr;
    };

    // Lifetime (Scanner.cpp).
    void Init();
    void InitEx();
    static void CreateCacheFile(const std::wstring& folder);
    void Uninit();
    void ClearResults();
    // Prints the completion line on success; throws the code's name otherwise.
    static void ThrowUnlessInitialized(int result);

    // Instances (ScannerInstance.cpp).
    // A new instance with its options and callbacks; the caller owns it.
    CThreatScannerStruct* CreateScanner();
    // CreateScanner's instance under its owner, whose release destroys it; a scan kind's first step.
    Instance CreateOwnedScanner();
    static Instance OwnInstance(CThreatScannerStruct* instance, const DestroyInstanceFunction& destroy);
    static void DestroyScannerInstance(const DestroyInstanceFunction& destroy, CThreatScannerStruct* instance);
    static void EmptyCallback(int, const wchar_t*, wchar_t*, int*, void*);
    static void EmptyCallback(_ScanCbkExtScanParams*, _ScanExtCbks*, int*, void*);

    // Scan run (ScannerScan.cpp, ScannerScanKinds.cpp).
    void SettleScanResultPath();
    void SystemScan();
    void FullScan();
    void ScanDrive(const FileSystemHelper::Drive& drive, const Instance& instance, const ScanObjectFunction& scanObject,
        const ScanPathFunction& scanPath, ObjectOutputs& outputs);
    void CustomScan();
    void ScanCustomPath(const std::wstring& path, const Instance& instance, const ScanPathFunction& scanPath);
    void BootScan();
    void ScanBootSector(const FileSystemHelper::Drive& drive, const Instance& instance,
        const ScanObjectFunction& scanObject, ObjectOutputs& outputs);
    static int ScanSystemObject(const Instance& instance, const ScanObjectFunction& scanObject, ObjectOutputs& outputs);
    static int ScanDriveBootSector(const std::wstring& root, const Instance& instance,
        const ScanObjectFunction& scanObject, ObjectOutputs& outputs);
    static void LogFailedCall(const wchar_t* message, int result);
    static std::string CurrentTimeText();
    boost::filesystem::path DefaultScanResultPath() const;
    std::wstring DefaultScanResultFileName() const;

    // Scan callback (ScannerCallback.cpp).
    void OnReport(const _ScanCbkParams& report, int* action);
    void RecordInfected(const _ScanCbkParams& report, int* action);
    static void PrintReportLine(const _ScanCbkParams& report);

    // Result report (ScannerReport.cpp).
    void SaveScanResult();
    // Writes the whole document; throws std::bad_alloc when it cannot be built.
    void WriteScanResult(pugi::xml_writer& output) const;
    static void AddScanPathNode(pugi::xml_node scanPaths, const std::wstring& path);
    static void AddInfectedObjectNode(pugi::xml_node infectedObjects, boost::shared_ptr<InfectedObject> object);
    bool SaveScanResultFile() const;
    static void PrintClosingMessage(bool saved, const std::wstring& path, bool readOnly);

    ScanRequest request;
    std::wstring scanTypeName;
    std::vector<std::wstring> scannedPaths;
    std::string startTime;
    std::string endTime;
    std::vector<boost::shared_ptr<InfectedObject>> infected;
    boost::shared_ptr<InfectedObject> lastInfected;
    std::wstring tempFolder;
    Module scanDll;
};

} // namespace BriskenCommandLineScanner
