#include "SwapJournal.h"

#include "LocalFiles.h"
#include "PlainFileName.h"
#include "Result.h"

#include <sstream>

namespace UpdateSdkStandIn::SwapJournal
{
namespace
{

const char* const firstLine = "brisken-swap 1";
// Written last: a journal without it was cut short before any move.
const char* const closingLine = "end";
const char* const replaceWord = "replace";
const char* const removeWord = "remove";
// Paths hold no control character, so a tab cannot be part of one.
const char separator = '\t';

[[noreturn]] void Unreadable(const std::string& why)
{
    throw UpdateError(Result::UndoFailed, "unreadable swap journal: " + why);
}

std::string Relative(const std::wstring& path, const std::wstring& root)
{
    const std::wstring prefix = root + L"\\";
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
        throw UpdateError(Result::Internal, "a swap path outside the local path");
    return WideToUtf8(path.substr(prefix.size()));
}

std::wstring Absolute(const std::string& relative, const std::wstring& root)
{
    const std::wstring wide = Utf8ToWide(relative);
    if (wide.empty())
        Unreadable("bad path: " + relative);
    return root + L"\\" + wide;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, separator);)
        fields.push_back(field);
    return fields;
}

SwapStep ParseStep(const std::string& line, const std::wstring& root)
{
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() == 4 && fields[0] == replaceWord)
        return {Absolute(fields[1], root), Absolute(fields[2], root), Absolute(fields[3], root)};
    if (fields.size() == 3 && fields[0] == removeWord)
        return {std::wstring(), Absolute(fields[1], root), Absolute(fields[2], root)};
    Unreadable("unexpected line: " + line.substr(0, 80));
}

} // namespace

void Write(const std::wstring& path, const std::wstring& root, const std::vector<SwapStep>& steps)
{
    std::ostringstream text;
    text << firstLine << '\n';
    for (const SwapStep& step : steps)
    {
        if (step.staged.empty())
            text << removeWord;
        else
            text << replaceWord << separator << Relative(step.staged, root);
        text << separator << Relative(step.target, root) << separator << Relative(step.backup, root) << '\n';
    }
    text << closingLine << '\n';
    LocalFiles::Write(path, text.str());
}

State Read(const std::wstring& path, const std::wstring& root, std::vector<SwapStep>& steps)
{
    std::string text;
    if (!LocalFiles::TryRead(path, text))
        return State::None;
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    // Only a whole line counts: a cut inside "end" leaves "en" or "e".
    const bool closed = !text.empty() && text.back() == '\n' && !lines.empty() && lines.back() == closingLine;
    if (!closed)
        return State::Torn;
    if (lines.front() != firstLine)
        Unreadable("no header line");
    steps.clear();
    for (std::size_t i = 1; i + 1 < lines.size(); ++i)
        steps.push_back(ParseStep(lines[i], root));
    return State::Whole;
}

} // namespace UpdateSdkStandIn::SwapJournal
