// The system objects: running processes and boot sectors.

#include "ScanJob.h"

#include <windows.h>
#include <tlhelp32.h>

namespace ReferenceEngine
{

namespace
{

bool ImagePath(DWORD pid, std::wstring& path)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return false;
    std::wstring image(32768, L'\0');
    DWORD length = static_cast<DWORD>(image.size());
    const bool ok = QueryFullProcessImageNameW(process, 0, &image[0], &length) != 0;
    CloseHandle(process);
    if (ok)
        path.assign(image, 0, length);
    return ok;
}

bool IsDriveRoot(const std::wstring& name)
{
    const bool letter = name.size() >= 2 && ((name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z'))
        && name[1] == L':';
    return letter && (name.size() == 2 || (name.size() == 3 && (name[2] == L'\\' || name[2] == L'/')));
}

} // namespace

int ScanJob::ScanSystem()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return EngineSdk::Result::Failed;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !stopped; more = Process32NextW(snapshot, &entry))
    {
        if (entry.th32ProcessID == 0)
            continue;
        Subject subject;
        subject.objectType = EngineSdk::ObjectType::Process;
        subject.pid = entry.th32ProcessID;
        subject.sysObjParentContainers = EngineSdk::SystemObjectName;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (ImagePath(entry.th32ProcessID, subject.path)
            && GetFileAttributesExW(ApiPath(subject.path).c_str(), GetFileExInfoStandard, &data))
        {
            ScanFileObject(subject, (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
            continue;
        }
        if (subject.path.empty())
            subject.path = entry.szExeFile;
        subject.objectFlags = EngineSdk::ObjectFlag::UnableToRead;
        Report(subject, EngineSdk::ScanStatus::ScanFailed, nullptr, EngineSdk::Result::PathError);
    }
    CloseHandle(snapshot);
    return stopped ? EngineSdk::Result::Stopped : EngineSdk::Result::Success;
}

int ScanJob::ScanBootSector(const wchar_t* root)
{
    const std::wstring name(root);
    if (!IsDriveRoot(name))
        return EngineSdk::Result::PathError;
    Subject subject;
    subject.objectType = EngineSdk::ObjectType::BootSector;
    subject.path = name;
    subject.actionable = false;

    // Raw volume reads need sector-aligned buffers; a user process may only read where the
    // platform allows it (Windows asks for elevation; Wine has no raw volume).
    const DWORD sector = 512;
    void* aligned = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!aligned)
        return EngineSdk::Result::NoMemory;
    const std::wstring device = std::wstring(L"\\\\.\\") + name.substr(0, 2);
    const HANDLE volume = CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    const bool read = volume != INVALID_HANDLE_VALUE && ReadFile(volume, aligned, sector, &got, nullptr) && got == sector;
    if (volume != INVALID_HANDLE_VALUE)
        CloseHandle(volume);

    Verdict verdict;
    if (!read)
    {
        verdict = Failed(EngineSdk::Result::FileRead);
        subject.objectFlags = EngineSdk::ObjectFlag::UnableToRead;
    }
    else
    {
        const std::uint8_t* bytes = static_cast<const std::uint8_t*>(aligned);
        Digest digest;
        const bool hash = definitions.HashesSize(sector);
        if (hash)
        {
            Sha256 sha;
            sha.Update(bytes, sector);
            digest = sha.Final();
        }
        verdict = Judge(bytes, sector, hash ? &digest : nullptr, sector);
    }
    VirtualFree(aligned, 0, MEM_RELEASE);
    ReportVerdict(subject, verdict);
    return EngineSdk::Result::Success;
}

} // namespace ReferenceEngine
