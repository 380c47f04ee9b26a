#include "Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <stdexcept>

namespace ReferenceEngine
{
namespace
{

// One provider for the life of the module: opening it is the expensive part.
BCRYPT_ALG_HANDLE Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0)
            return BCRYPT_ALG_HANDLE(nullptr);
        return handle;
    }();
    if (!provider)
        throw std::runtime_error("SHA-256 provider unavailable");
    return provider;
}

} // namespace

Sha256::Sha256()
{
    BCRYPT_HASH_HANDLE handle = nullptr;
    if (BCryptCreateHash(Provider(), &handle, nullptr, 0, nullptr, 0, 0) < 0)
        throw std::runtime_error("BCryptCreateHash failed");
    hash = handle;
}

Sha256::~Sha256()
{
    BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(hash));
}

void Sha256::Update(const void* data, std::size_t size)
{
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0)
    {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        if (BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(hash), bytes, piece, 0) < 0)
            throw std::runtime_error("BCryptHashData failed");
        bytes += piece;
        size -= piece;
    }
}

Digest Sha256::Final()
{
    Digest digest{};
    if (BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(hash), digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
        throw std::runtime_error("BCryptFinishHash failed");
    return digest;
}

} // namespace ReferenceEngine
