#include "DigitalSignatureHelper/Signature.h"

#include "ExceptionHelper/Exception.h"

#include <boost/shared_ptr.hpp>

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace DigitalSignatureHelper
{
namespace Signature
{
namespace
{

static_assert(static_cast<DWORD>(NameType::SimpleDisplay) == CERT_NAME_SIMPLE_DISPLAY_TYPE, "");
static_assert(static_cast<DWORD>(NameType::FriendlyDisplay) == CERT_NAME_FRIENDLY_DISPLAY_TYPE, "");
static_assert(static_cast<DWORD>(NameType::Email) == CERT_NAME_EMAIL_TYPE, "");
static_assert(sizeof(WINTRUST_DATA) == 80, "WINTRUST_DATA is expected without pSignatureSettings");

// Owner of one handle or buffer; its deleter is the matching release call.
using Owner = boost::shared_ptr<void>;

const DWORD Encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The chosen name of the certificate; throws as the name steps of CertificateName say.
std::wstring NameOf(PCCERT_CONTEXT certificate, NameType type);

// The generic Authenticode verification (no UI, no revocation check) of a file, read through the
// handle if one is given, else by its path. Not copied: the trust data points at fileInfo.
struct Verification
{
    Verification(const boost::filesystem::path& file, HANDLE handle);
    Verification(const Verification&) = delete;
    LONG Run(DWORD stateAction);
    WINTRUST_FILE_INFO fileInfo = {};
    WINTRUST_DATA trust = {};
};
} // namespace

bool IsTrusted(const boost::filesystem::path& file) noexcept
{
    return Verification(file, nullptr).Run(WTD_STATEACTION_IGNORE) == 0;
}

std::wstring CertificateName(const boost::filesystem::path& file, NameType type)
{
    DWORD encoding = 0, contentType = 0, formatType = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store, &message, nullptr))
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CryptQueryObject"));
    const Owner messageOwner = message ? Owner(message, &CryptMsgClose) : Owner();
    if (!store)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("No cert store"));
    const Owner storeOwner(store, [](void* s) { CertCloseStore(s, 0); });

    // The message was owned before the store was checked, so that it is closed on that throw
    // too. It always comes with the store; should it not, there is no signer to read.
    // Only the first signer (index 0) is read, and only from the signature's own store;
    // the first call asks for the size of its information.
    //
    // Every failure from here on releases what was obtained so far, newest first.
    DWORD size = 0;
    if (!message || !CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size))
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CryptMsgGetParam"));

    void* const signerBuffer = LocalAlloc(LPTR, size);
    if (!signerBuffer)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't LocalAlloc PCMSG_SIGNER_INFO"));
    const Owner signerOwner(signerBuffer, &LocalFree);

    // Same size variable: the call may lower it to what it wrote.
    if (!CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, signerBuffer, &size))
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CryptMsgGetParam"));
    const CMSG_SIGNER_INFO* const signer = static_cast<const CMSG_SIGNER_INFO*>(signerBuffer);
    CERT_INFO wanted = {};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    const PCCERT_CONTEXT certificate =
        CertFindCertificateInStore(store, Encoding, 0, CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (!certificate)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CertFindCertificateInStore"));
    const Owner certificateOwner(const_cast<CERT_CONTEXT*>(certificate),
        [](void* c) { CertFreeCertificateContext(static_cast<PCCERT_CONTEXT>(c)); });
    return NameOf(certificate, type);
}

boost::optional<std::wstring> TrustedSignerName(const boost::filesystem::path& file, void* handle, NameType type)
{
    Verification verification(file, handle);
    const LONG answer = verification.Run(WTD_STATEACTION_VERIFY);
    // The verification keeps its state, whatever its answer, until it is closed.
    const Owner state(&verification, [](void* v) {
        Verification& opened = *static_cast<Verification*>(v);
        if (opened.trust.hWVTStateData)
            opened.Run(WTD_STATEACTION_CLOSE);
    });
    if (answer != 0)
        return boost::none;
    // The signer that the verification found and trusted, and its certificate, the first of its chain.
    CRYPT_PROVIDER_DATA* const provider = WTHelperProvDataFromStateData(verification.trust.hWVTStateData);
    CRYPT_PROVIDER_SGNR* const signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* const certificate = signer ? WTHelperGetProvCertFromChain(signer, 0) : nullptr;
    if (!certificate || !certificate->pCert)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't read the trusted signer"));
    return NameOf(certificate->pCert, type);
}

namespace
{

Verification::Verification(const boost::filesystem::path& file, HANDLE handle)
{
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = file.c_str();
    fileInfo.hFile = handle;
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
}

LONG Verification::Run(DWORD stateAction)
{
    trust.dwStateAction = stateAction;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(nullptr, &action, &trust);
}

std::wstring NameOf(PCCERT_CONTEXT certificate, NameType type)
{
    const DWORD nameType = static_cast<DWORD>(type);
    const DWORD length = CertGetNameStringW(certificate, nameType, 0, nullptr, nullptr, 0);
    if (length == 0)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CertGetNameString"));

    void* const nameBuffer = LocalAlloc(LPTR, length * sizeof(wchar_t));
    if (!nameBuffer)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't LocalAlloc subject_name"));
    const Owner nameOwner(nameBuffer, &LocalFree);

    wchar_t* const name = static_cast<wchar_t*>(nameBuffer);
    if (CertGetNameStringW(certificate, nameType, 0, nullptr, name, length) == 0)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't CertGetNameString"));
    return std::wstring(name);
}

} // namespace

} // namespace Signature
} // namespace DigitalSignatureHelper
