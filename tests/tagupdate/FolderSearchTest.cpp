// The upward search for the folder that holds the tags file.
#include "tagupdate/FolderSearch.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Cp932.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {
namespace {

struct SearchCase {
    const char* name;
    const char* document;             // UTF-8, converted to the code page
    std::vector<const char*> objects; // files named tags; a trailing \ makes a folder
    const char* found;
    std::vector<const char*> lookups;
    DWORD firstLookupError = 0; // the first candidate cannot be checked for this reason
    const char* tagsName = "tags";
};

SearchCase Search(const char* name, const char* document, std::vector<const char*> objects,
                  const char* found, std::vector<const char*> lookups, DWORD error = 0,
                  const char* tagsName = "tags") {
    return {name, document, std::move(objects), found, std::move(lookups), error, tagsName};
}

class FolderSearchTest : public testing::TestWithParam<SearchCase> {};

TEST_P(FolderSearchTest, FindsNearestAncestorHoldingTags) {
    ASSERT_TRUE(InstallHooks());
    const SearchCase& c = GetParam();
    for (const char* object : c.objects) {
        const std::string path = Cp932(object);
        if (path.back() == '\\') {
            MakeFolders(path.substr(0, path.size() - 1));
        } else {
            MakeFile(path, "!_TAG_FILE_FORMAT\t2\n");
        }
    }
    FailFileLookup(c.firstLookupError ? Cp932(c.lookups.front()) : "", c.firstLookupError);
    RecordFileLookups(true);
    const CountedString found =
        FindTagsFolder(CountedString(Cp932(c.document).c_str()), CountedString(c.tagsName));
    FailFileLookup("", 0);
    std::vector<std::string> lookups;
    for (const std::string& lookup : FileLookups()) {
        lookups.push_back(Utf8(lookup));
    }
    RecordFileLookups(false);

    EXPECT_EQ(c.found, Utf8(found.Chars()));
    EXPECT_EQ(std::vector<std::string>(c.lookups.begin(), c.lookups.end()), lookups);
    for (const char* object : c.objects) { // K:\tags would be found by every later case
        RemoveFile(Cp932(object));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderSearchTest,
    testing::Values(
        Search("Parent", "K:\\a\\work\\src\\main.c", {"K:\\a\\work\\tags"}, "K:\\a\\work",
               {"K:\\a\\work\\src\\tags", "K:\\a\\work\\tags"}),
        Search("OwnFolderFirst", "K:\\b\\work\\src\\main.c",
               {"K:\\b\\work\\tags", "K:\\b\\work\\src\\tags"}, "K:\\b\\work\\src",
               {"K:\\b\\work\\src\\tags"}),
        Search("FolderNamedTags", "K:\\c\\work\\src\\main.c", {"K:\\c\\work\\tags\\"},
               "K:\\c\\work", {"K:\\c\\work\\src\\tags", "K:\\c\\work\\tags"}),
        // 表 is 0x95 0x5C in code page 932: its second byte is no separator.
        Search("DoubleByteFolderHoldsTags", "K:\\d\\表\\src\\main.c", {"K:\\d\\表\\tags"},
               "K:\\d\\表", {"K:\\d\\表\\src\\tags", "K:\\d\\表\\tags"}),
        Search("SearchPassesDoubleByteFolder", "K:\\e\\表\\main.c", {"K:\\e\\tags"}, "K:\\e",
               {"K:\\e\\表\\tags", "K:\\e\\tags"}),
        Search("NoTagsAnywhere", "K:\\f\\work\\main.c", {}, "",
               {"K:\\f\\work\\tags", "K:\\f\\tags", "K:\\tags"}),
        Search("DriveRoot", "K:\\g\\main.c", {"K:\\tags"}, "K:", {"K:\\g\\tags", "K:\\tags"}),
        // Above a share's root lie a server name and nothing: the search ends.
        Search("NetworkShareRoot", "\\\\srv\\share\\d\\main.c", {}, "",
               {"\\\\srv\\share\\d\\tags", "\\\\srv\\share\\tags"}),
        Search("LongFormShareRoot", "\\\\?\\UNC\\srv\\share\\d\\main.c", {}, "",
               {"\\\\?\\UNC\\srv\\share\\d\\tags", "\\\\?\\UNC\\srv\\share\\tags"}),
        Search("EmptyPath", "", {}, "", {}), Search("NoBackslash", "main.c", {}, "", {}),
        // A candidate too long to check ends the search: the tags file may be
        // right there, and an ancestor's would send ctags to the wrong tree.
        Search("TooLongEndsTheSearch", "K:\\h\\work\\src\\main.c", {"K:\\h\\work\\tags"}, "",
               {"K:\\h\\work\\src\\tags"}, ERROR_FILENAME_EXCED_RANGE),
        Search("PathNotFoundWalksOn", "K:\\i\\work\\src\\main.c", {"K:\\i\\work\\tags"},
               "K:\\i\\work", {"K:\\i\\work\\src\\tags", "K:\\i\\work\\tags"},
               ERROR_PATH_NOT_FOUND),
        Search("AccessDeniedWalksOn", "K:\\j\\work\\src\\main.c", {"K:\\j\\work\\tags"},
               "K:\\j\\work", {"K:\\j\\work\\src\\tags", "K:\\j\\work\\tags"}, ERROR_ACCESS_DENIED),
        // A name relative to a drive or its root is one file, not one in
        // each folder: nothing is searched.
        Search("RootRelativeName", "K:\\l\\work\\main.c", {"K:\\l\\work\\tags"}, "", {}, 0,
               "\\tags"),
        Search("DriveRelativeName", "K:\\m\\work\\main.c", {"K:\\m\\work\\tags"}, "", {}, 0,
               "K:tags")),
    [](const testing::TestParamInfo<SearchCase>& info) { return info.param.name; });

} // namespace
} // namespace kestrel::test
