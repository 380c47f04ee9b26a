#pragma once

#include "Folders.h"
#include "Manifest.h"
#include "Options.h"
#include "Progress.h"
#include "Staging.h"
#include "SwapJournal.h"

#include <string>
#include <vector>

namespace UpdateSdkStandIn
{

// One Install: makes Plugins hold exactly the set staged by the last complete Update (its
// changed files from the staging, the others as installed, nothing the set does not list but
// update.txt and the engine's cache) and writes the set's version into Plugins/update.txt, all
// or nothing, once the reference engine's reader has loaded the set and found signatures in
// it. Throws UpdateError.
class Installer
{
public:
    Installer(const Options& options, Staging& staging)
        : staging(staging), folders(options.localPath), progress(options.callback, options.context)
    {
    }
    // Takes the staging folder first.
    void Run();

    // The files of the Plugins folder that an install of the set takes away: every file the
    // set does not list but update.txt and the engine's cache.000.
    static std::vector<std::wstring> Withdrawn(const std::wstring& plugins, const Manifest& manifest);

private:
    // A file of the set and where its content is now.
    struct SetFile
    {
        std::wstring name;
        std::wstring path;
        bool staged;
    };

    // Everything after taking the staging folder.
    void InstallStaged();
    std::vector<SetFile> LocateSet(const Manifest& manifest) const;
    // Whether the reference engine's reader loads the set's definitions files and finds at
    // least one signature in them: a set without any would leave the engine only its built-in
    // test signature.
    static bool GivesDefinitions(const std::vector<SetFile>& set);
    // The moves that put the set in place: the staged files, the withdrawn ones, update.txt last.
    std::vector<SwapStep> PlanSwap(const std::vector<SetFile>& set, const Manifest& manifest) const;

    Staging& staging;
    Folders folders;
    Progress progress;
};

} // namespace UpdateSdkStandIn
