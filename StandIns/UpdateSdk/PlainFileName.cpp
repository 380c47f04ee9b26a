#include "PlainFileName.h"

#include "Folders.h"

#include <windows.h>

#include <cwchar>

namespace UpdateSdkStandIn
{
namespace
{

const std::size_t maxNameLength = 200;

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever extension follows them; so do
// COM and LPT with a superscript 1, 2 or 3, which Windows takes as those digits.
bool IsDeviceName(const std::wstring& name)
{
    std::wstring stem = name.substr(0, name.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    stem = FileNameKey(stem);
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL" || stem == L"CONIN$" || stem == L"CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)
        && ((stem[3] >= L'1' && stem[3] <= L'9') || stem[3] == L'\u00B9' || stem[3] == L'\u00B2'
            || stem[3] == L'\u00B3');
}

} // namespace

std::wstring FileNameKey(const std::wstring& name)
{
    std::wstring key = name;
    CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

bool IsPlainFileName(const std::string& name)
{
    if (name.empty() || name.size() > maxNameLength)
        return false;
    const std::wstring wide = Utf8ToWide(name);
    if (wide.empty())
        return false;
    for (const wchar_t c : wide)
    {
        if (c < 0x20 || c == 0x7f || std::wcschr(L"<>:\"/\\|?*", c))
            return false;
    }
    // Windows drops trailing dots and blanks, so "x." would be "x" and ".." would be the parent.
    if (wide.back() == L'.' || wide.back() == L' ' || wide.front() == L' ')
        return false;
    return !IsDeviceName(wide);
}

bool IsReservedFileName(const std::string& name)
{
    return CompareStringOrdinal(Utf8ToWide(name).c_str(), -1, Folders::versionFileName, -1, TRUE) == CSTR_EQUAL;
}

} // namespace UpdateSdkStandIn
