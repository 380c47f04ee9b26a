#include "SwapJournal.h"

#include "Definitions.h"
#include "LocalFiles.h"
#include "PlainFileName.h"
#include "Result.h"
#include "TextLines.h"

#include <set>
#include <sstream>

namespace UpdateSdkStandIn
{
namespace
{

const char* const firstLine = "brisken-swap 1";
// Written last: a journal without it was cut short before any move, unless damaged since.
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

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, separator);)
        fields.push_back(field);
    return fields;
}

// The step of the line, which must be just what Write makes of an InstallStep.
SwapStep ParseStep(const std::string& line, const Folders& folders)
{
    const std::vector<std::string> fields = Fields(line);
    const bool replaced = fields.size() == 4 && fields[0] == replaceWord;
    if (!replaced && !(fields.size() == 3 && fields[0] == removeWord))
        Unreadable("unexpected line: " + line.substr(0, 80));
    const std::string target = fields[replaced ? 2 : 1];
    const std::string prefix = WideToUtf8(Folders::pluginsName) + "\\";
    const std::string name = target.compare(0, prefix.size(), prefix) == 0 ? target.substr(prefix.size()) : "";
    const std::wstring wideName = Utf8ToWide(name);
    const bool versionFile = replaced && wideName == Folders::versionFileName;
    const bool setFile = IsPlainFileName(name) && !IsReservedFileName(name);
    if (replaced ? !versionFile && !setFile : !IsWithdrawable(wideName))
        Unreadable("not a file of Plugins that Install acts on: " + line.substr(0, 80));
    const SwapStep step = InstallStep(folders, wideName, replaced);
    const std::vector<std::string> expected = replaced
        ? std::vector<std::string>{replaceWord, Relative(step.staged, folders.local), target,
              Relative(step.backup, folders.local)}
        : std::vector<std::string>{removeWord, target, Relative(step.backup, folders.local)};
    if (fields != expected)
        Unreadable("not a step of an install: " + line.substr(0, 80));
    return step;
}

} // namespace

SwapStep InstallStep(const Folders& folders, const std::wstring& name, bool replaced)
{
    std::wstring staged;
    if (replaced)
        staged = name == Folders::versionFileName ? folders.stagedVersionFile : folders.stagedFiles + L"\\" + name;
    return {staged, folders.plugins + L"\\" + name, folders.backup + L"\\" + name};
}

bool IsWithdrawable(const std::wstring& name)
{
    return ReferenceEngine::Definitions::IsDefinitionsFileName(name) && IsPlainFileName(WideToUtf8(name));
}

namespace SwapJournal
{

void Write(const Folders& folders, const std::vector<SwapStep>& steps)
{
    std::ostringstream text;
    text << firstLine << '\n';
    for (const SwapStep& step : steps)
    {
        if (step.staged.empty())
            text << removeWord;
        else
            text << replaceWord << separator << Relative(step.staged, folders.local);
        text << separator << Relative(step.target, folders.local) << separator << Relative(step.backup, folders.local)
             << '\n';
    }
    text << closingLine << '\n';
    LocalFiles::Write(folders.journal, text.str());
}

State Read(const Folders& folders, std::vector<SwapStep>& steps)
{
    std::string text;
    if (!LocalFiles::TryRead(folders.journal, text))
        return State::None;
    // A power cut can leave the end of a file unwritten, which NTFS shows as zeros: the journal
    // was cut where they begin, so before the first move, which waits for it to be flushed.
    text.erase(text.find_last_not_of('\0') + 1);
    std::vector<TextLine> lines = TextLines(text);
    // A last line without its line end was cut short, but for the closing line, whole without it.
    std::string cut;
    if (!lines.empty() && !lines.back().ended && lines.back().text != closingLine)
    {
        cut = lines.back().text;
        lines.pop_back();
    }
    const bool closed = cut.empty() && !lines.empty() && lines.back().text == closingLine;
    steps.clear();
    // Cut short inside its first line.
    if (lines.empty() && std::string(firstLine).compare(0, cut.size(), cut) == 0)
        return State::Torn;
    if (lines.empty() || lines.front().text != firstLine)
        Unreadable("no header line");
    std::set<std::wstring> names;
    for (std::size_t i = 1; i < lines.size() - (closed ? 1 : 0); ++i)
    {
        steps.push_back(ParseStep(lines[i].text, folders));
        if (!names.insert(FileNameKey(steps.back().target)).second)
            Unreadable("a file named twice: " + lines[i].text.substr(0, 80));
    }
    return closed ? State::Whole : State::Torn;
}

} // namespace SwapJournal

} // namespace UpdateSdkStandIn
