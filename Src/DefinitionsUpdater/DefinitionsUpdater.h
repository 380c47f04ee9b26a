#pragma once

#include "UpdateSdk.h"

#include "DllHelper/Dll.h"

#include <boost/core/noncopyable.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

namespace BriskenCommandLineScanner
{

// The definitions update through the vendor's update SDK, BKUpdateServiceCom.dll beside the
// executable. Building it loads the module and creates and configures the SDK's interface;
// Start runs the update and, when the SDK reports definitions to apply, installs them and
// starts the engine once on them. Throws ExceptionHelper exceptions on every failure of the
// update and the install; an engine that will not start on the installed definitions is
// reported, not thrown.
// The object is the SDK's callback context, so it keeps its address: never copied or moved.
class DefinitionsUpdater : private boost::noncopyable
{
public:
    DefinitionsUpdater();

    // Once per object.
    void Start();

    // The SDK's progress callback; context is the DefinitionsUpdater. Lets nothing escape into
    // the SDK: without a context it logs "No self" and answers 0.
    static int BKUpdateCallback(int event, void* data, void* context);

    // "http://<definitions host>/av64bit", the host fixed at build time.
    static std::string ServerUrl();
    static boost::filesystem::path LibraryName();

private:
    // The deleter of updater: destroys the interface through the module's BKUpdSdkDestroy,
    // looked up when it runs, while the owner still holds the module.
    class DestroyInterface
    {
    public:
        explicit DestroyInterface(const DefinitionsUpdater& owner);
        void operator()(BKUpdateServiceInterface* created) const;

    private:
        const DefinitionsUpdater* owner;
    };

    void MakeInterfacePtr(BKUpdateServiceInterface* created);
    // The message of the first option the SDK refuses, the later ones left unset; null when
    // all six are set.
    const char* SetOptions();
    int OnEvent(int event, void* data);
    int OnRetryRequest();
    // Loads and initialises the engine on the installed definitions, then lets it go again;
    // an engine that cannot start is reported in the log and on the console.
    static void RestartEngine();

    // Released in reverse order: the interface before the module it lives in.
    boost::shared_ptr<DllHelper::Detail::Dll<DllHelper::DllTag>> library;
    std::uint64_t totalBytes;
    std::uint64_t retriesLeft;
    std::uint64_t applyFlag;
    std::string currentFile;
    boost::shared_ptr<BKUpdateServiceInterface> updater;
};

} // namespace BriskenCommandLineScanner
