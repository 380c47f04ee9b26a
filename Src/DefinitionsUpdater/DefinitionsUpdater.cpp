#include "DefinitionsUpdater/DefinitionsUpdater.h"

#include "Program/CommandFailure.h"
#include "Program/ConsoleText.h"
#include "Program/LogError.h"
#include "Program/ProgramFolder.h"
#include "Scanner/Scanner.h"

#include "ExceptionHelper/Exception.h"
#include "StringHelper/StringHelper.h"

#include <iostream>
#include <sstream>

namespace BriskenCommandLineScanner
{

namespace
{

using CreateFunction = DllHelper::Detail::DllFunction<BKUpdSdkCreate_t, 0>;
using DestroyFunction = DllHelper::Detail::DllFunction<BKUpdSdkDestroy_t, 0>;

static_assert(sizeof(bool) == 1, "the SDK's boolean options are one byte");

void PrintLine(const char* text)
{
    std::cout << text << std::endl;
}

// Signed: a negative code keeps its minus sign.
std::string FailedCallMessage(const char* what, int result)
{
    std::ostringstream message;
    message << what << result;
    return message.str();
}

} // namespace

DefinitionsUpdater::DefinitionsUpdater()
    : library(DllHelper::MakeDll(ProgramFolder::Path() / LibraryName())),
      totalBytes(0),
      retriesLeft(0),
      applyFlag(0)
{
    const CreateFunction create(library, UpdateSdk::CreateName);
    BKUpdateServiceInterface* const created = create();
    if (!created)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception("Couldn't create definitions updater"));
    MakeInterfacePtr(created);
    // From here on a failure destroys the interface before the module goes. Thrown here, so
    // that the diagnostic text names the constructor.
    if (const char* refused = SetOptions())
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(refused));
}

void DefinitionsUpdater::MakeInterfacePtr(BKUpdateServiceInterface* created)
{
    updater = boost::shared_ptr<BKUpdateServiceInterface>(created, DestroyInterface(*this));
}

const char* DefinitionsUpdater::SetOptions()
{
    // The SDK copies every value before SetOption returns.
    std::string serverUrl = ServerUrl();
    std::wstring localPath = ProgramFolder::Path().wstring();
    bool useVersionId = true;
    bool usePatches = true;

    struct Option
    {
        int id;
        void* value;
        const char* refused;
    };
    const Option options[] = {
        {UpdateSdk::Option::ServerUrl, serverUrl.data(), "Couldn't set server option"},
        {UpdateSdk::Option::LocalPath, localPath.data(), "Couldn't set local path option"},
        {UpdateSdk::Option::UseVersionId, &useVersionId, "Couldn't set use version id option"},
        {UpdateSdk::Option::UsePatches, &usePatches, "Couldn't set use patches option"},
        {UpdateSdk::Option::UpdateCallback, reinterpret_cast<void*>(&DefinitionsUpdater::BKUpdateCallback),
            "Couldn't set update callback"},
        {UpdateSdk::Option::UpdateCallbackContext, this, "Couldn't set update callback context"},
    };
    for (const Option& option : options)
    {
        if (updater->SetOption(option.id, option.value) != 0)
            return option.refused;
    }
    return nullptr;
}

void DefinitionsUpdater::Start()
{
    retriesLeft = 5;
    const int updated = updater->Update();
    if (updated != 0)
        BOOST_THROW_EXCEPTION(ExceptionHelper::Exception(FailedCallMessage("Couldn't perform update. Error: ", updated)));
    if (applyFlag == 0)
        return;

    PrintLine("Applying definitions started");
    const int installed = updater->Install();
    if (installed != 0)
        BOOST_THROW_EXCEPTION(
            ExceptionHelper::Exception(FailedCallMessage("Couldn't perform install. Error: ", installed)));
    RestartEngine();
    PrintLine("Applying definitions done");
}

void DefinitionsUpdater::RestartEngine()
{
    try
    {
        const Scanner scanner;
    }
    catch (const boost::exception&)
    {
        // The definitions are in place whatever the engine does: neither the update nor the
        // engine's failure may be reported as what it is not.
        ReportCommandFailure("Definitions applied, but couldn't start the engine. Error: ");
    }
}

int DefinitionsUpdater::BKUpdateCallback(int event, void* data, void* context)
{
    // Called from the SDK's C code: nothing may be thrown back into it.
    try
    {
        if (!context)
        {
            LogErrorNoThrow(L"No self");
            return 0;
        }
        return static_cast<DefinitionsUpdater*>(context)->OnEvent(event, data);
    }
    catch (...)
    {
        LogErrorNoThrow(CurrentExceptionText());
        return 0;
    }
}

int DefinitionsUpdater::OnEvent(int event, void* data)
{
    // Events that carry a value are ignored without one rather than read through null.
    const bool hasData = data != nullptr;
    switch (event)
    {
    case UpdateSdk::Event::Started:
        PrintLine("Checking for update...");
        break;
    case UpdateSdk::Event::DownloadDone:
        PrintLine("Downloading definitions done");
        break;
    case UpdateSdk::Event::UpToDate:
        PrintLine("Definitions up to date");
        break;
    case UpdateSdk::Event::FileName:
        if (hasData)
            currentFile = static_cast<const char*>(data);
        break;
    case UpdateSdk::Event::TotalBytes:
        if (hasData)
            totalBytes = *static_cast<const std::uint64_t*>(data);
        break;
    case UpdateSdk::Event::Progress:
        if (hasData)
            std::cout << "Downloading: " << *static_cast<const std::uint64_t*>(data) << " of " << totalBytes
                      << " bytes. File: " << StringHelper::MaskControlCharacters(currentFile, ConsoleCodePage())
                      << std::endl;
        break;
    case UpdateSdk::Event::ConnectionFailed:
    case UpdateSdk::Event::DownloadFailed:
    case UpdateSdk::Event::VerificationFailed:
        return OnRetryRequest();
    case UpdateSdk::Event::ApplyFlag:
        if (hasData)
            applyFlag = *static_cast<const std::uint64_t*>(data);
        break;
    default:
        break; // any other number, negative ones included, has no effect
    }
    return 0;
}

int DefinitionsUpdater::OnRetryRequest()
{
    // One budget per Start for all three kinds of failure.
    if (retriesLeft == 0)
        return 0;
    --retriesLeft;
    return 1;
}

boost::filesystem::path DefinitionsUpdater::LibraryName()
{
    return boost::filesystem::path(std::string("BKUpdateServiceCom.dll"));
}

DefinitionsUpdater::DestroyInterface::DestroyInterface(const DefinitionsUpdater& owner) : owner(&owner)
{
}

void DefinitionsUpdater::DestroyInterface::operator()(BKUpdateServiceInterface* created) const
{
    try
    {
        const DestroyFunction destroy(owner->library, UpdateSdk::DestroyName);
        destroy(created); // its answer changes nothing
    }
    catch (...)
    {
        // A deleter must not throw; without the export the interface is left to the module.
        LogErrorNoThrow(CurrentExceptionText());
    }
}

} // namespace BriskenCommandLineScanner
