#include "Installer.h"

#include "FileSwap.h"
#include "LocalFiles.h"
#include "Manifest.h"
#include "PlainFileName.h"
#include "PluginsVersionFile.h"
#include "Result.h"

namespace UpdateSdkStandIn
{

void Installer::Run()
{
    std::string text;
    if (!LocalFiles::TryRead(folders.stagedManifest, text))
        throw UpdateError(Result::NothingToInstall, "no completed update to install");
    const Manifest manifest = ParseManifest(text);
    // The staged files are checked again: the staging folder is not ours alone between the calls.
    for (const ManifestFile& file : manifest.files)
    {
        std::string content;
        if (!LocalFiles::TryRead(Folders::Below(folders.stagedFiles, file.name), content)
            || content.size() != file.size || LocalFiles::Sha256Hex(content) != file.sha256)
            throw UpdateError(Result::VerificationFailed, "staged file differs from the manifest: " + file.name);
    }
    std::string versionFile;
    LocalFiles::TryRead(folders.versionFile, versionFile);
    LocalFiles::Write(folders.stagedVersionFile, PluginsVersionFile::WithVersion(versionFile, manifest.version));
    LocalFiles::CreateFolders(folders.plugins);
    LocalFiles::RemoveTree(folders.backup);
    LocalFiles::CreateFolders(folders.backup);

    FileSwap swap(folders.backup);
    for (const ManifestFile& file : manifest.files)
    {
        swap.Replace(Folders::Below(folders.stagedFiles, file.name), Folders::Below(folders.plugins, file.name),
            Utf8ToWide(file.name));
    }
    // Last, so that the version line never names a set that is not wholly there.
    swap.Replace(folders.stagedVersionFile, folders.versionFile, L"update.txt");
    swap.Commit();
    LocalFiles::RemoveTree(folders.staging);
}

} // namespace UpdateSdkStandIn
