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

bool HasDrive(const char* path) {
    return path[0] != '\0' && path[1] == ':';
}

// \\?\UNC\ or \\.\UNC\, the long and the device forms of \\.
int LongUncPrefixLength(const char* path) {
    const bool prefixed = IsSeparator(path[0]) && IsSeparator(path[1]) &&
                          (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]) &&
                          (path[4] | 0x20) == 'u' && (path[5] | 0x20) == 'n' &&
                          (path[6] | 0x20) == 'c' && IsSeparator(path[7]);
    return prefixed ? 8 : 0;
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

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

Anchor AnchorOf(const char* path) {
    if (HasDrive(path)) {
        return IsSeparator(path[2]) ? Anchor::Full : Anchor::Drive;
    }
    if (IsSeparator(path[0])) {
        return IsSeparator(path[1]) ? Anchor::Full : Anchor::Root;
    }
    return Anchor::Folder;
}

bool HasFolderPart(const CountedString& path) {
    return path.FindLast('\\') >= 0 || path.FindLast('/') >= 0 || path.FindLast(':') >= 0;
}

bool IsBareDrive(const char* path) {
    const char letter = static_cast<char>(path[0] | 0x20);
    return letter >= 'a' && letter <= 'z' && path[1] == ':' && path[2] == '\0';
}

int RootLength(const char* path) {
    return HasDrive(path) ? 2 : ShareRootLength(path);
}

int ShareRootLength(const char* path) {
    if (!IsSeparator(path[0]) || !IsSeparator(path[1])) {
        return 0;
    }
    // Past the server's name and the share's, by characters of the code page.
    const char* end = path + (LongUncPrefixLength(path) > 0 ? LongUncPrefixLength(path) : 2);
    for (int names = 0; names < 2 && *end != '\0'; ++names) {
        if (names > 0) {
            ++end; // the separator after the server
        }
        while (*end != '\0' && !IsSeparator(*end)) {
            end = CharNextA(end);
        }
    }
    return static_cast<int>(end - path);
}

int PathLength(const char* path) {
    return MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0) - 1;
}

bool FitsPathLimit(const CountedString& path) {
    return PathLength(path.Chars()) < MAX_PATH;
}

std::wstring LongFormOf(const CountedString& path) {
    const int length = PathLength(path.Chars());
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.Chars(), -1, &wide[0], length + 1);
    if (wide.compare(0, 4, L"\\\\?\\") == 0) {
        return wide.substr(0, static_cast<size_t>(length)); // taken as it stands
    }
    // Full, with / read as \ and . and .. resolved, as the ANSI functions
    // would have read it.
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD written = size > 0 ? GetFullPathNameW(wide.c_str(), size, &full[0], nullptr) : 0;
    if (written == 0 || written >= size) {
        return std::wstring();
    }
    full.resize(written);
    if (full.compare(0, 4, L"\\\\.\\") == 0) {
        return full; // a device path, which has no long form
    }
    return full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC" + full.substr(1) : L"\\\\?\\" + full;
}

HANDLE OpenAtAnyLength(const CountedString& path, DWORD access, DWORD sharing, DWORD disposition,
                       DWORD flags) {
    if (FitsPathLimit(path)) {
        return CreateFileA(path.Chars(), access, sharing, nullptr, disposition, flags, nullptr);
    }
    const std::wstring longForm = LongFormOf(path);
    if (longForm.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(longForm.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
}

bool IsFile(const CountedString& path) {
    return HasKind(path, false);
}

bool IsFolder(const CountedString& path) {
    return HasKind(path, true);
}

} // namespace kestrel
