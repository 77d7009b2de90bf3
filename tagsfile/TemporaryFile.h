// The file ctags writes in place of the tags file, made by the run before
// ctags starts and known from then on by its identity (volume and file
// index), not by its name: another program may put a link, a folder or
// another file at the name while ctags runs, and the end of the run must
// rename or delete only the file ctags was given.
#pragma once

#include <windows.h>

#include <vector>

#include "plugin/UniqueAny.h"
#include "tagsfile/FreshFile.h"
#include "text/CountedString.h"

namespace kestrel {

class TemporaryFile {
public:
    TemporaryFile() = default;
    // Deletes the file if it is still there under its name: a run that ends
    // on any road leaves no temporary file of its own behind.
    ~TemporaryFile() { Discard(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Makes `path`, which must not exist, as an empty file that ctags can
    // open, truncate and rewrite (fopen "w") while this object watches it:
    // its handle reads attributes only and shares everything. `replaced` is
    // the file it may replace at the end. Returns 0, or the error.
    DWORD Make(const CountedString& path, const CountedString& replaced);
    // Make in two steps: Name takes the names, which allocates; Create makes
    // the file, allocating nothing where the path fits the ANSI limit.
    DWORD Name(const CountedString& path, const CountedString& replaced);
    DWORD Create();
    bool IsMade() const { return static_cast<bool>(m_watch); }

    // Opens the name as it stands now, a link itself rather than its target,
    // with the rights to rename and delete it. The handle when the name
    // still names the file made, a plain file; otherwise null, with the
    // error: the open's (ERROR_FILE_NOT_FOUND when the name is gone,
    // ERROR_SHARING_VIOLATION while another program holds it), or
    // ERROR_FILE_INVALID when the name now names anything else.
    UniqueFile Reopen(DWORD& error) const;

    // Whether the reopened file was written after it was made: not empty, or
    // its last write time moved.
    bool WrittenSinceMade(HANDLE reopened) const;

    // Renames the reopened file onto the file it replaces; allocates nothing.
    // False with the error when it cannot.
    bool ReplaceThrough(HANDLE reopened) { return RenameOnto(reopened, m_replacing); }

    // Deletes the file when its name still names it, through the reopened
    // handle; then, and in every other case, lets go of it.
    void Discard();
    // Lets go of the file, which is left as it is.
    void Forget() { m_watch.Reset(); }

private:
    CountedString m_path;
    std::vector<char> m_replacing; // the rename onto the replaced file
    UniqueFile m_watch;
    BY_HANDLE_FILE_INFORMATION m_made = {};
};

// Deletes the file through its handle, which has the right to delete it;
// it goes when its last handle closes. False with the error when it cannot.
bool DeleteThrough(HANDLE file);

} // namespace kestrel
