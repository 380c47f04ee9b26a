#include "DigitalSignatureHelper/Signature.h"

#include "ExceptionHelper/Exception.h"
#include "ExceptionHelper/WindowsException.h"
#include "ProcessHelper/ProcessHelper.h"
#include "support/TempFolder.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>

#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

namespace
{

namespace fs = boost::filesystem;
namespace Signature = DigitalSignatureHelper::Signature;
using Signature::NameType;

// The files that the SignedFiles fixture makes beside the test executables.
fs::path SignedFile(const std::wstring& name)
{
    return ProcessHelper::Process::Path().parent_path() / L"signed" / name;
}

const fs::path Signed = SignedFile(L"TinyModule-signed.dll");
const fs::path Unsigned = SignedFile(L"TinyModule-unsigned.dll");
const fs::path Tampered = SignedFile(L"TinyModule-tampered.dll");
const fs::path SignedByOther = SignedFile(L"TinyModule-signed-other.dll");
const fs::path SignedWithoutName = SignedFile(L"TinyModule-signed-noname.dll");
const fs::path Padded = SignedFile(L"TinyModule-signed-padded.dll");

// The exception CertificateName throws for file, checked for what every step's failure shares.
// The throw function is the full signature (ExceptionHelper/Exception.h); its name is what is
// checked here.
ExceptionHelper::Exception NameFailure(const fs::path& file)
{
    try
    {
        Signature::CertificateName(file, NameType::SimpleDisplay);
    }
    catch (const ExceptionHelper::Exception& e)
    {
        EXPECT_EQ(nullptr, boost::get_error_info<ExceptionHelper::ErrorInfo>(e));
        const char* const* function = boost::get_error_info<boost::throw_function>(e);
        const char* const* source = boost::get_error_info<boost::throw_file>(e);
        EXPECT_TRUE(function && std::string(*function).find("CertificateName") != std::string::npos);
        EXPECT_TRUE(source && std::string(*source).find("Signature.cpp") != std::string::npos);
        return e;
    }
    throw std::logic_error("nothing was thrown");
}

TEST(SignatureTest, TheFixturesExist)
{
    for (const fs::path& file : {Signed, Unsigned, Tampered, SignedByOther, SignedWithoutName, Padded})
        EXPECT_TRUE(fs::is_regular_file(file)) << file.string();
}

// WinVerifyTrust's own answer for file, to show that each fixture is what its name says.
LONG VerifyTrust(const fs::path& file)
{
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = file.c_str();
    WINTRUST_DATA trust = {};
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(nullptr, &action, &trust);
}

TEST(SignatureTest, TheFixturesGiveThePlatformsExpectedAnswers)
{
    EXPECT_EQ(0, VerifyTrust(Signed));
    EXPECT_EQ(TRUST_E_NOSIGNATURE, VerifyTrust(Unsigned));
    EXPECT_EQ(TRUST_E_BAD_DIGEST, VerifyTrust(Tampered));
    // Bytes hidden in the certificate table keep the signature valid (no padding check here).
    EXPECT_EQ(0, VerifyTrust(Padded));
}

TEST(SignatureTest, AFileSignedByTheMakerIsTrustedAndNamesTheMaker)
{
    EXPECT_TRUE(Signature::IsTrusted(Signed));
    const std::wstring name = Signature::CertificateName(Signed, NameType::SimpleDisplay);
    EXPECT_EQ(L"Corvantis Limited", name);
    EXPECT_EQ(L"corvantis limited", boost::algorithm::to_lower_copy(name));
}

TEST(SignatureTest, AnUnsignedFileIsNotTrustedAndHasNoName)
{
    EXPECT_FALSE(Signature::IsTrusted(Unsigned));
    const ExceptionHelper::Exception e = NameFailure(Unsigned);
    EXPECT_STREQ("Couldn't CryptQueryObject", e.what());
    const int* line = boost::get_error_info<boost::throw_line>(e);
    ASSERT_NE(nullptr, line);
    EXPECT_EQ(56, *line);
}

TEST(SignatureTest, ATamperedFileIsNotTrustedButStillNamesItsSigner)
{
    EXPECT_FALSE(Signature::IsTrusted(Tampered));
    // The name is read without a trust check: callers ask IsTrusted first.
    EXPECT_EQ(L"Corvantis Limited", Signature::CertificateName(Tampered, NameType::SimpleDisplay));
}

TEST(SignatureTest, AMissingFileIsNotTrustedAndHasNoName)
{
    const fs::path missing = SignedFile(L"NoSuchFile.dll");
    EXPECT_FALSE(Signature::IsTrusted(missing));
    EXPECT_STREQ("Couldn't CryptQueryObject", NameFailure(missing).what());
}

TEST(SignatureTest, AnotherSignerIsReadAsItIs)
{
    EXPECT_TRUE(Signature::IsTrusted(SignedByOther));
    EXPECT_EQ(L"Northwind Test Signer",
        Signature::CertificateName(SignedByOther, NameType::SimpleDisplay));
    EXPECT_EQ(L"signing@northwind.test", Signature::CertificateName(SignedByOther, NameType::Email));
    EXPECT_EQ(L"Northwind Test Signer",
        Signature::CertificateName(SignedByOther, NameType::FriendlyDisplay));
}

TEST(SignatureTest, ACertificateWithoutSubjectNameGivesAnEmptyName)
{
    EXPECT_EQ(L"", Signature::CertificateName(SignedWithoutName, NameType::SimpleDisplay));
}

TEST(SignatureTest, RepeatedCallsGiveTheSameAnswers)
{
    // Each call opens and releases its own handles: nothing is left over for the next one.
    for (int i = 0; i < 20; ++i)
    {
        EXPECT_TRUE(Signature::IsTrusted(Signed));
        EXPECT_EQ(L"Corvantis Limited", Signature::CertificateName(Signed, NameType::SimpleDisplay));
    }
    // No handle of the file is left open: it can be opened exclusively.
    const HANDLE handle = CreateFileW(Signed.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
        OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
}

// The open file, shared for reading and deletion, so that a test can put another file under its
// name while it is open.
HANDLE OpenForCheck(const fs::path& file)
{
    return CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
        nullptr);
}

// TrustedSignerName's answer as a text: "signed by <name>" or "not trusted".
std::wstring Answer(const fs::path& file, HANDLE handle)
{
    const boost::optional<std::wstring> name = Signature::TrustedSignerName(file, handle, NameType::SimpleDisplay);
    return name ? L"signed by " + *name : L"not trusted";
}

std::wstring Answer(const fs::path& file)
{
    const HANDLE handle = OpenForCheck(file);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle) << file.string();
    const std::wstring answer = Answer(file, handle);
    CloseHandle(handle);
    return answer;
}

TEST(SignatureTest, TrustedSignerNameIsThatOfATrustedSignatureOnly)
{
    EXPECT_EQ(L"signed by Corvantis Limited", Answer(Signed));
    EXPECT_EQ(L"signed by Northwind Test Signer", Answer(SignedByOther));
    EXPECT_EQ(L"signed by ", Answer(SignedWithoutName));
    EXPECT_EQ(L"not trusted", Answer(Unsigned));
    EXPECT_EQ(L"not trusted", Answer(Tampered));
}

TEST(SignatureTest, TrustedSignerNameIsOfTheFileBehindTheHandleNotOfTheName)
{
    // Both answers come from the bytes read through the handle: once another file has taken the
    // name, the open file is still the one asked about, either way round.
    struct Case
    {
        const fs::path& opened;
        const fs::path& later;
        const wchar_t* answer;
    };
    const Case cases[] = {
        {Signed, Unsigned, L"signed by Corvantis Limited"},
        {Unsigned, Signed, L"not trusted"},
        {SignedByOther, Signed, L"signed by Northwind Test Signer"},
    };
    const TestSupport::TempFolder folder;
    const fs::path file = folder.Path() / "module.dll", moved = folder.Path() / "moved.dll";
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.opened.string());
        fs::copy_file(test.opened, file, fs::copy_options::overwrite_existing);
        const HANDLE handle = OpenForCheck(file);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
        fs::rename(file, moved);
        fs::copy_file(test.later, file);

        EXPECT_EQ(test.answer, Answer(file, handle));

        CloseHandle(handle);
        fs::remove(moved);
        fs::remove(file);
    }
}

} // namespace
