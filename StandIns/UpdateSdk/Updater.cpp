#include "Updater.h"

#include "Installer.h"
#include "LocalFiles.h"
#include "MakerKey.h"
#include "Patch.h"
#include "PluginsVersionFile.h"
#include "Retrying.h"
#include "VersionOrder.h"

namespace UpdateSdkStandIn
{
Updater::Updater(const Options& options, Staging& staging)
    : options(options), staging(staging), folders(options.localPath), progress(options.callback, options.context),
      client(options.serverUrl)
{
}

bool Updater::Run()
{
    progress.Report(UpdateSdk::Event::Started);
    staging.Take(progress);
    // Only the maker's: the server, or anyone on the way, could have written every size and hash.
    const Manifest manifest = Retrying(progress, [&] { return ParseSignedManifest(FetchManifest(), makerKey); });
    // What an earlier, unfinished update left is never installed.
    staging.Clear();
    // A replayed old manifest is signed too: it would take back every signature added since.
    const std::string installedVersion = InstalledVersion();
    if (VersionOrder::IsOlder(manifest.version, installedVersion))
        throw UpdateError(Result::OlderSet,
            "the server's set " + manifest.version + " is older than the installed " + installedVersion);
    // Up to date only when Plugins holds the set whole, as the manifest has it: the version id
    // alone would keep a damaged or deleted file so for good. A file the set no longer lists is
    // a change too: only an install takes it away.
    const std::vector<Change> changes = FindChanges(manifest);
    const bool versionMatches = !options.useVersionId || installedVersion == manifest.version;
    if (versionMatches && changes.empty() && Installer::Withdrawn(folders.plugins, manifest).empty())
    {
        progress.Report(UpdateSdk::Event::UpToDate);
        return false;
    }
    try
    {
        LocalFiles::CreateFolders(folders.stagedFiles);
        for (const Change& change : changes)
            Stage(change, manifest);
        // The whole set, so that Install knows what Plugins is to hold besides the staged files.
        LocalFiles::Write(folders.stagedManifest, FormatManifest({manifest.version, manifest.released, manifest.files, {}}));
    }
    catch (...)
    {
        // A failed update leaves nothing behind.
        staging.Clear();
        throw;
    }
    progress.Report(UpdateSdk::Event::DownloadDone);
    progress.Report(UpdateSdk::Event::ApplyFlag, 1);
    return true;
}

std::string Updater::FetchManifest()
{
    try
    {
        return client.Get("manifest", MaxManifestSize, [](std::uint64_t) {});
    }
    catch (const BodyTooLarge&)
    {
        // No manifest is that large: not a cut or damaged transfer that a retry could mend.
        throw UpdateError(Result::BadManifest, "bad manifest: larger than " + std::to_string(MaxManifestSize) + " bytes");
    }
}

std::string Updater::InstalledVersion() const
{
    std::string versionFile;
    LocalFiles::TryRead(folders.versionFile, versionFile);
    return PluginsVersionFile::ReadVersion(versionFile);
}

std::vector<Updater::Change> Updater::FindChanges(const Manifest& manifest) const
{
    std::vector<Change> changes;
    for (const ManifestFile& file : manifest.files)
    {
        Change change{&file, false, std::string()};
        change.installed = LocalFiles::TryRead(Folders::Below(folders.plugins, file.name), change.installedContent);
        if (!change.installed || change.installedContent.size() != file.size
            || LocalFiles::Sha256Hex(change.installedContent) != file.sha256)
            changes.push_back(std::move(change));
    }
    return changes;
}

void Updater::Stage(const Change& change, const Manifest& manifest)
{
    const ManifestFile& file = *change.file;
    const ManifestPatch* patch = options.usePatches && change.installed
        ? manifest.FindPatch(file.name, LocalFiles::Sha256Hex(change.installedContent))
        : nullptr;
    const std::string encoded = HttpClient::PercentEncode(file.name);
    const std::string content = Retrying(progress, [&] {
        if (patch)
        {
            const std::string body = Receive(file.name, "patches/" + patch->baseSha256 + "/" + encoded, patch->size,
                patch->sha256);
            std::string result;
            try
            {
                result = ApplyPatch(change.installedContent, body, file.size);
            }
            catch (const UpdateError&)
            {
            }
            if (result.size() == file.size && LocalFiles::Sha256Hex(result) == file.sha256)
                return result;
            // The patch arrived whole but does not make the file: the whole file will.
            patch = nullptr;
        }
        return Receive(file.name, "files/" + encoded, file.size, file.sha256);
    });
    LocalFiles::Write(Folders::Below(folders.stagedFiles, file.name), content);
}

std::string Updater::Receive(const std::string& name, const std::string& path, std::uint64_t size,
    const std::string& sha256)
{
    progress.Report(UpdateSdk::Event::FileName, name);
    progress.Report(UpdateSdk::Event::TotalBytes, size);
    std::string body = client.Get(path, size, [&](std::uint64_t received) {
        progress.Report(UpdateSdk::Event::Progress, received);
    });
    if (body.size() < size)
        throw TransientError(UpdateSdk::Event::DownloadFailed, Result::DownloadFailed,
            name + ": " + std::to_string(body.size()) + " of " + std::to_string(size) + " bytes arrived");
    if (LocalFiles::Sha256Hex(body) != sha256)
        throw TransientError(UpdateSdk::Event::VerificationFailed, Result::VerificationFailed,
            name + ": the SHA-256 differs from the manifest's");
    return body;
}

} // namespace UpdateSdkStandIn
