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
#include "tagsfile/TagsFileCheck.h"

#include <windows.h>

#include <string>

#include "plugin/UniqueAny.h"
#include "tagupdate/Paths.h"

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

TagsFileFacts InspectTagsFile(const CountedString& path) {
    TagsFileFacts facts;
    const bool fits = FitsPathLimit(path);
    const std::wstring longForm = fits ? std::wstring() : LongFormOf(path);
    if (!fits && longForm.empty()) {
        facts.overwritable = false; // nothing can read it
        return facts;
    }
    const DWORD attributes =
        fits ? GetFileAttributesA(path.Chars()) : GetFileAttributesW(longForm.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
        return facts; // a new tags file
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        facts.replaceable = (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                                           FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return facts; // ctags fails on a folder as it would
        }
    }
    // Shared for writing and deleting too: a program that holds the file
    // open, as ctags itself may, does not stop ctags from overwriting it.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const UniqueFile file(
        OpenAtAnyLength(path, GENERIC_READ, sharing, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    if (!file) {
        facts.overwritable = false;
        return facts;
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return facts;
    }
    // The standard information, not the full one, which costs a volume query.
    FILE_STANDARD_INFO information = {};
    if (GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &information,
                                     sizeof information) &&
        information.NumberOfLinks > 1) {
        facts.replaceable = false;
    }
    FirstLine line;
    bool empty = true;
    char buffer[512];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
            facts.overwritable = false;
            return facts;
        }
        if (read == 0) {
            facts.overwritable = empty || line.Take('\0') == Verdict::TagsFile;
            return facts;
        }
        empty = false;
        for (DWORD i = 0; i < read; ++i) {
            const Verdict verdict = line.Take(buffer[i]);
            if (verdict != Verdict::Undecided) {
                facts.overwritable = verdict == Verdict::TagsFile;
                return facts;
            }
        }
    }
}

} // namespace kestrel
