#include "Definitions.h"

#include "EngineSdk.h"
#include "Eicar.h"
#include "Utf8.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace ReferenceEngine
{

namespace
{

const char* const threatTypeNames[] = {"Virus", "Spyware", "Adware", "Spam", "Rootkit", "Dialer", "App", "ArchBomb"};

// The longest prepended body a prefix signature may have: the engine reads only this much
// of a file unless a hash signature needs the whole file.
const std::size_t maxPrefix = 4096;

bool ParseThreatType(const std::string& text, std::uint32_t& type)
{
    for (std::uint32_t i = 0; i < sizeof(threatTypeNames) / sizeof(threatTypeNames[0]); ++i)
    {
        if (text == threatTypeNames[i])
        {
            type = i;
            return true;
        }
    }
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    type = static_cast<std::uint32_t>(std::stoul(text));
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& text, std::string& bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2)
    {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

bool ParseUnsigned(const std::string& text, std::uint64_t limit, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return value <= limit;
}

// The rest of the line after the first `count` blank-separated words, trimmed.
std::string RestAfterWords(const std::string& line, int count)
{
    std::size_t position = 0;
    for (int i = 0; i < count; ++i)
    {
        position = line.find_first_not_of(" \t", position);
        position = line.find_first_of(" \t", position);
        if (position == std::string::npos)
            return std::string();
    }
    const std::size_t begin = line.find_first_not_of(" \t", position);
    if (begin == std::string::npos)
        return std::string();
    const std::size_t end = line.find_last_not_of(" \t\r");
    return line.substr(begin, end - begin + 1);
}

} // namespace

bool ParseUtcTime(const std::string& text, std::uint32_t& seconds)
{
    int year, month, day, hour, minute, second;
    char tail = 0;
    if (text.size() != 20 || std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour,
                                 &minute, &second, &tail) != 7 || tail != 'Z')
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59
        || hour < 0 || minute < 0 || second < 0)
        return false;
    // Days from civil (proleptic Gregorian), after H. Hinnant.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long days = static_cast<long long>(era) * 146097 + dayOfEra - 719468;
    const long long total = days * 86400 + hour * 3600 + minute * 60 + second;
    if (total < 0 || total > 0xFFFFFFFFll)
        return false;
    seconds = static_cast<std::uint32_t>(total);
    return true;
}

Definitions::Definitions()
    : headSize(EicarString().size())
{
    eicar.name = L"EICAR-Test-File (not a virus)";
    eicar.type = EngineSdk::ThreatType::Virus;
}

int Definitions::Load(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsDefinitionsFileName(data.cFileName))
                names.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::wstring> paths;
    for (const std::wstring& name : names)
        paths.push_back(folder + L"\\" + name);
    return LoadFiles(paths);
}

int Definitions::LoadFiles(const std::vector<std::wstring>& paths)
{
    for (const std::wstring& path : paths)
    {
        if (!LoadFile(path))
        {
            OutputDebugStringW((L"reference engine: bad definitions file " + path).c_str());
            *this = Definitions();
            return EngineSdk::Result::Plugin;
        }
    }
    return EngineSdk::Result::Success;
}

bool Definitions::IsDefinitionsFileName(const std::wstring& name)
{
    static const std::wstring extension = L".bkdef";
    return name.size() >= extension.size()
        && CompareStringOrdinal(name.c_str() + name.size() - extension.size(), -1, extension.c_str(), -1, TRUE)
        == CSTR_EQUAL;
}

bool Definitions::LoadFile(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string content;
    char chunk[65536];
    DWORD got = 0;
    bool readOk = true;
    while ((readOk = ReadFile(file, chunk, sizeof(chunk), &got, nullptr)) && got > 0)
        content.append(chunk, got);
    CloseHandle(file);
    if (!readOk)
        return false;

    bool sawVersion = false;
    bool sawRelease = false;
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line))
    {
        if (!ParseLine(line, sawVersion, sawRelease))
            return false;
    }
    if (!sawVersion || !sawRelease)
        return false;
    ++files;
    return true;
}

bool Definitions::ParseLine(const std::string& line, bool& sawVersion, bool& sawRelease)
{
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword) || keyword[0] == '#')
        return true;
    if (keyword == "version")
    {
        std::string text;
        std::uint64_t value = 0;
        if (sawVersion || !(words >> text) || !ParseUnsigned(text, 0xFFFFFFFFu, value) || !RestAfterWords(line, 2).empty())
            return false;
        version = std::max(version, static_cast<std::uint32_t>(value));
        sawVersion = true;
        return true;
    }
    if (keyword == "released")
    {
        std::string text;
        std::uint32_t seconds = 0;
        if (sawRelease || !(words >> text) || !ParseUtcTime(text, seconds) || !RestAfterWords(line, 2).empty())
            return false;
        releaseTime = std::max(releaseTime, seconds);
        sawRelease = true;
        return true;
    }
    std::string typeText;
    Threat threat;
    if (!(words >> typeText) || !ParseThreatType(typeText, threat.type))
        return false;
    if (keyword == "hash")
    {
        std::string digestText, sizeText, digestBytes;
        std::uint64_t size = 0;
        if (!(words >> digestText >> sizeText) || !ParseHex(digestText, digestBytes) || digestBytes.size() != 32
            || !ParseUnsigned(sizeText, ~0ull, size) || size == 0)
            return false;
        threat.name = Utf8ToWide(RestAfterWords(line, 4));
        if (threat.name.empty())
            return false;
        Digest digest;
        std::memcpy(digest.data(), digestBytes.data(), digest.size());
        hashes[{size, digest}] = threat;
        hashSizes.insert(size);
        return true;
    }
    if (keyword == "prefix")
    {
        std::string hexText;
        Prefix prefix;
        if (!(words >> hexText) || !ParseHex(hexText, prefix.bytes) || prefix.bytes.size() < 4
            || prefix.bytes.size() > maxPrefix)
            return false;
        threat.name = Utf8ToWide(RestAfterWords(line, 3));
        if (threat.name.empty())
            return false;
        prefix.threat = threat;
        prefixesByFirstByte[static_cast<std::uint8_t>(prefix.bytes[0])].push_back(prefixes.size());
        headSize = std::max(headSize, prefix.bytes.size());
        prefixes.push_back(prefix);
        return true;
    }
    return false;
}

Detection Definitions::MatchHead(const std::uint8_t* data, std::size_t size) const
{
    Detection detection;
    const std::string& eicarText = EicarString();
    if (size >= eicarText.size() && std::memcmp(data, eicarText.data(), eicarText.size()) == 0)
    {
        detection.threat = &eicar;
        return detection;
    }
    if (size == 0)
        return detection;
    for (const std::size_t index : prefixesByFirstByte[data[0]])
    {
        const Prefix& prefix = prefixes[index];
        if (size >= prefix.bytes.size() && std::memcmp(data, prefix.bytes.data(), prefix.bytes.size()) == 0)
        {
            detection.threat = &prefix.threat;
            detection.repairPrefix = prefix.bytes.size();
            return detection;
        }
    }
    return detection;
}

const Threat* Definitions::MatchHash(const Digest& digest, std::uint64_t size) const
{
    const auto found = hashes.find({size, digest});
    return found == hashes.end() ? nullptr : &found->second;
}

} // namespace ReferenceEngine
