#include "Engine.h"

#include "InstalledDefinitions.h"
#include "Instance.h"

#include <windows.h>

#include <mutex>
#include <set>

namespace ReferenceEngine
{

namespace
{

struct State
{
    std::mutex mutex;
    bool initialised = false;
    std::wstring quarantineFolder;
    RemovalNotes removals;
    std::shared_ptr<const Definitions> definitions;
    std::set<CThreatScannerStruct*> instances;
};

State& TheState()
{
    static State state;
    return state;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// BKSmartDB.dll must be a module exporting BKSmartDB_GetVersion that answers 1.
bool SmartDbUsable(const wchar_t* path)
{
    const HMODULE module = LoadLibraryW(path);
    if (!module)
        return false;
    using GetVersion = int();
    const auto getVersion = reinterpret_cast<GetVersion*>(
        reinterpret_cast<void*>(GetProcAddress(module, "BKSmartDB_GetVersion")));
    const bool usable = getVersion && getVersion() == 1;
    FreeLibrary(module);
    return usable;
}

std::wstring WithoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

} // namespace

int Initialize(const wchar_t* folder, const wchar_t* text, const wchar_t* smartDb, const _InitializeParams* params)
{
    if (!text || std::wstring(text) != EngineSdk::InitializationText)
        return EngineSdk::Result::CouldNotInitialize;
    if (!folder || !*folder)
        return EngineSdk::Result::InvalidArgument;
    if (params && params->size != sizeof(_InitializeParams))
        return EngineSdk::Result::InvalidArgument;
    const std::wstring programFolder = WithoutTrailingSeparator(folder);
    if (!IsFolder(programFolder))
        return EngineSdk::Result::PathError;
    if (smartDb && !SmartDbUsable(smartDb))
        return EngineSdk::Result::LoadingEngine;

    auto definitions = std::make_shared<Definitions>();
    const int loaded = LoadInstalledDefinitions(programFolder, *definitions);
    if (loaded != EngineSdk::Result::Success)
        return loaded;
    // An engine that knows only its built-in test signature would pass every real threat as clean.
    if (!definitions->HasSignatures())
        return EngineSdk::Result::NoPlugins;

    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.quarantineFolder = params && params->quarantineFolder ? WithoutTrailingSeparator(params->quarantineFolder)
                                                                : std::wstring();
    // Only the normal start may write beside the engine.
    state.removals = RemovalNotes(programFolder, params != nullptr);
    state.definitions = definitions;
    state.initialised = true;
    return EngineSdk::Result::Success;
}

int Uninitialize()
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.initialised)
        return EngineSdk::Result::InitRequired;
    state.initialised = false;
    state.definitions.reset();
    state.quarantineFolder.clear();
    state.removals = RemovalNotes();
    return EngineSdk::Result::Success;
}

int CreateInstance(CThreatScannerStruct** instance)
{
    if (!instance)
        return EngineSdk::Result::InvalidArgument;
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.initialised)
        return EngineSdk::Result::InitRequired;
    auto created = new CThreatScannerStruct;
    created->definitions = state.definitions;
    created->quarantineFolder = state.quarantineFolder;
    created->removals = state.removals;
    state.instances.insert(created);
    *instance = created;
    return EngineSdk::Result::Success;
}

int DestroyInstance(CThreatScannerStruct* instance)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto found = state.instances.find(instance);
    if (found == state.instances.end())
        return EngineSdk::Result::InvalidHandle;
    if (instance->scanning)
        return EngineSdk::Result::Busy;
    state.instances.erase(found);
    delete instance;
    return EngineSdk::Result::Success;
}

int CheckInstance(CThreatScannerStruct* instance)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.instances.count(instance) == 0)
        return EngineSdk::Result::InvalidHandle;
    return state.initialised ? EngineSdk::Result::Success : EngineSdk::Result::InitRequired;
}

} // namespace ReferenceEngine
