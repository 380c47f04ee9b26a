#pragma once

#include "Folders.h"
#include "Options.h"

namespace UpdateSdkStandIn
{

// One Install: puts the files staged by the last complete Update into Plugins and writes
// the set's version into Plugins/update.txt, all or nothing. Throws UpdateError.
class Installer
{
public:
    explicit Installer(const Options& options) : folders(options.localPath) {}
    void Run();

private:
    Folders folders;
};

} // namespace UpdateSdkStandIn
