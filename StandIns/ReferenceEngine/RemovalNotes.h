#pragma once

#include "FileObjects.h"

#include <string>

namespace ReferenceEngine
{

// The name a file takes in its folder on its way out ("~deleting.tmp", then "~deleting.tmp.1",
// ... when taken): listed under it until the last program that holds it open lets go.
extern const wchar_t* const LeavingName;
// Whether a file name has that form (without regard to case).
bool IsLeavingName(const wchar_t* name);

// Whether path is in a form the engine makes of a path it is given and notes: a full path on a
// drive (X:\...) or a share (\\server\share\...), or either in the \\?\ form, every name after
// the root a plain one (not empty, not "." or ".."). Not a device (\\.\..., \\?\GLOBALROOT\...).
bool IsNotedPathForm(const std::wstring& path);

// Notes of the files this engine renamed on their way out and marked for deletion, kept while
// another program may still hold them, so that no scan takes one for a file of the user's:
// Windows refuses every open of such a file, but Wine opens it as if nothing had happened. A
// note is a file in the folder Removals of the program folder, named after the removed file's
// volume and file index and holding the path it had; it goes once the file has gone.
// The folder and each note are the engine's own: acted on only through a handle that is the
// entry of its name, never through a link. A note whose path is not one the engine writes is
// dropped without opening what it names. An engine started read-only writes no notes, but
// reads them.
class RemovalNotes
{
public:
    RemovalNotes() = default; // no notes
    RemovalNotes(const std::wstring& programFolder, bool writing);

    // Takes back the notes of files gone since they were noted, and drops the notes that are
    // none of the engine's. Looks at every note: once per scan call. Does nothing when not
    // writing.
    void TakeBackNotesOfGoneFiles() const;
    // Notes the file of that identity at path before its rename, so that no scan ever meets
    // it under its leaving name unnoted. Does nothing when not writing, or for a path that is
    // not in a noted form.
    void Note(const FileIdentity& file, const std::wstring& path) const;
    // After the removal of the noted file: keeps the note while the file is still there under
    // its leaving name (another program holds it), else takes it back.
    void Settle(const FileIdentity& file, bool stillThere) const;
    // Whether path, whose name is a leaving name, is a file this engine renamed and marked for
    // deletion.
    bool IsRemoved(const std::wstring& path) const;

private:
    std::wstring NotePath(const FileIdentity& identity) const;
    // The folder of the notes, held so that it can be neither renamed nor deleted (nor so
    // swapped for a link) while a note is acted on; INVALID_HANDLE_VALUE when it is not there
    // or is not the folder of that name itself.
    HANDLE HoldFolder() const;
    void Write(const std::wstring& notePath, const std::wstring& path) const;

    std::wstring notes; // the folder of the notes; empty: none
    bool writing = false;
};

} // namespace ReferenceEngine
