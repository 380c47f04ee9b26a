#include "FileSystemHelper/FileName.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace FileSystemHelper
{

namespace
{

// Upper case, as Windows compares names.
std::wstring Upper(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool IsDeviceName(const std::wstring& name)
{
    static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    // COM and LPT with a digit, or a superscript 1, 2 or 3, which Windows takes as those digits.
    static const wchar_t numbers[] = L"123456789\u00B9\u00B2\u00B3";

    std::wstring stem = name.substr(0, name.find(L'.'));
    stem.erase(stem.find_last_not_of(L' ') + 1);
    stem = Upper(stem);
    for (const wchar_t* device : devices)
    {
        if (stem == device)
            return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)
        && std::wcschr(numbers, stem[3]) != nullptr;
}

} // namespace

std::wstring StoredName(const std::wstring& name)
{
    return name.substr(0, name.find_last_not_of(L". ") + 1);
}

bool IsFileName(const std::wstring& name)
{
    if (name.empty() || name == L"." || name == L"..")
        return false;
    for (const wchar_t c : name)
    {
        if (c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c))
            return false;
    }
    return !IsDeviceName(name);
}

bool IsLongForm(const std::wstring& path)
{
    return path.compare(0, 4, L"\\\\?\\") == 0;
}

std::wstring LongForm(const std::wstring& path)
{
    if (IsLongForm(path) || path.compare(0, 4, L"\\\\.\\") == 0)
        return path;
    std::wstring plain = path;
    std::replace(plain.begin(), plain.end(), L'/', L'\\');
    if (plain.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + plain.substr(2);
    if (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\')
        return L"\\\\?\\" + plain;
    return path;
}

} // namespace FileSystemHelper
