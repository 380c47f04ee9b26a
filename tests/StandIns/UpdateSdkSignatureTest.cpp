// The update SDK stand-in takes a server's manifest only with the maker's signature: ECDSA P-256
// over the SHA-256 of the text before the signature line, verified through CNG.

#include "EcdsaP256.h"
#include "MakerKey.h"
#include "Manifest.h"
#include "Result.h"
#include "TransientError.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace UpdateSdkStandIn;

// Signed with StandIns/DefinitionsServer/test-signing-key.pem, whose public half is makerKey.
const std::string body = "brisken-definitions 1\nversion 3.1\nreleased 2026-11-20T09:30:00Z\nfile 12 "
                         + std::string(64, 'a') + " a.bkdef\n";
const std::string bodySignature = "fa8461f35060cbc8d74018695772da858c30bdd04d2adb59c1c9b3c448c2b5a3"
                                  "c0eb72f6605af9d530cfa2b6585b79f927b53001e12cff468c268021008f7b41";
// The public half of another P-256 key.
const std::string otherKey = "cfc502a882f116c8afe2a0e2ba35f146e7424b4a00dfa5cb56e83e87a9305bb5"
                             "4d140267feafcb1da5716aa84fed5b955ff6272ad53df66479d2541956ecfc7d";

std::array<std::uint8_t, 64> FromHex(const std::string& hex)
{
    std::array<std::uint8_t, 64> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return bytes;
}

std::string FlipLastBit(std::string text)
{
    text.back() = static_cast<char>(text.back() ^ 1);
    return text;
}

TEST(UpdateSdkEcdsaP256Test, TheKeysSignatureOfTheMessageVerifiesAndNothingElse)
{
    const EcdsaP256::Signature signature = FromHex(bodySignature);
    EcdsaP256::Signature changed = signature;
    changed[40] ^= 0x10;
    EcdsaP256::Signature zeros{};
    EcdsaP256::Signature ones;
    ones.fill(0xff); // r and s beyond the curve's order
    const struct
    {
        const char* what;
        EcdsaP256::PublicKey key;
        std::string message;
        EcdsaP256::Signature signature;
        bool verifies;
    } cases[] = {
        {"the signature", makerKey, body, signature, true},
        {"one bit of the message changed", makerKey, FlipLastBit(body), signature, false},
        {"one bit of the signature changed", makerKey, body, changed, false},
        {"another key", FromHex(otherKey), body, signature, false},
        {"all zeros", makerKey, body, zeros, false},
        {"all ones", makerKey, body, ones, false},
    };
    for (const auto& test : cases)
        EXPECT_EQ(test.verifies, EcdsaP256::Verify(test.key, test.message, test.signature)) << test.what;
}

TEST(UpdateSdkSignedManifestTest, AManifestSignedWithTheKeyIsRead)
{
    for (const std::string& ending : {"signature " + bodySignature + "\nend\n",
                                      "signature " + bodySignature + "\r\n\r\nend"})
    {
        const Manifest manifest = ParseSignedManifest(body + ending, makerKey);
        EXPECT_EQ("3.1", manifest.version);
        ASSERT_EQ(1u, manifest.files.size());
        EXPECT_EQ("a.bkdef", manifest.files[0].name);
    }
}

Result SignedParseResult(const std::string& text, const EcdsaP256::PublicKey& key)
{
    try
    {
        ParseSignedManifest(text, key);
        return Result::Success;
    }
    catch (const TransientError&)
    {
        return Result::DownloadFailed;
    }
    catch (const UpdateError& error)
    {
        return error.Code();
    }
}

TEST(UpdateSdkSignedManifestTest, AnythingButTheKeysSignatureOfTheTextIsRefused)
{
    const std::string signatureLine = "signature " + bodySignature + "\n";
    const std::string fileLine = "file 3 " + std::string(64, 'b') + " b.bkdef\n";
    const struct
    {
        const char* what;
        std::string text;
        EcdsaP256::PublicKey key;
        Result result;
    } cases[] = {
        {"no signature line", body + "end\n", makerKey, Result::SignatureRefused},
        {"only the header", "brisken-definitions 1\nend\n", makerKey, Result::SignatureRefused},
        {"a line after the signature", body + signatureLine + fileLine + "end\n", makerKey, Result::SignatureRefused},
        {"a line added before it", body + fileLine + signatureLine + "end\n", makerKey, Result::SignatureRefused},
        {"line ends changed", "brisken-definitions 1\r\n" + body.substr(22) + signatureLine + "end\n", makerKey,
            Result::SignatureRefused},
        {"one bit of the signature changed", body + FlipLastBit(signatureLine.substr(0, signatureLine.size() - 1))
            + "\nend\n", makerKey, Result::SignatureRefused},
        {"a digit short", body + signatureLine.substr(0, signatureLine.size() - 2) + "\nend\n", makerKey,
            Result::SignatureRefused},
        {"upper-case digits", body + "signature FA" + bodySignature.substr(2) + "\nend\n", makerKey,
            Result::SignatureRefused},
        {"another key", body + signatureLine + "end\n", FromHex(otherKey), Result::SignatureRefused},
        // What is not the framing of a manifest is refused as before, signed or not.
        {"no header", body.substr(22) + signatureLine + "end\n", makerKey, Result::BadManifest},
        {"text after the closing line", body + signatureLine + "end\nfile\n", makerKey, Result::BadManifest},
        // Cut short, however much of the signature arrived: fetched again.
        {"cut before the signature", body, makerKey, Result::DownloadFailed},
        {"cut inside the signature", body + signatureLine.substr(0, 40), makerKey, Result::DownloadFailed},
        {"cut after the signature", body + signatureLine, makerKey, Result::DownloadFailed},
    };
    for (const auto& test : cases)
        EXPECT_EQ(test.result, SignedParseResult(test.text, test.key)) << test.what;
}

} // namespace
