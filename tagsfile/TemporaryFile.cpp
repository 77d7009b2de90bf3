// The watching handle asks for no data access and shares reading, writing
// and deleting: ctags's fopen "w" (which shares reading and writing only)
// can then open, truncate and rewrite the file, and the end of the run can
// open the name again for renaming and deleting. A handle that reads only
// attributes takes no part in the sharing rules.
#include "tagsfile/TemporaryFile.h"

#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

} // namespace

DWORD TemporaryFile::Make(const CountedString& path, const CountedString& replaced) {
    const DWORD named = Name(path, replaced);
    return named != ERROR_SUCCESS ? named : Create();
}

DWORD TemporaryFile::Name(const CountedString& path, const CountedString& replaced) {
    m_replacing = RenameTo(replaced);
    if (m_replacing.empty()) {
        return ERROR_INVALID_NAME;
    }
    m_path = path;
    return ERROR_SUCCESS;
}

DWORD TemporaryFile::Create() {
    m_watch.Reset(OpenAtAnyLength(m_path, FILE_READ_ATTRIBUTES, kShareAll, CREATE_NEW,
                                  FILE_FLAG_OPEN_REPARSE_POINT));
    if (!m_watch) {
        return GetLastError();
    }
    if (!GetFileInformationByHandle(m_watch.Get(), &m_made)) {
        const DWORD error = GetLastError();
        Discard();
        return error;
    }
    return ERROR_SUCCESS;
}

UniqueFile TemporaryFile::Reopen(DWORD& error) const {
    // Backup semantics open a folder too, so that it is told apart below
    // rather than refused like a file held by others.
    UniqueFile file(OpenAtAnyLength(m_path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    if (!file) {
        error = GetLastError();
        return file;
    }
    BY_HANDLE_FILE_INFORMATION now;
    if (!GetFileInformationByHandle(file.Get(), &now)) {
        error = GetLastError();
        return UniqueFile();
    }
    if (!SameFile(now, m_made) ||
        (now.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        error = ERROR_FILE_INVALID;
        return UniqueFile();
    }
    error = ERROR_SUCCESS;
    return file;
}

bool TemporaryFile::WrittenSinceMade(HANDLE reopened) const {
    BY_HANDLE_FILE_INFORMATION now;
    return !GetFileInformationByHandle(reopened, &now) || now.nFileSizeHigh != 0 ||
           now.nFileSizeLow != 0 ||
           CompareFileTime(&now.ftLastWriteTime, &m_made.ftLastWriteTime) != 0;
}

void TemporaryFile::Discard() {
    if (!m_watch) {
        return;
    }
    DWORD error = ERROR_SUCCESS;
    const UniqueFile file = Reopen(error);
    if (file) {
        DeleteThrough(file.Get());
    }
    Forget();
}

bool DeleteThrough(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

} // namespace kestrel
