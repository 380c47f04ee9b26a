#pragma once

#include "Entry.h"
#include "Result.h"

#include <string>
#include <vector>

// Whole-file reading and writing and folder handling on wide paths, each entry acted on as
// itself: a link (symbolic link, junction) is never read, written, emptied or moved through,
// only removed or moved as the link itself, and where the system opens only what a link leads
// to (Wine) it is refused. Failures throw UpdateError with Result::FileSystem unless a function
// says otherwise.
namespace UpdateSdkStandIn::LocalFiles
{

// Throws UpdateError(result) with the Failure text.
[[noreturn]] void Fail(Result result, const char* what, const std::wstring& path);
// What failed on the path, and the last system error.
std::string Failure(const char* what, const std::wstring& path);
// Throws UpdateError(FileSystem): path is a link that is not acted through.
[[noreturn]] void FailLink(const std::wstring& path);
// What stands at path, not followed; throws for a link that the system opens only through.
EntryKind Examine(const std::wstring& path);
// Throws UpdateError(FileSystem) when path is a link of either kind.
void RefuseLink(const std::wstring& path);
// What stands where a file belongs, as Examine; throws for a link that stands as a folder too (a
// junction, a folder's symbolic link): moved as itself, it would no longer be seen as a file.
EntryKind ExamineFilePlace(const std::wstring& path);
// False when there is no file of that name, or only a link (what it leads to is never read);
// throws when it exists but cannot be read, or is a link that the system would follow.
bool TryRead(const std::wstring& path, std::string& content);
// Creates the file, replacing a file or link of that name, and flushes it to disk before
// returning.
void Write(const std::wstring& path, const std::string& content);
// Creates the folder and its missing parents (a link to a folder counts as one).
void CreateFolders(const std::wstring& path);
// Creates the folder, whose parent exists, unless it is there; throws when a file or a link
// stands in its place.
void CreateOwnFolder(const std::wstring& path);
// The names of the files (not folders) directly in the folder; none when it does not exist.
std::vector<std::wstring> FileNames(const std::wstring& folder);
// Whether the folder holds any entry (file, folder or link); false when it does not exist, true
// when it cannot be listed.
bool HoldsAnything(const std::wstring& folder);
// Removes the file, or the folder with everything in it; a link is removed as the link, or
// left in place where the system would follow it. What cannot be removed stays (no throw).
void RemoveTree(const std::wstring& path);
// Removes everything in the folder, as RemoveTree does, but its entry of that name (compared
// without regard to case); no throw.
void RemoveTreeContents(const std::wstring& path, const std::wstring& keptName);
// Removes the file, empty folder or link itself at path; true when nothing is there any more.
// False (GetLastError tells why) when it cannot.
bool RemoveEntry(const std::wstring& path);
// Whether a file (not a folder) of that name exists.
bool IsFile(const std::wstring& path);
// Renames a file, or a link as the link itself, within one volume; false (with GetLastError
// set; LinkRefused for a link the system would follow) when it fails.
bool Move(const std::wstring& from, const std::wstring& to);
// Renames a file, or a link as the link itself, taking the place of the file or link named
// to in one step, so that that name is never free meanwhile (never a folder's place); false
// (with GetLastError set) when it fails.
bool Replace(const std::wstring& from, const std::wstring& to);
// Gives a plain file (never a link: LinkRefused) the second name link, which must be free (a
// hard link); false (with GetLastError set) when it fails, on a volume without hard links too,
// and for a file that another holds so that it may not be renamed or deleted.
bool Link(const std::wstring& existing, const std::wstring& link);
// Whether both folders lie on one volume, each where it leads (a link to a folder counts as the
// folder it leads to); throws when either cannot be opened.
bool OnOneVolume(const std::wstring& first, const std::wstring& second);
// Whether both paths name one file: two names of it (hard links), neither a link.
bool AreOneFile(const std::wstring& first, const std::wstring& second);
// Lower-case hex SHA-256 of a file's content.
std::string Sha256Hex(const std::string& content);

} // namespace UpdateSdkStandIn::LocalFiles
