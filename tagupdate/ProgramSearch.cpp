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
        if (length < MAX_PATH && AnchorOf(folder) == Anchor::Full &&
            FoundIn(CountedString(folder), name, found)) {
            return true;
        }
    }
    return false;
}

// The editor's executable; empty if it cannot be told.
CountedString EditorPath() {
    char buffer[MAX_PATH] = {};
    return Answer(buffer, GetModuleFileNameA(nullptr, buffer, MAX_PATH));
}

// `path` with .exe added when its file name has no extension.
CountedString WithExtension(const CountedString& path) {
    const int dot = path.FindLast('.');
    const bool hasExtension =
        dot > path.FindLast('\\') && dot > path.FindLast('/') && dot > path.FindLast(':');
    return hasExtension ? path : path + ".exe";
}

// A name relative to a root, taken from one: X:name from X:'s root, \name
// from the root of the editor's drive, never from a current folder. Empty
// when the editor's drive cannot be told.
CountedString FromRoot(const CountedString& execPath) {
    const char* path = execPath.Chars();
    if (AnchorOf(path) == Anchor::Drive) {
        return WithExtension(execPath.Left(2) + "\\" + (path + 2));
    }
    const CountedString editor = EditorPath();
    const int root = RootLength(editor.Chars());
    return root > 0 ? WithExtension(editor.Left(root) + execPath) : CountedString();
}

} // namespace

bool FindProgramFor(const CountedString& execPath, CountedString& program) {
    program = CountedString();
    const Anchor anchor = AnchorOf(execPath.Chars());
    if (anchor == Anchor::Full) {
        // Started as it stands, which CreateProcessA tries with .exe added
        // too; a program that is not there is told before anything else.
        return IsFile(execPath) || IsFile(WithExtension(execPath));
    }
    bool found = false;
    if (anchor != Anchor::Folder) {
        program = FromRoot(execPath);
        found = !program.IsEmpty() && IsFile(program);
    } else {
        const CountedString name = WithExtension(execPath);
        const bool folderRelative = HasFolderPart(execPath);
        char buffer[MAX_PATH] = {};
        found = FoundIn(DirectoryOf(EditorPath()), name, program) ||
                (!folderRelative &&
                 (FoundIn(Answer(buffer, GetSystemDirectoryA(buffer, MAX_PATH)), name, program) ||
                  FoundIn(Answer(buffer, GetWindowsDirectoryA(buffer, MAX_PATH)), name, program) ||
                  FoundOnPath(name, program)));
    }
    if (!found) {
        program = CountedString();
    }
    return found;
}

} // namespace kestrel
