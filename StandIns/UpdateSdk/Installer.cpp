#include "Installer.h"

#include "Definitions.h"
#include "DefinitionsLock.h"
#include "EngineSdk.h"
#include "FileSwap.h"
#include "LocalFiles.h"
#include "PlainFileName.h"
#include "PluginsVersionFile.h"
#include "Result.h"

#include <set>

namespace UpdateSdkStandIn
{
namespace
{

// An engine start reads Plugins in a moment: only a hang keeps a swap waiting that long.
const unsigned long readersWaitMilliseconds = 120 * 1000;

} // namespace

void Installer::Run()
{
    staging.Take(progress);
    try
    {
        InstallStaged();
    }
    catch (const UpdateError& failure)
    {
        // Kept only for a later Install that may take it once a file in use is let go, or for
        // an undo that could not complete. A full disk, a changed file or a set the engine
        // cannot load would fail every later Install too: the downloads are freed.
        if (failure.Code() != Result::InstallFailed && failure.Code() != Result::UndoFailed)
            staging.Discard();
        throw;
    }
    staging.Clear();
}

void Installer::InstallStaged()
{
    std::string text;
    if (!LocalFiles::TryRead(folders.stagedManifest, text))
        throw UpdateError(Result::NothingToInstall, "no completed update to install");
    const Manifest manifest = ParseManifest(text);
    const std::vector<SetFile> set = LocateSet(manifest);
    if (!GivesDefinitions(set))
        throw UpdateError(Result::Unloadable, "the engine would have no definitions from the set");

    std::string versionFile;
    LocalFiles::TryRead(folders.versionFile, versionFile);
    LocalFiles::Write(folders.stagedVersionFile, PluginsVersionFile::WithVersion(versionFile, manifest.version));
    LocalFiles::CreateFolders(folders.plugins);
    // What a finished swap left there: Take has undone any unfinished one.
    LocalFiles::RemoveTree(folders.backup);
    LocalFiles::CreateOwnFolder(folders.backup);
    // No engine start reads Plugins while it is part old, part new. The lock opens its file by
    // name, which would follow a link: the stand-in makes the file itself and refuses a link.
    const std::wstring lockFile = ReferenceEngine::DefinitionsLock::PathIn(folders.local);
    if (LocalFiles::Examine(lockFile) == EntryKind::Missing)
        LocalFiles::Write(lockFile, std::string());
    LocalFiles::RefuseLink(lockFile);
    ReferenceEngine::DefinitionsLock lock;
    if (lock.Own(folders.local, readersWaitMilliseconds) != ReferenceEngine::DefinitionsLock::Outcome::Held)
        LocalFiles::Fail(Result::InstallFailed, "cannot lock the definitions:",
            ReferenceEngine::DefinitionsLock::PathIn(folders.local));
    FileSwap(folders).Run(PlanSwap(set, manifest));
}

std::vector<SwapStep> Installer::PlanSwap(const std::vector<SetFile>& set, const Manifest& manifest) const
{
    std::vector<SwapStep> steps;
    for (const SetFile& file : set)
    {
        if (file.staged)
            steps.push_back(InstallStep(folders, file.name, true));
    }
    // Taken away in the same swap, so that a failure puts them back too.
    for (const std::wstring& name : Withdrawn(folders.plugins, manifest))
        steps.push_back(InstallStep(folders, name, false));
    // Last, so that the version line never names a set that is not wholly there.
    steps.push_back(InstallStep(folders, Folders::versionFileName, true));
    return steps;
}

std::vector<Installer::SetFile> Installer::LocateSet(const Manifest& manifest) const
{
    // Checked again, staged and installed files alike: neither folder is ours alone between the calls.
    std::vector<SetFile> set;
    for (const ManifestFile& file : manifest.files)
    {
        SetFile located{Utf8ToWide(file.name), Folders::Below(folders.stagedFiles, file.name), true};
        std::string content;
        bool found = LocalFiles::TryRead(located.path, content);
        if (!found)
        {
            located.path = Folders::Below(folders.plugins, file.name);
            located.staged = false;
            found = LocalFiles::TryRead(located.path, content);
        }
        if (!found || content.size() != file.size || LocalFiles::Sha256Hex(content) != file.sha256)
            throw UpdateError(Result::VerificationFailed,
                std::string(located.staged ? "staged" : "installed") + " file differs from the manifest: " + file.name);
        set.push_back(located);
    }
    return set;
}

bool Installer::GivesDefinitions(const std::vector<SetFile>& set)
{
    std::vector<std::wstring> paths;
    for (const SetFile& file : set)
    {
        if (ReferenceEngine::Definitions::IsDefinitionsFileName(file.name))
            paths.push_back(file.path);
    }
    // The order in which the engine reads the files decides which signature wins, not whether they load.
    ReferenceEngine::Definitions definitions;
    return definitions.LoadFiles(paths) == EngineSdk::Result::Success && definitions.HasSignatures();
}

std::vector<std::wstring> Installer::Withdrawn(const std::wstring& plugins, const Manifest& manifest)
{
    std::set<std::wstring> kept;
    for (const ManifestFile& file : manifest.files)
        kept.insert(FileNameKey(Utf8ToWide(file.name)));
    std::vector<std::wstring> withdrawn;
    for (const std::wstring& name : LocalFiles::FileNames(plugins))
    {
        // Only the engine's definitions files are the stand-in's to take away: a file it does not
        // know, in Plugins or in a folder that Plugins leads to, is someone else's.
        if (kept.count(FileNameKey(name)) != 0 || !IsWithdrawable(name))
            continue;
        // Moved as a link, or refused when the system would move what it leads to.
        LocalFiles::Examine(plugins + L"\\" + name);
        withdrawn.push_back(name);
    }
    return withdrawn;
}

} // namespace UpdateSdkStandIn
