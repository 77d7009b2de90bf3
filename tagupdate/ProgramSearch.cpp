#include "tagupdate/ProgramSearch.h"

#include <windows.h>

#include "tagupdate/Environment.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// The text that a Get...A call left in buffer, given its result; empty when
// the call failed or the text did not fit.
CountedString Answer(const char* buffer, DWORD length) {
    return length > 0 && length < MAX_PATH ? CountedString(buffer) : CountedString();
}

bool FoundIn(const CountedString& folder, const CountedString& name, CountedString& found) {
    if (folder.IsEmpty()) {
        return false;
    }
    found = PathIn(folder, name);
    return IsFile(found);
}

bool FoundOnPath(const CountedString& name, CountedString& found) {
    const CountedString path = EnvironmentVariable("PATH");
    // Neither ';' nor '"' can be the second byte of a double-byte character.
    for (const char* entry = path.Chars(); *entry != '\0';) {
        char folder[MAX_PATH] = {};
        DWORD length = 0;
        for (; *entry != '\0' && *entry != ';'; ++entry) {
            if (*entry != '"' && length < MAX_PATH) {
                folder[length++] = *entry;
            }
        }
        if (*entry == ';') {
            ++entry;
        }
        if (length < MAX_PATH && IsAbsolutePath(folder) &&
            FoundIn(CountedString(folder), name, found)) {
            return true;
        }
    }
    return false;
}

// The folder of the editor's executable; empty if it cannot be told.
CountedString EditorFolder() {
    char buffer[MAX_PATH] = {};
    return DirectoryOf(Answer(buffer, GetModuleFileNameA(nullptr, buffer, MAX_PATH)));
}

// `path` with .exe added when its file name has no extension.
CountedString WithExtension(const CountedString& path) {
    const int dot = path.FindLast('.');
    const bool hasExtension =
        dot > path.FindLast('\\') && dot > path.FindLast('/') && dot > path.FindLast(':');
    return hasExtension ? path : path + ".exe";
}

// Whether the path names a folder (holds \, / or :).
bool HasFolderPart(const CountedString& path) {
    return path.FindLast('\\') >= 0 || path.FindLast('/') >= 0 || path.FindLast(':') >= 0;
}

// A folder part relative to the current folder, not to a drive or its root.
bool IsFolderRelative(const CountedString& path) {
    const char* text = path.Chars();
    return HasFolderPart(path) && text[0] != '\\' && text[0] != '/' &&
           (text[0] == '\0' || text[1] != ':');
}

} // namespace

bool FindProgramFor(const CountedString& execPath, CountedString& program) {
    program = CountedString();
    if (HasFolderPart(execPath) && !IsFolderRelative(execPath)) {
        return true;
    }
    const CountedString name = WithExtension(execPath);
    char buffer[MAX_PATH] = {};
    const bool found =
        FoundIn(EditorFolder(), name, program) ||
        (!IsFolderRelative(execPath) &&
         (FoundIn(Answer(buffer, GetSystemDirectoryA(buffer, MAX_PATH)), name, program) ||
          FoundIn(Answer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH)), name, program) ||
          FoundOnPath(name, program)));
    if (!found) {
        program = CountedString();
    }
    return found;
}

} // namespace kestrel
