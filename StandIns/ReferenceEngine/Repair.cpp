// Disinfection of prepended bodies: the repair is written beside the original and takes its
// place in one step only when it is whole, so a failed repair leaves the original as it was.

#include "ScanJob.h"

namespace ReferenceEngine
{

namespace
{

namespace Result = EngineSdk::Result;

const int maxRounds = 16;

// The attributes that can be put back on the repaired file.
const DWORD keptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
    | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Puts the repair in the original's place, its attributes kept (a read-only original would
// refuse to be replaced).
bool Replace(const std::wstring& repair, const std::wstring& path, DWORD attributes)
{
    attributes &= keptAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(ApiPath(path).c_str(), WithoutReadOnly(attributes));
    if (!MoveFileExW(ApiPath(repair).c_str(), ApiPath(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    {
        const DWORD error = GetLastError();
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(ApiPath(path).c_str(), attributes);
        SetLastError(error);
        return false;
    }
    if (attributes)
        SetFileAttributesW(ApiPath(path).c_str(), attributes);
    return true;
}

} // namespace

ScanJob::Failure ScanJob::Disinfect(const std::wstring& path, const Verdict& verdict)
{
    if (verdict.detection.repairPrefix == 0)
        return Failure{Result::Disinfect};
    FileHandle original;
    if (const Failure refused = OpenJudged(path, verdict, GENERIC_READ, original))
        return refused;
    std::uint64_t start = 0;
    if (const Failure unrepairable = FindRepairedStart(original.Get(), verdict, start))
        return unrepairable;
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(original.Get(), &info);

    FileHandle repaired;
    const std::wstring repair = FirstFreeName(path + L".repair", [&](const std::wstring& name) {
        repaired.Reset(CreateNewFile(name));
        return repaired.Valid();
    });
    if (repair.empty())
        return Failure{CodeForError(GetLastError(), Result::FileCreate)};
    bool whole = CopyContent(original.Get(), start, repaired.Get(), buffer);
    DWORD error = GetLastError();
    if (!repaired.Reset() && whole)
    {
        whole = false;
        error = GetLastError();
    }
    // Closed first: Windows does not replace a file that is held open.
    original.Reset();
    if (whole && !Replace(repair, path, info.dwFileAttributes))
    {
        whole = false;
        error = GetLastError();
    }
    if (!whole)
    {
        DeleteFileW(ApiPath(repair).c_str());
        return Failure{CodeForError(error, Result::FileWrite)};
    }
    return Failure();
}

// Where the file's own content starts behind up to maxRounds prepended bodies; refused when
// what is left is infected by something that cannot be repaired, or by yet more bodies.
ScanJob::Failure ScanJob::FindRepairedStart(void* file, const Verdict& verdict, std::uint64_t& start)
{
    start = 0;
    std::size_t prefix = verdict.detection.repairPrefix;
    for (int round = 0; round < maxRounds && prefix > 0 && start + prefix <= verdict.identity.size; ++round)
    {
        start += prefix;
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(start);
        if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
            return Failure{Result::FileSeek};
        const Verdict rest = ScanContent(file, verdict.identity.size - start);
        if (rest.outcome == Outcome::Clean)
            return Failure();
        if (rest.outcome == Outcome::Failed)
            return rest.failure;
        prefix = rest.detection.repairPrefix;
    }
    return Failure{Result::Disinfect};
}

} // namespace ReferenceEngine
