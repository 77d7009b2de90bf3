#include "tagsfile/RunRecord.h"

#include <shlobj.h>

#include <cstring>

#include "plugin/UniqueAny.h"
#include "tagupdate/Paths.h"

namespace kestrel {
namespace {

constexpr char kMagic[] = "Kestrel run record 1\n";

ULONGLONG Combined(DWORD high, DWORD low) {
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

void PutNumber(std::string& out, ULONGLONG value) {
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void PutText(std::string& out, const std::string& text) {
    PutNumber(out, text.size());
    out += text;
}

// Reads what PutNumber and PutText wrote; every read fails past the end.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) {}
    bool Number(ULONGLONG& value) {
        if (m_bytes.size() - m_at < 8) {
            return false;
        }
        value = 0;
        for (int i = 7; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(m_bytes[m_at + i]);
        }
        m_at += 8;
        return true;
    }
    bool Text(std::string& text) {
        ULONGLONG size = 0;
        if (!Number(size) || size > m_bytes.size() - m_at) {
            return false;
        }
        text.assign(m_bytes, m_at, static_cast<size_t>(size));
        m_at += static_cast<size_t>(size);
        return true;
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

std::string Encoded(const RunRecord& record) {
    std::string out = kMagic;
    PutText(out, record.tagsPath);
    PutText(out, record.configuration);
    PutNumber(out, record.tags.size);
    PutNumber(out, record.tags.writeTime);
    PutNumber(out, record.tags.index);
    PutNumber(out, record.tags.volume);
    PutNumber(out, record.walk.startTime);
    PutNumber(out, record.walk.complete ? 1 : 0);
    PutNumber(out, record.walk.files.size());
    for (const WalkedFile& file : record.walk.files) {
        PutText(out, file.name);
        PutNumber(out, file.size);
        PutNumber(out, file.writeTime);
    }
    return out;
}

bool Decoded(const std::string& bytes, RunRecord& record) {
    const size_t magic = sizeof kMagic - 1;
    if (bytes.compare(0, magic, kMagic) != 0) {
        return false;
    }
    const std::string body = bytes.substr(magic);
    Reader in(body);
    ULONGLONG volume = 0, complete = 0, count = 0;
    if (!in.Text(record.tagsPath) || !in.Text(record.configuration) ||
        !in.Number(record.tags.size) || !in.Number(record.tags.writeTime) ||
        !in.Number(record.tags.index) || !in.Number(volume) || !in.Number(record.walk.startTime) ||
        !in.Number(complete) || !in.Number(count) || count > body.size() / 24) {
        return false;
    }
    record.tags.volume = static_cast<DWORD>(volume);
    record.walk.complete = complete == 1;
    record.walk.files.resize(static_cast<size_t>(count));
    for (WalkedFile& file : record.walk.files) {
        if (!in.Text(file.name) || !in.Number(file.size) || !in.Number(file.writeTime)) {
            return false;
        }
    }
    return in.AtEnd();
}

// 64-bit FNV-1a of the path, upper-cased as the file system compares it.
std::wstring NameFor(const CountedString& tagsPath) {
    std::string folded = tagsPath.Chars();
    CharUpperBuffA(&folded[0], static_cast<DWORD>(folded.size()));
    ULONGLONG hash = 14695981039346656037ull;
    for (const char c : folded) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    wchar_t name[32];
    wsprintfW(name, L"%08lx%08lx.record", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFF));
    return name;
}

} // namespace

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.size == b.size && a.writeTime == b.writeTime && a.index == b.index &&
           a.volume == b.volume;
}

bool StampOf(const CountedString& path, FileStamp& stamp) {
    const UniqueFile file(OpenAtAnyLength(path, 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) {
        return false;
    }
    stamp.size = Combined(info.nFileSizeHigh, info.nFileSizeLow);
    stamp.writeTime =
        Combined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    stamp.index = Combined(info.nFileIndexHigh, info.nFileIndexLow);
    stamp.volume = info.dwVolumeSerialNumber;
    return true;
}

std::wstring RecordPathFor(const CountedString& tagsPath) {
    wchar_t folder[MAX_PATH];
    if (tagsPath.IsEmpty() ||
        FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
        return std::wstring();
    }
    return std::wstring(folder) + L"\\Kestrel\\runs\\" + NameFor(tagsPath);
}

bool LoadRecord(const CountedString& tagsPath, RunRecord& record) {
    const std::wstring path = RecordPathFor(tagsPath);
    const UniqueFile file(path.empty() ? INVALID_HANDLE_VALUE
                                       : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x40000000) {
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
         read != bytes.size())) {
        return false;
    }
    return Decoded(bytes, record) && record.tagsPath == tagsPath.Chars();
}

bool SaveRecord(const RunRecord& record) {
    const std::wstring path = RecordPathFor(record.tagsPath.c_str());
    if (path.empty()) {
        return false;
    }
    const std::wstring folder = path.substr(0, path.rfind(L'\\'));
    CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring temporary = path + L".new";
    const std::string bytes = Encoded(record);
    DWORD written = 0;
    bool whole = false;
    {
        const UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        whole = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) &&
                written == bytes.size();
    }
    if (!whole) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void DropRecord(const CountedString& tagsPath) {
    const std::wstring path = RecordPathFor(tagsPath);
    if (!path.empty()) {
        DeleteFileW(path.c_str());
    }
}

} // namespace kestrel
