#pragma once

#include "Result.h"

#include <string>
#include <vector>

// Whole-file reading and writing and folder handling on wide paths. Failures throw
// UpdateError with Result::FileSystem unless a function says otherwise.
namespace UpdateSdkStandIn::LocalFiles
{

// Throws UpdateError(result) with the Failure text.
[[noreturn]] void Fail(Result result, const char* what, const std::wstring& path);
// What failed on the path, and the last system error.
std::string Failure(const char* what, const std::wstring& path);
// False when the file does not exist; throws when it exists but cannot be read.
bool TryRead(const std::wstring& path, std::string& content);
// Creates or replaces the file and flushes it to disk before returning.
void Write(const std::wstring& path, const std::string& content);
// Creates the folder and its missing parents.
void CreateFolders(const std::wstring& path);
// The names of the files (not folders) directly in the folder; none when it does not exist.
std::vector<std::wstring> FileNames(const std::wstring& folder);
// Removes the folder with everything in it; what cannot be removed stays (no throw).
void RemoveTree(const std::wstring& path);
// Removes everything in the folder but its entry of that name (compared without regard to
// case); what cannot be removed stays (no throw).
void RemoveTreeContents(const std::wstring& path, const std::wstring& keptName);
// Whether a file (not a folder) of that name exists.
bool IsFile(const std::wstring& path);
// Renames within one volume; false (with GetLastError set) when it fails.
bool Move(const std::wstring& from, const std::wstring& to);
// Lower-case hex SHA-256 of a file's content.
std::string Sha256Hex(const std::string& content);

} // namespace UpdateSdkStandIn::LocalFiles
