#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ReferenceEngine
{

using Digest = std::array<std::uint8_t, 32>;

// SHA-256 (FIPS 180-4), fed in pieces of any size.
class Sha256
{
public:
    Sha256();
    void Update(const void* data, std::size_t size);
    Digest Final();

private:
    void Block(const std::uint8_t* block);

    std::uint32_t state[8];
    std::uint8_t buffer[64];
    std::size_t buffered = 0;
    std::uint64_t length = 0;
};

} // namespace ReferenceEngine
