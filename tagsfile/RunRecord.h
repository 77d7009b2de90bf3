// What Kestrel keeps of a successful run, so that the next command can tell
// what changed: the tags file as the run left it, the configuration the run
// had, and every file the run read, with its size and write time. It lives
// under the user's local application data, one per tags file; the tags file
// itself stays exactly what ctags writes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tagupdate/TreeWalk.h"
#include "text/CountedString.h"

namespace kestrel {

// Which file a path names and how it was last written: a tags file that
// anyone else wrote since no longer has the stamp its record keeps.
struct FileStamp {
    ULONGLONG size = 0;
    ULONGLONG writeTime = 0;
    ULONGLONG index = 0;
    DWORD volume = 0;
};
bool operator==(const FileStamp& a, const FileStamp& b);

// The stamp of the file at `path`; false when it cannot be opened.
bool StampOf(const CountedString& path, FileStamp& stamp);

struct RunRecord {
    std::string tagsPath; // the full path of the tags file it belongs to
    std::string configuration;
    FileStamp tags;
    TreeWalk walk; // taken before ctags started
};

// Where the record of the tags file at `tagsPath` (a full path) is kept:
// under the local application data, named by the path, case-folded.
// Empty when that folder is unknown.
std::wstring RecordPathFor(const CountedString& tagsPath);

// Reads the record for tagsPath; false when there is none, it cannot be
// read whole, or it belongs to another tags file.
bool LoadRecord(const CountedString& tagsPath, RunRecord& record);

// Writes it through a temporary file renamed onto the record's name.
bool SaveRecord(const RunRecord& record);

// Removes the record of tagsPath: what it says no longer holds.
void DropRecord(const CountedString& tagsPath);

} // namespace kestrel
