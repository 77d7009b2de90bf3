// Files made anew beside the tags file. An existing name is never opened,
// written or deleted through: it may be a link, and opening it with delete
// on close, or deleting it, removes the file it points to (as Wine does for
// a Unix symbolic link). A fresh file renamed onto the name takes its place
// instead: a rename replaces the link itself.
#pragma once

#include <windows.h>

#include <vector>

#include "plugin/UniqueAny.h"
#include "text/CountedString.h"

namespace kestrel {

// Makes the file `path`, which must not exist yet, opened for writing and
// unshared, removed when its last handle closes; a path too long for the
// ANSI functions is made in its long form. Returns 0 with the file in
// `file`, or the error.
DWORD CreateFreshFile(const CountedString& path, UniqueFile& file);

// The attributes of the entry of that name in its folder, a link that leads
// nowhere included; INVALID_FILE_ATTRIBUTES when there is none
// (ERROR_FILE_NOT_FOUND) or it cannot be told. It only reads the folder:
// cheaper than making a file.
DWORD EntryAttributes(const CountedString& path);
// Whether no entry of that name is in its folder.
bool NameIsFree(const CountedString& path);

// Makes `path` name a fresh unshared file that goes when its last handle
// closes, whatever held the name before: a leftover, a link (which is
// replaced, its target untouched), or nothing. The file is made as
// `path` + "-new" first and renamed onto `path`. Returns 0 with the file in
// `file`; ERROR_FILE_EXISTS when the "-new" name exists (another run is
// taking the name); otherwise the rename's error, such as
// ERROR_ACCESS_DENIED when another handle holds the name open, or when the
// name is a folder or a read-only file.
DWORD TakeName(const CountedString& path, UniqueFile& file);

// The rename of an open file to `path`, replacing what holds that name (a
// link itself, never its target), made ahead so that the rename itself
// allocates nothing; empty when `path` has no full long form.
std::vector<char> RenameTo(const CountedString& path);
// Renames the file open as `file` (with the right to delete it) as `rename`
// says. False with the error when it cannot, ERROR_ACCESS_DENIED among
// others while another program holds the file at the new name open.
bool RenameOnto(HANDLE file, std::vector<char>& rename);

} // namespace kestrel
