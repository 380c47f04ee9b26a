#include "Manifest.h"

#include "PlainFileName.h"
#include "Result.h"
#include "TextLines.h"
#include "TransientError.h"
#include "UpdateSdk.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>

namespace UpdateSdkStandIn
{
namespace
{

const char* const magicLine = "brisken-definitions 1";
// The last line: a manifest without it was cut short, even at a line end.
const char* const closingLine = "end";
// Begins the line before the closing one in a server's manifest.
const std::string signatureWord = "signature ";
// Sets larger than this are refused rather than filling the disk.
const std::uint64_t maxFileSize = std::uint64_t(1) << 32;
const std::size_t maxFiles = 1000;

[[noreturn]] void Bad(const std::string& why)
{
    throw UpdateError(Result::BadManifest, "bad manifest: " + why);
}

// Splits off `count` words separated by single blanks; the rest of the line is the last element.
std::vector<std::string> SplitWords(const std::string& line, std::size_t count)
{
    std::vector<std::string> parts;
    std::size_t position = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::size_t blank = line.find(' ', position);
        if (blank == std::string::npos || blank == position)
            Bad("too few fields: " + line);
        parts.push_back(line.substr(position, blank - position));
        position = blank + 1;
    }
    parts.push_back(line.substr(position));
    return parts;
}

std::uint64_t ParseSize(const std::string& text)
{
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        Bad("bad size: " + text);
    const std::uint64_t size = std::stoull(text);
    if (size > maxFileSize)
        Bad("file too large: " + text);
    return size;
}

const std::string& CheckSha256(const std::string& text)
{
    if (text.size() != 64 || text.find_first_not_of("0123456789abcdef") != std::string::npos)
        Bad("bad SHA-256: " + text);
    return text;
}

const std::string& CheckName(const std::string& name)
{
    if (!IsPlainFileName(name))
        Bad("refused file name: " + name);
    if (IsReservedFileName(name))
        Bad("reserved file name: " + name);
    return name;
}

// The version goes into a line of update.txt: printable, one line, not blank at either end.
const std::string& CheckVersion(const std::string& version)
{
    if (version.empty() || version.size() > 64 || version.front() == ' ' || version.back() == ' '
        || std::any_of(version.begin(), version.end(), [](char c) { return c < 0x20 || c > 0x7e; }))
        Bad("bad version: " + version);
    return version;
}

const std::string& CheckReleased(const std::string& released)
{
    int year, month, day, hour, minute, second;
    char zone = 0;
    if (released.size() != 20 || std::sscanf(released.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day,
                                     &hour, &minute, &second, &zone) != 7 || zone != 'Z'
        || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 59)
        Bad("bad release time: " + released);
    return released;
}

void ParseLine(const std::string& line, Manifest& manifest, bool& sawVersion, bool& sawReleased)
{
    const std::string keyword = line.substr(0, line.find(' '));
    if (keyword == "version" && !sawVersion)
    {
        manifest.version = CheckVersion(SplitWords(line, 1)[1]);
        sawVersion = true;
    }
    else if (keyword == "released" && !sawReleased)
    {
        manifest.released = CheckReleased(SplitWords(line, 1)[1]);
        sawReleased = true;
    }
    else if (keyword == "file")
    {
        const auto parts = SplitWords(line, 3);
        manifest.files.push_back({CheckName(parts[3]), ParseSize(parts[1]), CheckSha256(parts[2])});
    }
    else if (keyword == "patch")
    {
        const auto parts = SplitWords(line, 4);
        manifest.patches.push_back({CheckName(parts[4]), ParseSize(parts[1]), CheckSha256(parts[2]), CheckSha256(parts[3])});
    }
    else
        Bad("unexpected line: " + line.substr(0, 80));
}

void CheckFileList(const Manifest& manifest)
{
    if (manifest.files.size() > maxFiles)
        Bad("too many files");
    std::set<std::wstring> names;
    for (const ManifestFile& file : manifest.files)
        if (!names.insert(FileNameKey(Utf8ToWide(file.name))).second)
            Bad("file listed twice: " + file.name);
    for (const ManifestPatch& patch : manifest.patches)
        if (std::none_of(manifest.files.begin(), manifest.files.end(),
                [&](const ManifestFile& file) { return file.name == patch.name; }))
            Bad("patch for a file not in the set: " + patch.name);
}

// The non-blank lines of a manifest that begins with its header line and ends with its closing
// line; those two are not checked further.
std::vector<TextLine> FramedLines(const std::string& text)
{
    if (text.size() > MaxManifestSize || text.find('\0') != std::string::npos)
        Bad("not a text of the expected size");
    std::vector<TextLine> lines = TextLines(text);
    if (lines.empty() || lines.front().text != magicLine)
        Bad("no header line");
    // Checked before the lines, so that a cut inside a line counts as a cut too.
    if (std::none_of(lines.begin(), lines.end(), [](const TextLine& line) { return line.text == closingLine; }))
        throw TransientError(UpdateSdk::Event::DownloadFailed, Result::DownloadFailed,
            "the manifest did not arrive whole: its closing line is missing");
    if (lines.back().text != closingLine)
        Bad("text after the closing line");
    return lines;
}

// The set that the lines between the header line and the one at index end describe.
Manifest ParseBody(const std::vector<TextLine>& lines, std::size_t end)
{
    Manifest manifest;
    bool sawVersion = false, sawReleased = false;
    for (std::size_t i = 1; i < end; ++i)
        ParseLine(lines[i].text, manifest, sawVersion, sawReleased);
    if (!sawVersion || !sawReleased)
        Bad("version or release time missing");
    CheckFileList(manifest);
    return manifest;
}

// r and s as 128 lower-case hex digits.
bool ParseSignature(const std::string& hex, EcdsaP256::Signature& signature)
{
    if (hex.size() != 2 * signature.size() || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    for (std::size_t i = 0; i < signature.size(); ++i)
        signature[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return true;
}

} // namespace

const ManifestPatch* Manifest::FindPatch(const std::string& name, const std::string& baseSha256) const
{
    for (const ManifestPatch& patch : patches)
        if (patch.name == name && patch.baseSha256 == baseSha256)
            return &patch;
    return nullptr;
}

Manifest ParseManifest(const std::string& text)
{
    const std::vector<TextLine> lines = FramedLines(text);
    return ParseBody(lines, lines.size() - 1);
}

Manifest ParseSignedManifest(const std::string& text, const EcdsaP256::PublicKey& key)
{
    const std::vector<TextLine> lines = FramedLines(text);
    // Its own line before the closing one: a manifest cut short loses the closing line, and
    // with it any claim to be signed.
    const std::size_t signatureIndex = lines.size() - 2;
    if (signatureIndex == 0 || lines[signatureIndex].text.compare(0, signatureWord.size(), signatureWord) != 0)
        throw UpdateError(Result::SignatureRefused, "the manifest is not signed");
    const TextLine& signatureLine = lines[signatureIndex];
    EcdsaP256::Signature signature;
    if (!ParseSignature(signatureLine.text.substr(signatureWord.size()), signature)
        || !EcdsaP256::Verify(key, text.substr(0, signatureLine.offset), signature))
        throw UpdateError(Result::SignatureRefused, "the manifest's signature is not the maker's");
    return ParseBody(lines, signatureIndex);
}

std::string FormatManifest(const Manifest& manifest)
{
    std::ostringstream text;
    text << magicLine << "\nversion " << manifest.version << "\nreleased " << manifest.released << "\n";
    for (const ManifestFile& file : manifest.files)
        text << "file " << file.size << ' ' << file.sha256 << ' ' << file.name << "\n";
    for (const ManifestPatch& patch : manifest.patches)
        text << "patch " << patch.size << ' ' << patch.sha256 << ' ' << patch.baseSha256 << ' ' << patch.name << "\n";
    text << closingLine << "\n";
    return text.str();
}

} // namespace UpdateSdkStandIn
