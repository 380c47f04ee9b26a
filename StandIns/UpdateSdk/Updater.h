#pragma once

#include "Folders.h"
#include "HttpClient.h"
#include "Manifest.h"
#include "Options.h"
#include "Progress.h"
#include "Staging.h"

#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// One Update: fetches the server's manifest (the maker's by its signature, and no older than
// the installed set), compares it with the installed set and stages what changed, each file
// checked against the manifest. Throws UpdateError.
class Updater
{
public:
    Updater(const Options& options, Staging& staging);
    // Takes the staging folder first. True when a set is staged for Install.
    bool Run();

private:
    struct Change
    {
        const ManifestFile* file;
        bool installed;          // a file of that name is in Plugins
        std::string installedContent;
    };

    // The manifest's text; a text past its size limit throws UpdateError(BadManifest).
    std::string FetchManifest();
    std::string InstalledVersion() const;
    std::vector<Change> FindChanges(const Manifest& manifest) const;
    void Stage(const Change& change, const Manifest& manifest);
    std::string Receive(const std::string& name, const std::string& path, std::uint64_t size, const std::string& sha256);

    const Options& options;
    Staging& staging;
    Folders folders;
    Progress progress;
    HttpClient client;
};

} // namespace UpdateSdkStandIn
