// Carrying out the action that the scan callback chose for an infected object.

#include "ScanJob.h"

#include <windows.h>

namespace ReferenceEngine
{

namespace
{

std::wstring FileName(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// Read-only files would refuse deletion and repair.
void MakeWritable(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(ApiPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(ApiPath(path).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Tries the quarantine names "<name>", "<name>.1", "<name>.2", ... until one is free.
template <typename Place>
bool PlaceInQuarantine(const std::wstring& quarantine, const std::wstring& path, Place place)
{
    if (quarantine.empty())
        return false;
    CreateDirectoryW(ApiPath(quarantine).c_str(), nullptr);
    const std::wstring target = quarantine + L"\\" + FileName(path);
    for (int n = 0; n < 1000; ++n)
    {
        const std::wstring candidate = n == 0 ? target : target + L"." + std::to_wstring(n);
        if (place(ApiPath(path), ApiPath(candidate)))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

// Moves the bytes after the first `prefix` ones to the start of the file and cuts it.
bool RemovePrefix(const std::wstring& path, std::size_t prefix, std::vector<std::uint8_t>& buffer)
{
    const HANDLE file = CreateFileW(ApiPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    LARGE_INTEGER readAt, writeAt;
    readAt.QuadPart = static_cast<LONGLONG>(prefix);
    writeAt.QuadPart = 0;
    for (;;)
    {
        DWORD got = 0;
        ok = SetFilePointerEx(file, readAt, nullptr, FILE_BEGIN)
            && ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
        if (!ok || got == 0)
            break;
        DWORD written = 0;
        ok = SetFilePointerEx(file, writeAt, nullptr, FILE_BEGIN)
            && WriteFile(file, buffer.data(), got, &written, nullptr) && written == got;
        if (!ok)
            break;
        readAt.QuadPart += got;
        writeAt.QuadPart += got;
    }
    ok = ok && SetFilePointerEx(file, writeAt, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

} // namespace

void ScanJob::CarryOut(int action, const Subject& subject, const Detection& detection)
{
    namespace Action = EngineSdk::ScanAction;
    namespace Status = EngineSdk::ScanStatus;
    bool done = false;
    std::uint32_t status = Status::ScanFailed;
    switch (action)
    {
    case Action::QuarMove:
    case Action::QuarMoveArch:
        done = MoveToQuarantine(subject.path);
        status = Status::Moved;
        break;
    case Action::QuarCopy:
    case Action::QuarCopyArch:
        // The object stays where it is: a copy has no follow-up status, only its failure has.
        if (CopyToQuarantine(subject.path))
            return;
        break;
    case Action::Delete:
        MakeWritable(subject.path);
        done = DeleteFileW(ApiPath(subject.path).c_str()) != 0;
        status = Status::Deleted;
        break;
    case Action::Disinfect:
    case Action::DisinfectOnly:
        done = detection.repairPrefix > 0 && Disinfect(subject.path, detection.repairPrefix);
        status = Status::Disinfected;
        break;
    case Action::Rename:
        done = MoveFileExW(ApiPath(subject.path).c_str(), ApiPath(subject.path + L".vir").c_str(), 0) != 0;
        status = Status::Moved;
        break;
    case Action::Abort:
        stopped = true;
        return;
    default: // None, Default, Skip and unknown values: leave the object alone, no follow-up.
        return;
    }
    Report(subject, done ? status : Status::ScanFailed, detection.threat);
}

bool ScanJob::MoveToQuarantine(const std::wstring& path)
{
    return PlaceInQuarantine(instance.quarantineFolder, path, [](const std::wstring& from, const std::wstring& to) {
        return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
    });
}

bool ScanJob::CopyToQuarantine(const std::wstring& path)
{
    return PlaceInQuarantine(instance.quarantineFolder, path, [](const std::wstring& from, const std::wstring& to) {
        return CopyFileW(from.c_str(), to.c_str(), TRUE) != 0;
    });
}

// Strips prepended bodies until the file is clean; false if it cannot be written or is
// left infected by something that cannot be repaired.
bool ScanJob::Disinfect(const std::wstring& path, std::size_t prefix)
{
    MakeWritable(path);
    for (int round = 0; round < 16 && prefix > 0; ++round)
    {
        if (!RemovePrefix(path, prefix, buffer))
            return false;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(ApiPath(path).c_str(), GetFileExInfoStandard, &data))
            return false;
        const Verdict verdict = ScanFile(path, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        if (verdict.outcome == Outcome::Clean)
            return true;
        if (verdict.outcome == Outcome::Failed)
            return false;
        prefix = verdict.detection.repairPrefix;
    }
    return false;
}

} // namespace ReferenceEngine
