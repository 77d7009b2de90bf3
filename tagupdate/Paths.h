// Every rule about path texts in one place: separators, where a path is
// anchored, its root, its folder, and how long the file functions find it.
#pragma once

#include <windows.h>

#include <string>

#include "text/CountedString.h"

namespace kestrel {

// `name` inside `folder`, with one backslash between them also when the
// folder ends in one (a drive root as the browser gives it, "K:\").
CountedString PathIn(const CountedString& folder, const CountedString& name);

// The text before the path's last backslash; empty if it has none.
CountedString DirectoryOf(const CountedString& path);

bool IsSeparator(char c); // \ or /

// What a path is relative to, which decides whether it means the same file
// for every process and current folder.
enum class Anchor {
    Folder, // name, sub\name: the current folder
    Root,   // \name: the root of the current drive
    Drive,  // X:name: drive X's current folder
    Full    // X:\name, \\server\share\name, \\?\...: nothing
};
Anchor AnchorOf(const char* path);

// Whether the path names a folder at all: it holds \, / or :.
bool HasFolderPart(const CountedString& path);

// "X:", a drive designator alone.
bool IsBareDrive(const char* path);

// The length of the path's root: 2 for X:..., the share root for the
// network forms; 0 for a path that has none.
int RootLength(const char* path);

// For \\server\share\..., \\?\UNC\server\share\... and \\.\UNC\..., the
// length up to the end of the share's name, the top of that path; \\?\X:\...
// reads as server "?" and share "X:", its drive root. 0 for every other path.
int ShareRootLength(const char* path);

// The path's length as the file functions count it: in UTF-16 units of the
// ANSI code page, where a double-byte character is one.
int PathLength(const char* path);

// Whether the ANSI file functions take the path: shorter than MAX_PATH.
bool FitsPathLimit(const CountedString& path);

// The path in the long form that the wide file functions take at any
// length: \\?\X:\... or \\?\UNC\server\share\..., made full and normalised
// first. Empty when it cannot be made.
std::wstring LongFormOf(const CountedString& path);

// CreateFileA on `path`, or CreateFileW on its long form where it is too
// long for the ANSI functions (ERROR_FILENAME_EXCED_RANGE when it has none).
HANDLE OpenAtAnyLength(const CountedString& path, DWORD access, DWORD sharing, DWORD disposition,
                       DWORD flags);

// Whether `path` names an existing file, or an existing folder.
bool IsFile(const CountedString& path);
bool IsFolder(const CountedString& path);

} // namespace kestrel
