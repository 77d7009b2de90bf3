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

} // namespace

bool HasFolderPart(const CountedString& path) {
    return path.FindLast('\\') >= 0 || path.FindLast('/') >= 0 || path.FindLast(':') >= 0;
}

bool IsFolderRelative(const CountedString& path) {
    const char* text = path.Chars();
    return HasFolderPart(path) && text[0] != '\\' && text[0] != '/' &&
           (text[0] == '\0' || text[1] != ':');
}

CountedString FindProgram(const CountedString& name) {
    const CountedString program = WithExtension(name);
    CountedString found;
    if (IsFolderRelative(name)) {
        return FoundIn(EditorFolder(), program, found) ? found : CountedString();
    }
    char buffer[MAX_PATH] = {};
    if (FoundIn(EditorFolder(), program, found) ||
        FoundIn(Answer(buffer, GetSystemDirectoryA(buffer, MAX_PATH)), program, found) ||
        FoundIn(Answer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH)), program, found) ||
        FoundOnPath(program, found)) {
        return found;
    }
    return CountedString();
}

} // namespace kestrel
