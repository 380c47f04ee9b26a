#pragma once

#include "PlainFileName.h"

#include <string>

namespace UpdateSdkStandIn
{

// Where an update lives under the local path: the engine's Plugins folder and the staging
// folder beside it (same volume, so installing is renaming).
struct Folders
{
    explicit Folders(const std::wstring& localPath)
        : plugins(localPath + L"\\Plugins"),
          staging(localPath + L"\\UpdateStaging"),
          stagedFiles(staging + L"\\files"),
          backup(staging + L"\\backup"),
          stagedManifest(staging + L"\\manifest.txt"),
          stagedVersionFile(staging + L"\\update.txt"),
          versionFile(plugins + L"\\update.txt")
    {
    }

    // The path of a manifest name (checked to be a plain file name) in one of the folders.
    static std::wstring Below(const std::wstring& folder, const std::string& name)
    {
        return folder + L"\\" + Utf8ToWide(name);
    }

    std::wstring plugins;
    std::wstring staging;
    std::wstring stagedFiles;     // the downloaded files, checked against the manifest
    std::wstring backup;          // the replaced files while Install runs
    std::wstring stagedManifest;  // written last by Update: its presence means complete
    std::wstring stagedVersionFile;
    std::wstring versionFile;
};

} // namespace UpdateSdkStandIn
