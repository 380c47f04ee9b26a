#pragma once

#include "DefinitionsLock.h"
#include "PlainFileName.h"

#include <string>

namespace UpdateSdkStandIn
{

// Where an update lives under the local path: the engine's Plugins folder and the staging
// folder beside it (same volume, so installing is renaming).
struct Folders
{
    explicit Folders(const std::wstring& localPath)
        : local(localPath),
          plugins(localPath + L"\\" + pluginsName),
          staging(localPath + L"\\UpdateStaging"),
          stagedFiles(staging + L"\\files"),
          backup(staging + L"\\backup"),
          stagedManifest(staging + L"\\manifest.txt"),
          stagedVersionFile(staging + L"\\" + versionFileName),
          journal(localPath + L"\\" + ReferenceEngine::DefinitionsLock::SwapJournal),
          lock(staging + L"\\" + lockName),
          versionFile(plugins + L"\\" + versionFileName)
    {
    }

    static constexpr const wchar_t* pluginsName = L"Plugins";
    static constexpr const wchar_t* lockName = L"update.lock";
    // The version file in Plugins, which Install writes and no set may list.
    static constexpr const wchar_t* versionFileName = L"update.txt";

    // The path of a manifest name (checked to be a plain file name) in one of the folders.
    static std::wstring Below(const std::wstring& folder, const std::string& name)
    {
        return folder + L"\\" + Utf8ToWide(name);
    }

    std::wstring local;
    std::wstring plugins;
    std::wstring staging;
    std::wstring stagedFiles;     // the downloaded files, checked against the manifest
    std::wstring backup;          // the replaced files while Install runs
    std::wstring stagedManifest;  // written last by Update: its presence means complete
    std::wstring stagedVersionFile;
    std::wstring journal;         // Install's moves, there only while a swap is unfinished
    std::wstring lock;            // held open by the one interface that has the staging folder
    std::wstring versionFile;
};

} // namespace UpdateSdkStandIn
