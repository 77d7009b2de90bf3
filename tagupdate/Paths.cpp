#include "tagupdate/Paths.h"

#include <windows.h>

namespace kestrel {
namespace {

// Whether `path` names an existing object that is a folder, or one that is not.
bool HasKind(const CountedString& path, bool folder) {
    const DWORD attributes = GetFileAttributesA(path.Chars());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

} // namespace

CountedString PathIn(const CountedString& folder, const CountedString& name) {
    const bool endsInSeparator = !folder.IsEmpty() && folder.FindLast('\\') == folder.Length() - 1;
    return endsInSeparator ? folder + name : folder + "\\" + name;
}

CountedString DirectoryOf(const CountedString& path) {
    const int separator = path.FindLast('\\');
    return separator < 0 ? CountedString() : path.Left(separator);
}

bool IsAbsolutePath(const char* path) {
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    return (path[0] != '\0' && path[1] == ':' && isSeparator(path[2])) ||
           (isSeparator(path[0]) && isSeparator(path[1]));
}

int ShareRootLength(const char* path) {
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    if (!isSeparator(path[0]) || !isSeparator(path[1])) {
        return 0;
    }
    // Past the server's name and the share's, by characters of the code page.
    const char* end = path + 2;
    for (int names = 0; names < 2 && *end != '\0'; ++names) {
        if (names > 0) {
            ++end; // the separator after the server
        }
        while (*end != '\0' && !isSeparator(*end)) {
            end = CharNextA(end);
        }
    }
    return static_cast<int>(end - path);
}

bool FitsPathLimit(const CountedString& path) {
    return path.Length() < MAX_PATH;
}

bool IsFile(const CountedString& path) {
    return HasKind(path, false);
}

bool IsFolder(const CountedString& path) {
    return HasKind(path, true);
}

} // namespace kestrel
