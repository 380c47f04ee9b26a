#pragma once

#include "Definitions.h"
#include "EngineSdk.h"
#include "FileObjects.h"
#include "Handles.h"
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

    // A file, or a folder or drive root walked depth first (reparse points are not entered).
    int ScanPath(const wchar_t* path);
    // The image files of the running processes, one report per process.
    int ScanSystem();
    // The first sector of the volume whose root (such as C:\) is given.
    int ScanBootSector(const wchar_t* root);

    unsigned Reported() const { return reported; }
    unsigned Infected() const { return infected; }

private:
    enum class Outcome { Clean, Infected, Failed };
    // Why an object was not scanned or an action not carried out: the EngineResultCode sent
    // as the report's scanStatusFlags, and object flags to add to the report.
    struct Failure
    {
        int code = EngineSdk::Result::Success;
        std::uint32_t flags = 0;
        explicit operator bool() const { return code != EngineSdk::Result::Success; }
    };
    struct Verdict
    {
        Outcome outcome = Outcome::Clean;
        Detection detection;
        Failure failure;       // Failed: why
        FileIdentity identity; // Infected: the file as it was read
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

    static Verdict Failed(int code);
    void WalkFolder(const std::wstring& folder);
    // Scans the files of one folder and adds its subfolders to `subfolders`; `given`: the
    // folder is the scanned path itself.
    void ListFolder(const std::wstring& folder, bool given, std::vector<std::wstring>& subfolders);
    void ReportFolderFailure(const std::wstring& folder, int code);
    // Whether the file at path is one this engine renamed on its way out and marked for deletion.
    bool IsSentOnItsWay(const std::wstring& path) const;
    // Scans the file and reports it, unless it is one sent on its way.
    void ScanFileObject(Subject& subject, std::uint64_t size);
    // Opens the file into `file` (OpenToJudge) and judges it; the caller keeps it open until
    // the report on it has been answered.
    Verdict ScanFile(const std::wstring& path, std::uint64_t size, FileHandle& file);
    // Judges `size` bytes from the handle's position.
    Verdict ScanContent(void* handle, std::uint64_t size);
    Verdict Judge(const std::uint8_t* head, std::size_t headSize, const Digest* digest, std::uint64_t size) const;

    // Calls the scan callback; returns the action left in the slot.
    int Report(const Subject& subject, std::uint32_t status, const Threat* threat,
        int statusFlags = EngineSdk::Result::Success);
    // `judged`: the file as it was read, if any, held while the callback answers the report and
    // closed before an action opens the file again for itself.
    void ReportVerdict(const Subject& subject, const Verdict& verdict, FileHandle* judged = nullptr);
    void CarryOut(int action, const Subject& subject, const Verdict& verdict);
    // Opens the judged object for an action: refused when its name now leads elsewhere
    // through a link, or when it is no longer the file that was judged.
    Failure OpenJudged(const std::wstring& path, const Verdict& verdict, unsigned long access, FileHandle& file);
    Failure Quarantine(const std::wstring& path, const Verdict& verdict, bool move);
    Failure Delete(const std::wstring& path, const Verdict& verdict);
    Failure Rename(const std::wstring& path, const Verdict& verdict);
    Failure Disinfect(const std::wstring& path, const Verdict& verdict);
    Failure FindRepairedStart(void* file, const Verdict& verdict, std::uint64_t& start);

    CThreatScannerStruct& instance;
    const Definitions& definitions;
    std::vector<std::uint8_t> buffer;
    unsigned reported = 0;
    unsigned infected = 0;
    bool stopped = false; // an Abort action ends the scan call
};

} // namespace ReferenceEngine
