#include "Engine/ObjectFlagsToString.h"

#include "Engine/EngineEnumerations.h"

namespace BriskenCommandLineScanner
{

std::wstring ObjectFlagsToString(std::uint32_t flags)
{
    const auto& list = ObjectFlagList();
    std::wstring text;
    for (std::size_t i = 0; i < list.size(); ++i)
    {
        if ((flags & list[i]) == 0)
            continue;
        text += ObjectFlagToString(list[i]);
        if (i + 1 < list.size())
            text += L';';
    }
    return text;
}

} // namespace BriskenCommandLineScanner
