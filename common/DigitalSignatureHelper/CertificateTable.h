#pragma once

// The certificate table of an executable image (a PE file), where its Authenticode signature
// lies. The signature's digest leaves the table out, so bytes added inside it, with the table's
// lengths grown to cover them, keep the signature valid; Windows refuses such a file only where
// EnableCertPaddingCheck is set.
namespace DigitalSignatureHelper
{
namespace CertificateTable
{

// Whether the open file (read access) holds nothing in its certificate table beside its
// signature: the table is one WIN_CERTIFICATE entry of PKCS #7 signed data (revision 2.0) whose
// length is that of the signature's DER encoding, the table rounded up to 8 bytes at the most,
// with zero bytes after the signature. An image without a table passes, and so does a file
// that is not an image (it does not begin with "MZ"; its signature, if any, lies elsewhere).
// False for an image whose headers or table cannot be read so, and when a read fails.
bool HoldsOnlyItsSignature(void* file) noexcept;

} // namespace CertificateTable
} // namespace DigitalSignatureHelper
