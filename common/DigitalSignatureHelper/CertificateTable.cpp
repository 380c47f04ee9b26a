#include "DigitalSignatureHelper/CertificateTable.h"

#include <algorithm>
#include <cstdint>

#include <windows.h>

namespace DigitalSignatureHelper
{
namespace CertificateTable
{
namespace
{

// Where the headers keep what is read here (the PE format): the offset of the NT headers in the
// DOS header; in the NT headers the size of the optional header, and in that header its magic
// and, by magic, where the count of data directories and the directories stand.
const std::uint64_t NtHeadersOffsetAt = 0x3C;
const std::uint64_t OptionalHeaderSizeAt = 20;
const std::uint64_t OptionalHeaderAt = 24;
const std::uint32_t Pe32DirectoryCountAt = 92, Pe32PlusDirectoryCountAt = 108;
const std::uint64_t EntryHeaderSize = 8; // dwLength, wRevision, wCertificateType
// WIN_CERT_REVISION_2_0 and WIN_CERT_TYPE_PKCS_SIGNED_DATA (this wintrust.h shows them only
// with all of its old interfaces).
const unsigned Revision2 = 0x0200, PkcsSignedData = 0x0002;
const std::uint64_t Alignment = 8;

// Reads of the open file at given offsets, none beyond its end.
class Reader
{
public:
    explicit Reader(HANDLE file) : file(file)
    {
        LARGE_INTEGER length = {};
        known = GetFileSizeEx(file, &length) != 0;
        size = known ? static_cast<std::uint64_t>(length.QuadPart) : 0;
    }

    bool Known() const { return known; }
    std::uint64_t Size() const { return size; }

    // Exactly `count` bytes at `offset` into data.
    bool Read(std::uint64_t offset, void* data, DWORD count) const
    {
        if (offset > size || count > size - offset)
            return false;
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        return ReadFile(file, data, count, &got, &at) && got == count;
    }

    template <typename Number>
    bool ReadNumber(std::uint64_t offset, Number& number) const
    {
        std::uint8_t bytes[sizeof(Number)];
        if (!Read(offset, bytes, sizeof bytes))
            return false;
        number = 0;
        for (std::size_t i = sizeof bytes; i-- > 0;)
            number = static_cast<Number>((number << 8) | bytes[i]); // little-endian
        return true;
    }

private:
    HANDLE file;
    bool known = false;
    std::uint64_t size = 0;
};

// The length of the DER element that begins at `header` (its tag and length bytes, up to
// `available` of them) when it is a SEQUENCE of definite length; 0 otherwise.
std::uint64_t SequenceLength(const std::uint8_t* header, std::uint64_t available)
{
    const std::uint8_t sequence = 0x30;
    if (available < 2 || header[0] != sequence)
        return 0;
    if (header[1] < 0x80)
        return 2 + header[1];
    const unsigned lengthBytes = header[1] & 0x7F;
    // 0x80 alone is the indefinite length, which DER does not allow.
    if (lengthBytes == 0 || lengthBytes > 4 || available < 2 + lengthBytes)
        return 0;
    std::uint64_t content = 0;
    for (unsigned i = 0; i < lengthBytes; ++i)
        content = (content << 8) | header[2 + i];
    return 2 + lengthBytes + content;
}

// Where the certificate table lies, as the image's security data directory says: offset and
// size 0 when it has none. False when the headers cannot be read as those of an image.
bool FindTable(const Reader& reader, std::uint32_t& offset, std::uint32_t& size)
{
    std::uint32_t ntHeaders = 0, signature = 0;
    std::uint16_t optionalSize = 0, magic = 0;
    if (!reader.ReadNumber(NtHeadersOffsetAt, ntHeaders) || !reader.ReadNumber(ntHeaders, signature)
        || signature != IMAGE_NT_SIGNATURE || !reader.ReadNumber(ntHeaders + OptionalHeaderSizeAt, optionalSize)
        || !reader.ReadNumber(ntHeaders + OptionalHeaderAt, magic))
        return false;
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return false;
    const std::uint32_t countAt = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? Pe32PlusDirectoryCountAt : Pe32DirectoryCountAt;
    std::uint32_t directories = 0;
    if (countAt + 4 > optionalSize || !reader.ReadNumber(ntHeaders + OptionalHeaderAt + countAt, directories))
        return false;
    offset = size = 0;
    if (directories <= IMAGE_DIRECTORY_ENTRY_SECURITY)
        return true;
    const std::uint32_t entryAt = countAt + 4 + 8 * IMAGE_DIRECTORY_ENTRY_SECURITY;
    const std::uint64_t entry = std::uint64_t(ntHeaders) + OptionalHeaderAt + entryAt;
    return entryAt + 8 <= optionalSize && reader.ReadNumber(entry, offset) && reader.ReadNumber(entry + 4, size);
}

// Whether the table at offset, of size bytes, is one signature and nothing more.
bool IsOneSignature(const Reader& reader, std::uint64_t offset, std::uint64_t size)
{
    std::uint8_t head[EntryHeaderSize + 6] = {};
    const DWORD headSize = static_cast<DWORD>(std::min<std::uint64_t>(sizeof head, size));
    if (size <= EntryHeaderSize || !reader.Read(offset, head, headSize))
        return false;
    const std::uint32_t entryLength = head[0] | head[1] << 8 | head[2] << 16 | std::uint32_t(head[3]) << 24;
    const unsigned revision = head[4] | head[5] << 8, type = head[6] | head[7] << 8;
    if (revision != Revision2 || type != PkcsSignedData)
        return false;
    const std::uint64_t der = SequenceLength(head + EntryHeaderSize, headSize - EntryHeaderSize);
    const std::uint64_t used = EntryHeaderSize + der;
    const std::uint64_t rounded = (used + Alignment - 1) / Alignment * Alignment;
    if (der == 0 || entryLength < used || entryLength > size || size > rounded)
        return false;
    // What rounding leaves after the signature (fewer than 8 bytes) holds zeros only.
    std::uint8_t rest[Alignment] = {};
    const DWORD restSize = static_cast<DWORD>(size - used);
    return reader.Read(offset + used, rest, restSize)
        && std::all_of(rest, rest + restSize, [](std::uint8_t byte) { return byte == 0; });
}

} // namespace

bool HoldsOnlyItsSignature(void* file) noexcept
{
    const Reader reader(file);
    char start[2] = {};
    if (!reader.Known() || (reader.Size() >= sizeof start && !reader.Read(0, start, sizeof start)))
        return false;
    if (start[0] != 'M' || start[1] != 'Z')
        return true;
    std::uint32_t offset = 0, size = 0;
    if (!FindTable(reader, offset, size))
        return false;
    if (offset == 0 && size == 0)
        return true;
    return offset != 0 && std::uint64_t(offset) + size <= reader.Size() && IsOneSignature(reader, offset, size);
}

} // namespace CertificateTable
} // namespace DigitalSignatureHelper
