// Brings a sorted tags file up to date from ctags's output for the files that
// changed, giving the bytes a full run of the same ctags would give, or
// saying that it cannot.
#pragma once

#include <windows.h>

#include <vector>

#include "tagupdate/DiskGuard.h"
#include "text/CountedString.h"

namespace kestrel {

// How ctags sorted the tags file: --sort=yes (bytes) or --sort=foldcase.
enum class TagsSort { Plain, FoldCase };

// ctags's --output-format: u-ctags escapes a backslash in a file field as
// two, e-ctags writes the name as it is.
enum class TagsFormat { UCtags, ECtags };

// What a merge needs: the old tags file (as ctags left it, sorted), the file
// ctags wrote for the added and changed files (--sort=no, same options
// otherwise), the file names whose lines go (changed, deleted, renamed-away
// files, as the walk names them relative to the run folder, in the ANSI code
// page), the output to write, the sort, the format, and a disk guard to ask
// now and then.
struct MergeRequest {
    // Full paths, at any length.
    CountedString oldTagsPath;
    // Empty when ctags had no file to tag (only deletions): no lines come in.
    CountedString newTagsPath;
    // Names as the walk spells them: "sub\file.c", backslashes, no leading
    // ".\", unescaped; as ctags names a file it reached by -R from the run
    // folder, and as it names one read from a -L list spelt that way. Order
    // and duplicates do not matter.
    std::vector<CountedString> droppedFiles;
    // Opened for writing by the caller; the merge writes the whole new tags
    // file from the handle's current position, and neither truncates, flushes
    // nor closes it. On any result but Merged what was written is to be thrown
    // away.
    HANDLE output = INVALID_HANDLE_VALUE;
    TagsSort sort = TagsSort::Plain;
    TagsFormat format = TagsFormat::UCtags;
    // Asked every megabyte written or so; null guards nothing.
    DiskGuard* guard = nullptr;
};

enum class MergeResult {
    Merged,
    // The old file out of ctags's order, a line it cannot read, lines whose
    // order ctags leaves to chance (foldcase), pseudo-tags a merge cannot make
    // right: only a full run gives the right file.
    NeedsFullRun,
    // Reading or writing failed, or memory ran out: GetLastError tells why.
    Failed,
    // The disk guard said stop.
    NoRoom
};

// Streams the old file line by line (memory grows with its longest line, not
// its size; a line over 64 MB asks for a full run); the new lines, which are
// few, are held and sorted in memory. Throws nothing.
MergeResult MergeTags(const MergeRequest& request);

} // namespace kestrel
