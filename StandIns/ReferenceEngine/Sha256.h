#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ReferenceEngine
{

using Digest = std::array<std::uint8_t, 32>;

// SHA-256 through the system's cryptography provider (CNG), fed in pieces of any size.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    Digest Final();

private:
    void* hash = nullptr; // BCRYPT_HASH_HANDLE
};

} // namespace ReferenceEngine
