#pragma once

#include "EcdsaP256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// A definitions set as the server describes it (format in README.md). Names are UTF-8
// plain file names; hashes are lower-case hex SHA-256.
struct ManifestFile
{
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;
};

// A patch that turns the file of that name with content baseSha256 into the set's file.
struct ManifestPatch
{
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;
    std::string baseSha256;
};

struct Manifest
{
    std::string version;
    std::string released; // YYYY-MM-DDTHH:MM:SSZ
    std::vector<ManifestFile> files;
    std::vector<ManifestPatch> patches;

    // The patch for the file of that name from that content, or null.
    const ManifestPatch* FindPatch(const std::string& name, const std::string& baseSha256) const;
};

// The largest manifest read from the server.
constexpr std::size_t MaxManifestSize = 1 << 20;

// Throws UpdateError with Result::BadManifest for anything but a well-formed manifest whose
// names are plain file names, each file listed once; TransientError (event 81, DownloadFailed)
// for one that begins well but lacks its closing line, so was cut short.
Manifest ParseManifest(const std::string& text);
// A server's manifest: its last line before the closing one is the key's signature of all the
// text before that line, verified before any other line is read. Throws as ParseManifest, and
// UpdateError(SignatureRefused) for a manifest without that line or whose signature is not the
// key's.
Manifest ParseSignedManifest(const std::string& text, const EcdsaP256::PublicKey& key);
// The unsigned form, for the staging folder.
std::string FormatManifest(const Manifest& manifest);

} // namespace UpdateSdkStandIn
