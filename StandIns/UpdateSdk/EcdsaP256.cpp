#include "EcdsaP256.h"

#include "Result.h"
#include "Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace UpdateSdkStandIn::EcdsaP256
{
namespace
{

struct AlgorithmCloser
{
    void operator()(BCRYPT_ALG_HANDLE algorithm) const { BCryptCloseAlgorithmProvider(algorithm, 0); }
};
using Algorithm = std::unique_ptr<std::remove_pointer_t<BCRYPT_ALG_HANDLE>, AlgorithmCloser>;

struct KeyDestroyer
{
    void operator()(BCRYPT_KEY_HANDLE key) const { BCryptDestroyKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<BCRYPT_KEY_HANDLE>, KeyDestroyer>;

[[noreturn]] void Fail(const char* what, NTSTATUS status)
{
    throw UpdateError(Result::Internal,
        std::string(what) + " (status " + std::to_string(static_cast<unsigned long>(status)) + ")");
}

Key ImportPublicKey(BCRYPT_ALG_HANDLE algorithm, const PublicKey& key)
{
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(key.size() / 2)};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data(), key.size());
    BCRYPT_KEY_HANDLE imported = nullptr;
    const NTSTATUS status = BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob.data(),
        static_cast<ULONG>(blob.size()), 0);
    if (!BCRYPT_SUCCESS(status))
        Fail("cannot import the ECDSA P-256 public key", status);
    return Key(imported);
}

} // namespace

bool Verify(const PublicKey& key, const std::string& message, const Signature& signature)
{
    BCRYPT_ALG_HANDLE opened = nullptr;
    const NTSTATUS openStatus = BCryptOpenAlgorithmProvider(&opened, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
    if (!BCRYPT_SUCCESS(openStatus))
        Fail("cannot open the ECDSA P-256 provider", openStatus);
    const Algorithm algorithm(opened);
    const Key publicKey = ImportPublicKey(algorithm.get(), key);

    ReferenceEngine::Sha256 hash;
    hash.Update(message.data(), message.size());
    ReferenceEngine::Digest digest = hash.Final();
    Signature copy = signature; // the call takes non-const buffers
    const NTSTATUS status = BCryptVerifySignature(publicKey.get(), nullptr, digest.data(),
        static_cast<ULONG>(digest.size()), copy.data(), static_cast<ULONG>(copy.size()), 0);
    // STATUS_INVALID_SIGNATURE, or a value no signature could have (r or s out of range):
    // either way not the key's.
    return BCRYPT_SUCCESS(status);
}

} // namespace UpdateSdkStandIn::EcdsaP256
