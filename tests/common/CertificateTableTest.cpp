// Certificate tables made from the maker-signed test module (tests/fixtures/SignedFiles): what
// holds only its signature and what hides more.
#include "DigitalSignatureHelper/CertificateTable.h"

#include "ProcessHelper/ProcessHelper.h"
#include "support/TempFolder.h"

#include <boost/filesystem/fstream.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

#include <windows.h>

namespace
{

namespace fs = boost::filesystem;
using DigitalSignatureHelper::CertificateTable::HoldsOnlyItsSignature;

std::string ReadBytes(const fs::path& file)
{
    fs::ifstream stream(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

std::uint32_t Get32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// The signed module's bytes and where its security directory entry and its table are.
struct Image
{
    std::string bytes;
    std::size_t entry = 0; // the directory entry: table offset, then table size
    std::uint32_t Offset() const { return Get32(bytes, entry); }
    std::uint32_t Size() const { return Get32(bytes, entry + 4); }
    void Resize(std::uint32_t size) { Put32(bytes, entry + 4, size); }
    std::uint32_t EntryLength() const { return Get32(bytes, Offset()); }
    void SetEntryLength(std::uint32_t length) { Put32(bytes, Offset(), length); }
};

Image SignedImage()
{
    Image image;
    image.bytes = ReadBytes(ProcessHelper::Process::Path().parent_path() / "signed" / "TinyModule-signed.dll");
    const std::uint32_t ntHeaders = Get32(image.bytes, 0x3C);
    const bool plus = static_cast<std::uint8_t>(image.bytes[ntHeaders + 25]) == 0x02; // magic 0x20B
    image.entry = ntHeaders + 24 + (plus ? 112 : 96) + 8 * 4;
    return image;
}

const std::string Payload = "BRISKEN-HIDDEN-PAYLOAD-8";

struct Case
{
    const char* name;
    std::function<std::string()> bytes;
    bool holdsOnlyItsSignature;
};

bool Check(const fs::path& file)
{
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle);
    const bool answer = HoldsOnlyItsSignature(handle);
    CloseHandle(handle);
    return answer;
}

TEST(CertificateTableTest, OnlyATableOfOneSignatureRoundedToEightBytesPasses)
{
    // The module's table is its last part: one entry of the signature and one byte of zeros.
    const Image signedImage = SignedImage();
    ASSERT_EQ(signedImage.Offset() + signedImage.Size(), signedImage.bytes.size());
    ASSERT_EQ(0u, signedImage.Size() % 8);
    const Case cases[] = {
        {"as signed", [&] { return signedImage.bytes; }, true},
        {"entry length without the zeros of rounding", [&] {
             Image image = signedImage;
             image.SetEntryLength(image.EntryLength() - 1);
             return image.bytes;
         }, true},
        {"never signed", [] {
             return ReadBytes(ProcessHelper::Process::Path().parent_path() / "signed" / "TinyModule-unsigned.dll");
         }, true},
        {"not an image", [] { return std::string("just some text"); }, true},
        {"empty", [] { return std::string(); }, true},
        {"payload in the entry", [&] {
             Image image = signedImage;
             image.SetEntryLength(image.EntryLength() + Payload.size());
             image.Resize(image.Size() + Payload.size());
             return image.bytes + Payload;
         }, false},
        {"payload after the entry", [&] {
             Image image = signedImage;
             image.Resize(image.Size() + Payload.size());
             return image.bytes + Payload;
         }, false},
        {"a second entry", [&] {
             Image image = signedImage;
             const std::string entry = image.bytes.substr(image.Offset());
             image.Resize(image.Size() * 2);
             return image.bytes + entry;
         }, false},
        {"a byte in the rounding", [&] {
             Image image = signedImage;
             image.bytes.back() = 1;
             return image.bytes;
         }, false},
        {"entry longer than the table", [&] {
             Image image = signedImage;
             image.SetEntryLength(image.Size() + 8);
             return image.bytes;
         }, false},
        {"table beyond the end of the file", [&] {
             Image image = signedImage;
             image.Resize(image.Size() + 8);
             return image.bytes;
         }, false},
        {"entry of another certificate type", [&] {
             Image image = signedImage;
             image.bytes[image.Offset() + 6] = 1; // WIN_CERT_TYPE_X509
             return image.bytes;
         }, false},
        {"no image behind its DOS header", [&] {
             Image image = signedImage;
             Put32(image.bytes, Get32(image.bytes, 0x3C), 0);
             return image.bytes;
         }, false},
    };
    const TestSupport::TempFolder folder;
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        const fs::path file = folder.Path() / (std::string(test.name) + ".dll");
        {
            fs::ofstream stream(file, std::ios::binary);
            stream << test.bytes();
        }
        EXPECT_EQ(test.holdsOnlyItsSignature, Check(file));
    }
}

TEST(CertificateTableTest, AFileThatCannotBeReadHoldsMore)
{
    EXPECT_FALSE(HoldsOnlyItsSignature(INVALID_HANDLE_VALUE));
}

} // namespace
