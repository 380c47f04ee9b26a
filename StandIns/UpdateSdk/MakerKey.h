#pragma once

#include "EcdsaP256.h"

namespace UpdateSdkStandIn
{

// The key whose signature a server's manifest must carry. In this stand-in it is the public half
// of a test key published beside the local definitions server
// (StandIns/DefinitionsServer/test-signing-key.pem), so anyone can sign with it: the vendor's
// own update SDK carries the maker's key instead.
extern const EcdsaP256::PublicKey makerKey;

} // namespace UpdateSdkStandIn
