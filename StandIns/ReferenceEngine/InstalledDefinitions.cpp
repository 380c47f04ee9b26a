#include "InstalledDefinitions.h"

#include "DefinitionsLock.h"
#include "EngineSdk.h"
#include "FileObjects.h"

#include <windows.h>

namespace ReferenceEngine
{

int LoadInstalledDefinitions(const std::wstring& folder, Definitions& definitions)
{
    const std::wstring lockFile = DefinitionsLock::PathIn(folder);
    for (;;)
    {
        DefinitionsLock lock;
        const DefinitionsLock::Outcome taken = lock.Share(folder, DefinitionsLock::WaitMilliseconds);
        if (taken == DefinitionsLock::Outcome::TimedOut)
            return EngineSdk::Result::Busy;
        if (taken == DefinitionsLock::Outcome::Failed || taken == DefinitionsLock::Outcome::Link)
            return EngineSdk::Result::FileOpen;
        // No swap runs now, and none starts before the lock is let go: a journal left is that
        // of an install cut short, and Plugins holds part of each set until the next update.
        if (Exists(folder + L"\\" + DefinitionsLock::SwapJournal))
        {
            OutputDebugStringW((L"reference engine: unfinished definitions install in " + folder).c_str());
            return EngineSdk::Result::Plugin;
        }
        const int loaded = definitions.Load(folder + L"\\Plugins");
        // Without a lock file there was nothing to hold; an install makes the file before its
        // first move and never removes it, so while there is still none, no swap ran meanwhile.
        if (taken == DefinitionsLock::Outcome::Held || !Exists(lockFile))
            return loaded;
        definitions = Definitions();
    }
}

} // namespace ReferenceEngine
