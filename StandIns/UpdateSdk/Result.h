#pragma once

#include <stdexcept>
#include <string>

namespace UpdateSdkStandIn
{

// What SetOption, Update and Install return (README.md lists them).
enum class Result : int
{
    Success = 0,
    InvalidArgument = 1,    // a null value, a server URL that is not plain HTTP
    UnknownOption = 2,
    NotConfigured = 3,      // Update without a server URL or local path
    ConnectionFailed = 4,   // server unreachable, silent, or answering with an error status
    BadManifest = 5,        // garbage, or a file name that would leave the staging folder
    DownloadFailed = 6,     // the connection broke or ended early while a file arrived
    VerificationFailed = 7, // a download of the wrong size or SHA-256
    FileSystem = 8,         // the staging folder or a local file could not be read or written
    NothingToInstall = 9,   // Install without a completed Update
    InstallFailed = 10,     // Plugins could not take the new set; the old one was put back
    Internal = 11,          // anything unexpected (out of memory)
    Unloadable = 12,        // the engine would have no definitions from the staged set; nothing installed
    UndoFailed = 13,        // an install cut short or failed could not be undone whole; its backup stays
    SignatureRefused = 14,  // the manifest is not signed, or not with the maker's key; nothing downloaded
    OlderSet = 15,          // the server's set is older than the installed one, which is kept
};

// A failure that ends the call with its result.
class UpdateError : public std::runtime_error
{
public:
    UpdateError(Result result, const std::string& what) : std::runtime_error(what), result(result) {}
    Result Code() const { return result; }

private:
    Result result;
};

} // namespace UpdateSdkStandIn
