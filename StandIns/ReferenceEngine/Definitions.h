#pragma once

#include "Sha256.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace ReferenceEngine
{

struct Threat
{
    std::wstring name;
    std::uint32_t type = 0; // ThreatType
};

// What a file's content matched. repairPrefix > 0: the file is the original content behind
// a prepended body of that many bytes, so removing them disinfects it.
struct Detection
{
    const Threat* threat = nullptr;
    std::size_t repairPrefix = 0;
};

// The signatures: the built-in EICAR test string plus the *.bkdef files of the Plugins
// folder (format in README.md). Immutable once loaded; shared by the engine's instances.
class Definitions
{
public:
    Definitions();

    // Reads every definitions file of the folder, in name order; a missing folder or no file
    // leaves only the built-in signature. Returns 0, or the Plugin result code for a file
    // that cannot be read or parsed (nothing is kept then).
    int Load(const std::wstring& folder);
    // The same for the given files, in the given order.
    int LoadFiles(const std::vector<std::wstring>& paths);

    // Whether a file of that name in the Plugins folder is read as definitions (*.bkdef).
    static bool IsDefinitionsFileName(const std::wstring& name);

    // Whether a definitions file was loaded (otherwise there is no database information).
    bool HasDatabase() const { return files > 0; }
    // Whether the files held a signature: without one only the built-in EICAR string is known.
    bool HasSignatures() const { return !prefixes.empty() || !hashes.empty(); }
    std::uint32_t Version() const { return version; }
    std::uint32_t ReleaseTime() const { return releaseTime; }

    // Bytes from the start of a file that MatchHead needs at most.
    std::size_t HeadSize() const { return headSize; }
    // Whether files of this size must be hashed (a hash signature has this size).
    bool HashesSize(std::uint64_t size) const { return hashSizes.count(size) != 0; }

    Detection MatchHead(const std::uint8_t* data, std::size_t size) const;
    const Threat* MatchHash(const Digest& digest, std::uint64_t size) const;

private:
    struct Prefix
    {
        std::string bytes;
        Threat threat;
    };

    bool LoadFile(const std::wstring& path);
    bool ParseLine(const std::string& line, bool& sawVersion, bool& sawRelease);

    Threat eicar;
    std::vector<Prefix> prefixes;
    std::array<std::vector<std::size_t>, 256> prefixesByFirstByte;
    std::map<std::pair<std::uint64_t, Digest>, Threat> hashes;
    std::unordered_set<std::uint64_t> hashSizes;
    std::size_t headSize;
    std::uint32_t version = 0;
    std::uint32_t releaseTime = 0;
    unsigned files = 0;
};

// Parses "YYYY-MM-DDTHH:MM:SSZ" (UTC) into seconds since 1970-01-01; false if malformed or
// outside the unsigned 32-bit range.
bool ParseUtcTime(const std::string& text, std::uint32_t& seconds);

} // namespace ReferenceEngine
