#pragma once

// The update SDK boundary: the exports, interface, option ids and progress events of the
// vendor's BKUpdateServiceCom.dll as the system uses them. The one header shared by the system
// (DefinitionsUpdater) and the update SDK stand-in (StandIns/UpdateSdk).
// Every call returns a signed 32-bit int, 0 for success.

#include <cstdint>

// The SDK's update interface. Only the first three virtual slots are used, in this order; the
// object is created and destroyed by the module's exports, never by the caller, so the class
// declares no virtual destructor (which would add slots before them on this compiler).
class BKUpdateServiceInterface
{
public:
    // value points to the option's value (its type depends on the id); the SDK copies what it
    // points to before it returns.
    virtual int SetOption(int option, void* value) = 0;
    // Checks the definitions server and downloads what changed, reporting through the callback.
    virtual int Update() = 0;
    // Installs what the last Update downloaded.
    virtual int Install() = 0;

protected:
    ~BKUpdateServiceInterface() = default;
};

// Progress callback: (event, data, context given with option UpdateCallbackContext). The answer
// is 0, except for the retry events, where 1 asks the SDK to try again.
using BKUpdateCallback_t = int(int event, void* data, void* context);

// Exports.
using BKUpdSdkCreate_t = BKUpdateServiceInterface*(void); // null on failure
using BKUpdSdkDestroy_t = int(BKUpdateServiceInterface*);

namespace UpdateSdk
{

constexpr const char* CreateName = "BKUpdSdkCreate";
constexpr const char* DestroyName = "BKUpdSdkDestroy";

// Option ids and what the value pointer points to.
namespace Option
{
enum : int
{
    ServerUrl = 600,             // NUL-terminated narrow text: the definitions server URL
    UpdateCallback = 602,        // the callback itself (a BKUpdateCallback_t*)
    UpdateCallbackContext = 603, // passed back unchanged as the callback's context
    UseVersionId = 605,          // one-byte bool
    UsePatches = 615,            // one-byte bool
    LocalPath = 699,             // NUL-terminated wide text: the program folder
};
}

// Progress events and what their data points to.
namespace Event
{
enum : int
{
    Started = 0,              // nothing
    DownloadDone = 10,        // nothing
    UpToDate = 30,            // nothing
    FileName = 40,            // NUL-terminated narrow text: the file being downloaded
    TotalBytes = 60,          // std::uint64_t: the size of the file being downloaded
    Progress = 70,            // std::uint64_t: bytes downloaded so far
    ConnectionFailed = 80,    // nothing; answer 1 to retry
    DownloadFailed = 81,      // nothing; answer 1 to retry
    VerificationFailed = 82,  // nothing; answer 1 to retry
    ApplyFlag = 90,           // std::uint64_t: non-zero when Install is to be called
};
}

} // namespace UpdateSdk
