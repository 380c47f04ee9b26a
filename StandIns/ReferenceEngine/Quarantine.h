#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ReferenceEngine
{

// One object put into the quarantine folder: a copy under a free name ("<name>", "<name>.1",
// ...) and beside it "<copy>.origin", the path the object came from. The record is written
// only once the copy is whole, so a copy without one is an unfinished copy whose source was
// never removed.
class QuarantineItem
{
public:
    // folder: the quarantine folder, not empty (an engine without one refuses before this).
    explicit QuarantineItem(const std::wstring& folder);

    // Copies the open file in and records `origin`; 0, or the EngineResultCode of the failure,
    // after which nothing of the item is left.
    int Store(void* source, const std::wstring& origin, std::vector<std::uint8_t>& buffer);
    // Takes the stored copy and its record out again (the source could not be removed).
    void Withdraw();

    static constexpr const wchar_t* RecordSuffix = L".origin";

private:
    bool WriteRecord(const std::wstring& origin);

    std::wstring folder;
    std::wstring copy;
    bool recorded = false; // the record beside the copy is this item's own
};

} // namespace ReferenceEngine
