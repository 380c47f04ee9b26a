#pragma once

#include <boost/filesystem/path.hpp>
#include <boost/optional/optional.hpp>

#include <string>

// Authenticode questions about a file on disk. The operations keep no state; each call opens (or
// is given), uses and releases its own handles.
namespace DigitalSignatureHelper
{
namespace Signature
{

// Which name of the signing certificate CertificateName returns; the values are the platform's
// CERT_NAME_* types, read without flags.
enum class NameType
{
    SimpleDisplay = 4,   // the subject's simple display name (CERT_NAME_SIMPLE_DISPLAY_TYPE)
    FriendlyDisplay = 5, // the friendly name if the certificate has one, else the simple one
    Email = 1            // the subject's e-mail address (CERT_NAME_EMAIL_TYPE)
};

// True exactly when WinVerifyTrust (generic Authenticode verification, no UI, no revocation
// check) accepts the file's signature. Every failure, a missing file included, answers false.
bool IsTrusted(const boost::filesystem::path& file) noexcept;

// The chosen name of the certificate of the first signer of the file's embedded signature,
// searched in the signature's own store. Does not check trust: ask IsTrusted first.
// Throws ExceptionHelper::Exception (no error code attached) at the first step that fails;
// an unsigned file gives "Couldn't CryptQueryObject".
std::wstring CertificateName(const boost::filesystem::path& file, NameType type);

// Both questions in one, through the file's open handle (read access): the chosen name of the
// certificate that signed the file, when WinVerifyTrust trusts its signature as IsTrusted asks;
// none when it does not. The name is that of the signer the verification itself found in the
// signature it read through the handle, so the two answers are of the same bytes; `file` is the
// file's name, which the platform takes beside the handle. Throws ExceptionHelper::Exception
// when the trusted signer's name cannot be read.
boost::optional<std::wstring> TrustedSignerName(const boost::filesystem::path& file, void* handle, NameType type);

} // namespace Signature
} // namespace DigitalSignatureHelper
