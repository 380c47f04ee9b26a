#pragma once

#include "Definitions.h"
#include "EngineSdk.h"
#include "Instance.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ReferenceEngine
{

// One scan call of an instance: walks what it is given, reports every object to the
// instance's scan callback and carries out the action the callback puts into the slot.
// Each operation returns an EngineResultCode.
class ScanJob
{
public:
    explicit ScanJob(CThreatScannerStruct& instance);

    // A file, or a folder or drive root walked recursively (reparse points are not entered).
    int ScanPath(const wchar_t* path);
    // The image files of the running processes, one report per process.
    int ScanSystem();
    // The first sector of the volume whose root (such as C:\) is given.
    int ScanBootSector(const wchar_t* root);

    unsigned Reported() const { return reported; }
    unsigned Infected() const { return infected; }

private:
    enum class Outcome { Clean, Infected, Failed };
    struct Verdict
    {
        Outcome outcome = Outcome::Clean;
        Detection detection;
    };
    // What a report is about.
    struct Subject
    {
        std::uint32_t objectType = EngineSdk::ObjectType::File;
        std::wstring path;
        std::uint32_t pid = 0;
        std::uint32_t objectFlags = 0;
        const wchar_t* sysObjParentContainers = L"";
        const wchar_t* sysObjInnerObject = L"";
        bool actionable = true; // a file that an action may change
    };

    void WalkFolder(const std::wstring& folder);
    void ScanFileObject(Subject& subject, std::uint64_t size);
    Verdict ScanFile(const std::wstring& path, std::uint64_t size);
    Verdict ScanContent(void* handle, std::uint64_t size);
    Verdict Judge(const std::uint8_t* head, std::size_t headSize, const Digest* digest, std::uint64_t size) const;

    // Calls the scan callback; returns the action left in the slot.
    int Report(const Subject& subject, std::uint32_t status, const Threat* threat);
    void ReportVerdict(const Subject& subject, const Verdict& verdict);
    void CarryOut(int action, const Subject& subject, const Detection& detection);
    bool MoveToQuarantine(const std::wstring& path);
    bool CopyToQuarantine(const std::wstring& path);
    bool Disinfect(const std::wstring& path, std::size_t prefix);

    CThreatScannerStruct& instance;
    const Definitions& definitions;
    std::vector<std::uint8_t> buffer;
    unsigned reported = 0;
    unsigned infected = 0;
    bool stopped = false; // an Abort action ends the scan call
};

// The form of a path to hand to the file API: long paths get the \\?\ prefix.
std::wstring ApiPath(const std::wstring& path);

} // namespace ReferenceEngine
