// The files of a run folder's tree that a recursive ctags run reads, with
// their sizes and write times: what changed since the last run is learnt by
// comparing two walks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tagupdate/CtagsExcludes.h"
#include "text/CountedString.h"

namespace kestrel {

struct WalkedFile {
    std::string name; // in the run folder, as ctags names it: sub\file.c
    ULONGLONG size = 0;
    ULONGLONG writeTime = 0;
};

struct TreeWalk {
    std::vector<WalkedFile> files; // ordered by name, byte by byte
    ULONGLONG startTime = 0;       // the system time when the walk began
    // Every folder was read and every name is one ctags reads alike: no
    // link or junction, no name outside the ANSI code page or with a
    // double-byte character ending in a backslash byte. An incomplete walk
    // cannot tell what a run would read.
    bool complete = true;
};

// Walks runFolder, at any path length, leaving out what `excludes` names and
// the files named in `skipped` (relative names: the tags file and its own
// files). False when the run folder cannot be read at all.
bool WalkTree(const CountedString& runFolder, const CtagsExcludes& excludes,
              const std::vector<std::string>& skipped, TreeWalk& walk);

} // namespace kestrel
