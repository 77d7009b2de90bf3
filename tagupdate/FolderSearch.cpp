#include "tagupdate/FolderSearch.h"

#include <windows.h>

#include "tagupdate/Paths.h"

namespace kestrel {

CountedString FindTagsFolder(const CountedString& path, const CountedString& name) {
    // A name relative to a drive or its root (\tags, D:tags) is one file
    // wherever ctags runs: joined to a folder it would match another one.
    const Anchor anchor = AnchorOf(name.Chars());
    if (anchor == Anchor::Root || anchor == Anchor::Drive) {
        return CountedString();
    }
    // Above a share's root lie \\server and \\, which name no folder: a
    // lookup there asks the network for a server, and an empty folder would
    // mean the current drive's root.
    const int top = ShareRootLength(path.Chars());
    CountedString folder = path;
    for (;;) {
        // The multi-byte walk never takes the second byte of a double-byte
        // character (0x5C in many code page 932 names) for a separator.
        const int separator = folder.FindLast('\\');
        if (separator < 0 || separator < top) {
            return CountedString();
        }
        folder = folder.Left(separator);
        const CountedString candidate = PathIn(folder, name);
        if (GetFileAttributesA(candidate.Chars()) != INVALID_FILE_ATTRIBUTES) {
            return folder;
        }
        // A candidate too long to check may hold the tags file: an ancestor's
        // would have ctags rebuild the wrong tree, so nothing is found.
        if (GetLastError() == ERROR_FILENAME_EXCED_RANGE) {
            return CountedString();
        }
    }
}

} // namespace kestrel
