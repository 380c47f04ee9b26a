#include "Quarantine.h"

#include "EngineSdk.h"
#include "FileObjects.h"
#include "Handles.h"
#include "Utf8.h"

namespace ReferenceEngine
{

namespace
{

std::wstring FileName(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

} // namespace

QuarantineItem::QuarantineItem(const std::wstring& folder) : folder(folder)
{
}

int QuarantineItem::Store(void* source, const std::wstring& origin, std::vector<std::uint8_t>& buffer)
{
    CreateDirectoryW(ApiPath(folder).c_str(), nullptr);
    FileHandle file;
    // A name is free when neither the copy nor its record is there.
    copy = FirstFreeName(folder + L"\\" + FileName(origin), [&](const std::wstring& name) {
        if (Exists(name + RecordSuffix))
        {
            SetLastError(ERROR_FILE_EXISTS);
            return false;
        }
        file.Reset(CreateNewFile(name));
        return file.Valid();
    });
    if (copy.empty())
        return CodeForError(GetLastError(), EngineSdk::Result::FileCreate);

    bool stored = CopyContent(source, 0, file.Get(), buffer);
    DWORD error = GetLastError();
    if (!file.Reset() && stored)
    {
        stored = false;
        error = GetLastError();
    }
    if (stored && !WriteRecord(origin))
    {
        stored = false;
        error = GetLastError();
    }
    if (!stored)
    {
        Withdraw();
        return CodeForError(error, EngineSdk::Result::FileWrite);
    }
    return EngineSdk::Result::Success;
}

void QuarantineItem::Withdraw()
{
    if (copy.empty())
        return;
    if (recorded)
        DeleteFileW(ApiPath(copy + RecordSuffix).c_str());
    DeleteFileW(ApiPath(copy).c_str());
    copy.clear();
    recorded = false;
}

// The origin path in UTF-8 and a line end.
bool QuarantineItem::WriteRecord(const std::wstring& origin)
{
    const std::string text = WideToUtf8(origin) + "\r\n";
    FileHandle record(CreateNewFile(copy + RecordSuffix));
    if (!record.Valid())
        return false;
    recorded = true;
    DWORD written = 0;
    if (!WriteFile(record.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return false;
    if (written != text.size())
    {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return FlushFileBuffers(record.Get()) && record.Reset();
}

} // namespace ReferenceEngine
