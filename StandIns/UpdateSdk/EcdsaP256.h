#pragma once

#include <array>
#include <cstdint>
#include <string>

// ECDSA over the curve P-256 with SHA-256, verified by the system's cryptography provider (CNG).
namespace UpdateSdkStandIn::EcdsaP256
{

// The public point: X then Y, each 32 bytes big-endian (BCRYPT_ECCPUBLIC_BLOB without its header).
using PublicKey = std::array<std::uint8_t, 64>;
// r then s, each 32 bytes big-endian.
using Signature = std::array<std::uint8_t, 64>;

// Whether signature is the key's signature of the SHA-256 of message. Throws UpdateError
// (Internal) when the provider cannot be used or does not take the key.
bool Verify(const PublicKey& key, const std::string& message, const Signature& signature);

} // namespace UpdateSdkStandIn::EcdsaP256
