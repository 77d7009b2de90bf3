#include "tagupdate/ProgramSearch.h"

#include <windows.h>

#include <string>

#include "tagupdate/Environment.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

// Room for a path of MAX_PATH - 1 characters, double-byte ones included.
constexpr DWORD kAnswerSize = 2 * MAX_PATH;

// The text that a Get...A call left in a buffer of kAnswerSize bytes, given
// its result; empty when the call failed, the text did not fit, or it is too
// long for the file functions.
CountedString Answer(const char* buffer, DWORD length) {
    const CountedString text =
        length > 0 && length < kAnswerSize ? CountedString(buffer) : CountedString();
    return FitsPathLimit(text) ? text : CountedString();
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
        std::string folder;
        for (; *entry != '\0' && *entry != ';'; ++entry) {
            if (*entry != '"') {
                folder += *entry;
            }
        }
        if (*entry == ';') {
            ++entry;
        }
        const CountedString candidate(folder.c_str());
        if (AnchorOf(folder.c_str()) == Anchor::Full && FitsPathLimit(candidate) &&
            FoundIn(candidate, name, found)) {
            return true;
        }
    }
    return false;
}

// The editor's executable; empty if it cannot be told.
CountedString EditorPath() {
    char buffer[kAnswerSize] = {};
    return Answer(buffer, GetModuleFileNameA(nullptr, buffer, kAnswerSize));
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
        char buffer[kAnswerSize] = {};
        found =
            FoundIn(DirectoryOf(EditorPath()), name, program) ||
            (!folderRelative &&
             (FoundIn(Answer(buffer, GetSystemDirectoryA(buffer, kAnswerSize)), name, program) ||
              FoundIn(Answer(buffer, GetWindowsDirectoryA(buffer, kAnswerSize)), name, program) ||
              FoundOnPath(name, program)));
    }
    if (!found) {
        program = CountedString();
    }
    return found;
}

} // namespace kestrel
