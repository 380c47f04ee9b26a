// Scanner lifetime: loading and initialising the engine, and tearing it down.
#include "Scanner/Scanner.h"

#include "Engine/EngineEnumerations.h"
#include "Program/Config.h"
#include "Program/LogError.h"
#include "Program/ProgramFolder.h"

#include "ExceptionHelper/Exception.h"
#include "FileSystemHelper/Removal.h"
#include "StringHelper/StringHelper.h"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>

#include <windows.h>

namespace BriskenCommandLineScanner
{

namespace
{

using InitializeFunction = DllHelper::Detail::DllFunction<ThreatScanner_Initialize_t, 0>;
using InitializeExFunction = DllHelper::Detail::DllFunction<ThreatScanner_InitializeEx_t, 0>;
using UninitializeFunction = DllHelper::Detail::DllFunction<ThreatScanner_Uninitialize_t, 0>;

// The message of an engine start that answered result, naming the code. Init and InitEx throw it
// themselves, so that the diagnostic text names the operation that failed.
std::string InitializationFailure(int result)
{
    std::ostringstream message;
    message << "Couldn't initialize scanner. Error: "
            << StringHelper::ToNarrow(ErrorToString(result), StringHelper::AnsiCodePage);
    return message.str();
}

// Created only when missing, and only as a plain file of its own: the engine keeps its cache in
// an existing file, and a link of that name (even one leading nowhere) is not followed to make
// its target. Without a Plugins folder there is nothing to create.
void CreateCacheFile(const std::wstring& folder)
{
    const boost::filesystem::path file = ProgramFolder::CacheFile(folder);
    const HANDLE created = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (created != INVALID_HANDLE_VALUE)
    {
        CloseHandle(created);
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_PATH_NOT_FOUND)
        LogError(L"Couldn't create cache file");
}

} // namespace

Scanner::Scanner() : scanDll(DllHelper::MakeDll(ProgramFolder::Path() / EngineSdk::ScanModuleName))
{
    if (Config::Instance().read_only)
        Init();
    else
        InitEx();
}

Scanner::~Scanner()
{
    Uninit();
}

void Scanner::Init()
{
    const std::wstring folder = Config::Instance().EnginesFolder();
    std::cout << "Initializing engine, please wait...\n";
    const InitializeFunction initialize(scanDll, EngineSdk::InitializeName);
    const int result = initialize(folder.c_str(), EngineSdk::InitializationText);
    if (result != EngineSdk::Result::Success)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(InitializationFailure(result)));
    std::cout << "Initializing engine completed\n";
}

void Scanner::InitEx()
{
    const boost::filesystem::path folder = ProgramFolder::Path();
    boost::system::error_code ignored;
    tempFolder = ProgramFolder::Temp().wstring();
    tempLock.reset(new FileSystemHelper::SharedFolderLock(tempFolder));
    if (FileSystemHelper::IsLink(tempFolder))
        tempEntriesBefore = FileSystemHelper::EntryNames(tempFolder);
    const std::wstring quarantine = ProgramFolder::Quarantine().wstring();
    boost::filesystem::create_directories(quarantine, ignored);

    const std::wstring programFolder = folder.wstring();
    std::wstring smartDb = (folder / EngineSdk::SmartDbModuleName).wstring();

    _InitializeParams params;
    std::memset(&params, 0, sizeof params);
    params.size = sizeof params;
    params.reserved8 = 0;
    params.reserved40 = 0;
    params.programFolder = programFolder.c_str();
    params.quarantineFolder = quarantine.c_str();
    params.tempFolder = tempFolder.c_str();

    std::cout << "Initializing engine, please wait...\n";
    CreateCacheFile(programFolder);
    const InitializeExFunction initializeEx(scanDll, EngineSdk::InitializeExName);
    const int result = initializeEx(programFolder.c_str(), EngineSdk::InitializationText, &smartDb[0], &params);
    if (result != EngineSdk::Result::Success)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(InitializationFailure(result)));
    std::cout << "Initializing engine completed\n";
}

void Scanner::Uninit()
{
    try
    {
        const UninitializeFunction uninitialize(scanDll, EngineSdk::UninitializeName);
        uninitialize();
    }
    catch (...)
    {
        // Runs from the destructor: report and still clean up the temporary folder.
        LogErrorNoThrow(CurrentExceptionText());
    }
    if (tempFolder.empty())
        return;
    try
    {
        tempLock->ReleaseAndClearIfLast([this] {
            FileSystemHelper::RemoveOwnFolder(tempFolder, [this](const boost::filesystem::path& name) {
                return std::find(tempEntriesBefore.begin(), tempEntriesBefore.end(), name) == tempEntriesBefore.end();
            });
        });
    }
    catch (...)
    {
        // Only memory can run out here; what stays in Temp goes with the last engine's end.
        LogErrorNoThrow(CurrentExceptionText());
    }
}

} // namespace BriskenCommandLineScanner
