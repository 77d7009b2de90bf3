// ctags refuses to overwrite a tags file that is not empty and whose first
// line is neither of its two forms:
// - a tag line: a name of at least one byte that does not begin with '#',
//   one tab, a file name of at least one byte that does not end with ';',
//   one tab, and an address that is a pattern ('/' or '?' first) or a line
//   number (digits up to ';', CR or the line's end);
// - an etags line: a form feed followed by CR or LF.
// ctags reads the line as a C string, so a NUL ends it like the line feed.
// The first line is read in small pieces only until the rule decides, which
// for a tags file written by ctags is within its first few dozen bytes.
#include "tagupdate/TagsFileCheck.h"

#include <windows.h>

#include "plugin/UniqueAny.h"

namespace kestrel {
namespace {

enum class Verdict { Undecided, TagsFile, NotTagsFile };

// Where the reading of the first line stands: in the field named, or just
// after the form feed or tab named.
enum class Step { Start, FormFeed, Name, FirstTab, FileName, SecondTab, LineNumber };

class FirstLine {
public:
    // Takes the next byte, '\0' at the end of the file.
    Verdict Take(char c) {
        const bool lineEnd = c == '\0' || c == '\n';
        switch (m_step) {
        case Step::Start:
            if (c == '\f') {
                m_step = Step::FormFeed; // and the first byte of a name
                return Verdict::Undecided;
            }
            m_step = Step::Name;
            return lineEnd || c == '\t' || c == '#' ? Verdict::NotTagsFile : Verdict::Undecided;
        case Step::FormFeed:
            if (c == '\n' || c == '\r') {
                return Verdict::TagsFile;
            }
            m_step = Step::Name;
            return Take(c);
        case Step::Name:
            m_step = c == '\t' ? Step::FirstTab : Step::Name;
            return lineEnd ? Verdict::NotTagsFile : Verdict::Undecided;
        case Step::FirstTab:
            m_step = Step::FileName;
            m_last = c;
            return lineEnd || c == '\t' ? Verdict::NotTagsFile : Verdict::Undecided;
        case Step::FileName:
            if (c == '\t') {
                m_step = Step::SecondTab;
                return m_last == ';' ? Verdict::NotTagsFile : Verdict::Undecided;
            }
            m_last = c;
            return lineEnd ? Verdict::NotTagsFile : Verdict::Undecided;
        case Step::SecondTab:
            if (c == '/' || c == '?') {
                return Verdict::TagsFile;
            }
            m_step = Step::LineNumber;
            return c >= '0' && c <= '9' ? Verdict::Undecided : Verdict::NotTagsFile;
        case Step::LineNumber:
            if (c >= '0' && c <= '9') {
                return Verdict::Undecided;
            }
            return lineEnd || c == ';' || c == '\r' ? Verdict::TagsFile : Verdict::NotTagsFile;
        }
        return Verdict::NotTagsFile;
    }

private:
    Step m_step = Step::Start;
    char m_last = '\0'; // of the file name
};

} // namespace

bool LooksLikeTagsFile(const CountedString& path) {
    const UniqueFile file(CreateFileA(path.Chars(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        const DWORD attributes = GetFileAttributesA(path.Chars());
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
               (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return true;
    }
    FirstLine line;
    bool empty = true;
    char buffer[512];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return empty || line.Take('\0') == Verdict::TagsFile;
        }
        empty = false;
        for (DWORD i = 0; i < read; ++i) {
            const Verdict verdict = line.Take(buffer[i]);
            if (verdict != Verdict::Undecided) {
                return verdict == Verdict::TagsFile;
            }
        }
    }
}

} // namespace kestrel
