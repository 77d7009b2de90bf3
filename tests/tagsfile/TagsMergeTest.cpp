// The merge against the real ctags: in each row a generated tree is tagged in
// full, changed, its changed files tagged alone (--sort=no -L list) and
// merged; a full run of the changed tree then says what the merge had to
// write, byte for byte, or the row says why only a full run can be right.
#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "plugin/UniqueAny.h"
#include "tagsfile/TagsMerge.h"
#include "tests/host/ProcessRun.h"
#include "tests/support/Cp932.h"
#include "tests/support/Hooks.h"
#include "tests/support/Sandbox.h"
#include "tests/support/SourceTree.h"

namespace kestrel::test {
namespace {

// As Kestrel starts ctags by default.
constexpr char kOptions[] = "-R --tag-relative=yes ";

void RunCtags(const SourceTree& tree, const std::string& arguments) {
    const ProcessResult run =
        RunAndCapture("\"" + ProgramFolder() + "\\ctags.exe\" " + arguments, tree.Root().c_str());
    ASSERT_TRUE(run.started) << "the Windows ctags beside the test (fetched by cmake/setup.sh)";
    ASSERT_EQ(0u, run.exitCode) << arguments;
}

struct Merged {
    MergeResult result;
    std::string old, merged, full;
};

// Tags the tree in full with `options`, changes it, and merges; the files
// ctags writes lie in the run folder, as Kestrel's do (a tag-relative
// ctags names files relative to its -f file). `spoil` may change the old
// tags file before the merge reads it.
Merged MergeChange(SourceTree& tree, const std::string& options, TagsSort sort, TagsFormat format,
                   const std::function<void(SourceTree&)>& change,
                   const std::function<void(std::string&)>& spoil = nullptr) {
    const std::string at = tree.Root() + "\\";
    RunCtags(tree, options + " -f tags");
    Merged out;
    out.old = FileContents(at + "tags");
    if (spoil) {
        std::string old = FileContents(at + "tags");
        spoil(old);
        MakeFile(at + "tags", old);
    }
    change(tree);
    MergeRequest request;
    request.oldTagsPath = (at + "tags").c_str();
    std::string list;
    for (const std::string& name : tree.ToTag()) {
        list += name + "\r\n";
    }
    if (!list.empty()) {
        MakeFile(tree.Root() + ".list", list);
        RunCtags(tree, options + " --sort=no -L ..\\" + tree.Root().substr(3) +
                           ".list -f tags.kestrel-part");
        request.newTagsPath = (at + "tags.kestrel-part").c_str();
    }
    for (const std::string& name : tree.Dropped()) {
        request.droppedFiles.emplace_back(name.c_str());
    }
    request.sort = sort;
    request.format = format;
    {
        const UniqueFile output(CreateFileA((at + "tags.kestrel-new").c_str(), GENERIC_WRITE, 0,
                                            nullptr, CREATE_ALWAYS, 0, nullptr));
        request.output = output.Get();
        out.result = MergeTags(request);
    }
    out.merged = FileContents(at + "tags.kestrel-new");
    RemoveFile(at + "tags.kestrel-new");
    RemoveFile(at + "tags.kestrel-part");
    RunCtags(tree, options + " -f tags");
    out.full = FileContents(at + "tags");
    return out;
}

// The first line where two files differ, for a failure's message.
std::string FirstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    const size_t line = a.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t from = line == std::string::npos ? 0 : line + 1;
    return "merged: " + a.substr(from, a.find('\n', at) - from) +
           "\nfull:   " + b.substr(from, b.find('\n', at) - from);
}

std::string TreeRoot() {
    static int serial = 0;
    return "K:\\m" + std::to_string(++serial);
}

struct Row {
    const char* name;
    const char* options;
    TagsSort sort;
    TagsFormat format;
    TreeShape shape;
    std::function<void(SourceTree&)> change;
    MergeResult expected;
    std::function<void(SourceTree&)> before = nullptr; // ahead of the first run
};

const std::string kDoubleByteName = Cp932("d1\\ソース.c"); // 83 5C: an escaped byte

TEST(TagsMerge, GivesTheBytesOfAFullRunOrAsksForOne) {
    const TagsSort plain = TagsSort::Plain, fold = TagsSort::FoldCase;
    const TagsFormat u = TagsFormat::UCtags, e = TagsFormat::ECtags;
    const TreeShape tree, pureC{200, 20, 0, 7}, large{1000, 60, 5, 3};
    const auto mixed = [](SourceTree& t) {
        t.Modify(3);
        t.Add("d2\\added.c");
        t.Add("d4\\added.h");
        t.Remove(*t.Files().begin());
        t.Rename(*t.Files().rbegin(), "d5\\renamed.c");
        t.Add(kDoubleByteName);
    };
    const Row rows[] = {
        {"one modified", "", plain, u, tree, [](SourceTree& t) { t.Modify(1); },
         MergeResult::Merged},
        {"ten modified", "", plain, u, tree, [](SourceTree& t) { t.Modify(10); },
         MergeResult::Merged},
        {"a hundred modified", "", plain, u, large, [](SourceTree& t) { t.Modify(100); },
         MergeResult::Merged},
        {"added, deleted, renamed", "", plain, u, tree, mixed, MergeResult::Merged},
        {"a new folder, a folder renamed", "", plain, u, tree,
         [](SourceTree& t) {
             t.Add("new\\deeper\\one.c");
             t.Add("new\\two.c");
             t.Rename("d3", "d3moved");
         },
         MergeResult::Merged},
        {"deletions alone", "", plain, u, tree,
         [](SourceTree& t) {
             t.Remove(*t.Files().begin());
             t.Remove(*t.Files().rbegin());
         },
         MergeResult::Merged},
        {"copies: every tag sorts beside another, or is the same", "", plain, u, tree,
         [](SourceTree& t) {
             const std::string source = *t.Files().begin();
             t.Write("d0\\copy.c", FileContents(t.Root() + "\\" + source));
             t.Write("d0\\copy2.c", FileContents(t.Root() + "\\" + source));
             t.Write("d0\\twice.c", "int twice;\nint twice;\n"); // one line in a full run
         },
         MergeResult::Merged},
        {"a double-byte name ending in 5C modified", "", plain, u, tree,
         [](SourceTree& t) { t.Add(kDoubleByteName); }, MergeResult::Merged,
         [](SourceTree& t) { t.Write(kDoubleByteName, "int before;\n"); }},
        {"e-ctags", "--output-format=e-ctags", plain, e, tree, mixed, MergeResult::Merged},
        {"foldcase", "--sort=foldcase", fold, u, tree, mixed, MergeResult::Merged},
        {"foldcase, e-ctags", "--sort=foldcase --output-format=e-ctags", fold, e, tree, mixed,
         MergeResult::Merged},
        // Lines equal but for case: ctags's sort leaves their order to chance.
        {"foldcase with lines equal but for case", "--sort=foldcase", fold, u, tree,
         [](SourceTree& t) { t.Write("d0\\cases.c", "int Count;\nint count;\n"); },
         MergeResult::NeedsFullRun},
        // Kind descriptions for every language read: C (.c) and C++ (.h).
        {"kind descriptions, both languages changed", "--pseudo-tags=+TAG_KIND_DESCRIPTION", plain,
         u, tree,
         [](SourceTree& t) {
             t.Modify(10);
             t.Remove(*t.Files().begin());
         },
         MergeResult::Merged},
        {"kind descriptions, one language of two changed", "--pseudo-tags=+TAG_KIND_DESCRIPTION",
         plain, u, tree, [](SourceTree& t) { t.Write("d0\\changed.c", "int changed;\n"); },
         MergeResult::NeedsFullRun},
        {"kind descriptions, a deletion alone", "--pseudo-tags=+TAG_KIND_DESCRIPTION", plain, u,
         pureC, [](SourceTree& t) { t.Remove(*t.Files().begin()); }, MergeResult::NeedsFullRun},
        {"kind descriptions, a deletion and a change", "--pseudo-tags=+TAG_KIND_DESCRIPTION", plain,
         u, pureC,
         [](SourceTree& t) {
             t.Remove(*t.Files().begin());
             t.Modify(2);
         },
         MergeResult::Merged},
        {"kind descriptions, a new language", "--pseudo-tags=+TAG_KIND_DESCRIPTION", plain, u,
         pureC, [](SourceTree& t) { t.Write("tool.py", "def tool():\n    pass\n"); },
         MergeResult::NeedsFullRun},
        // The request says otherwise than the old file's pseudo-tags; here both
        // sorts give the same order.
        {"a foldcase file merged as plain, in either order", "--sort=foldcase", plain, u,
         TreeShape{0, 0, 0, 1}, [](SourceTree& t) { t.Write("b.c", "int b;\n"); },
         MergeResult::NeedsFullRun, [](SourceTree& t) { t.Write("a.c", "int a;\n"); }},
        // The request says otherwise than the old file's pseudo-tags.
        {"a foldcase file merged as plain", "--sort=foldcase", plain, u, tree,
         [](SourceTree& t) { t.Modify(1); }, MergeResult::NeedsFullRun},
        {"an e-ctags request on a u-ctags file", "", plain, e, tree,
         [](SourceTree& t) { t.Modify(1); }, MergeResult::NeedsFullRun},
        {"a u-ctags request on an e-ctags file", "--output-format=e-ctags", plain, u, tree,
         [](SourceTree& t) { t.Modify(1); }, MergeResult::NeedsFullRun},
        {"a file that does not say how it was written", "--pseudo-tags=-TAG_OUTPUT_MODE", plain, u,
         tree, [](SourceTree& t) { t.Modify(1); }, MergeResult::NeedsFullRun},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SourceTree sources(TreeRoot(), row.shape);
        if (row.before) {
            row.before(sources);
            sources.Snapshot();
        }
        const Merged out = MergeChange(sources, std::string(kOptions) + row.options, row.sort,
                                       row.format, row.change);
        EXPECT_EQ(row.expected, out.result);
        EXPECT_NE(out.old, out.full) << "the change changes the tags";
        if (row.expected == MergeResult::Merged) {
            EXPECT_TRUE(out.merged == out.full) << FirstDifference(out.merged, out.full);
        }
    }
}

// An old file that ctags did not write as it is, or not with these options;
// one in line feeds alone is read as such.
TEST(TagsMerge, AsksForAFullRunOnAnOldFileCtagsDidNotWrite) {
    struct Spoiler {
        const char* name;
        const char* options;
        std::function<void(std::string&)> spoil;
        bool deletionsOnly = false; // ctags does not run
        MergeResult expected = MergeResult::NeedsFullRun;
    };
    const auto lineFeedsAlone = [](std::string& tags) {
        std::string fed;
        for (const char c : tags) {
            if (c != '\r') {
                fed += c;
            }
        }
        tags = fed;
    };
    const Spoiler spoilers[] = {
        {"two lines swapped", "",
         [](std::string& tags) {
             const size_t second = tags.find('\n', tags.size() / 2) + 1;
             const size_t third = tags.find('\n', second) + 1;
             const size_t fourth = tags.find('\n', third) + 1;
             tags = tags.substr(0, second) + tags.substr(third, fourth - third) +
                    tags.substr(second, third - second) + tags.substr(fourth);
         }},
        // In order: before the first line of a name, that name and \x01.
        {"a line without a file", "",
         [](std::string& tags) {
             size_t line = tags.find('\n', tags.size() / 2) + 1;
             const std::string name = tags.substr(line, tags.find('\t', line) - line);
             for (size_t before; line > 0; line = before) {
                 before = tags.rfind('\n', line - 2) + 1;
                 if (tags.compare(before, name.size() + 1, name + "\t") != 0) {
                     break;
                 }
             }
             tags.insert(line, name + "\x01\r\n");
         }},
        {"a last line without its end", "",
         [](std::string& tags) { tags.resize(tags.size() - 2); }},
        {"its one line without its end", "--output-format=e-ctags",
         [](std::string& tags) { tags.resize(tags.find('\r')); }, true},
        {"line feeds alone, and ctags's new lines with CR LF", "--output-format=e-ctags",
         lineFeedsAlone},
        // As the full run would be with line feeds alone.
        {"line feeds alone, deletions only", "", lineFeedsAlone, true, MergeResult::Merged},
        {"a pseudo-tag among the tags", "",
         [](std::string& tags) {
             const size_t line = tags.find('\n', tags.size() / 2) + 1;
             tags.insert(line, "!_TAG_LATE\t1\t//\r\n");
         }},
        {"a line longer than the merge reads", "",
         [](std::string& tags) { tags += std::string(64 << 20, 'z') + "\tf.c\t/^z$/\r\n"; }},
        {"another ctags", "",
         [](std::string& tags) {
             const std::string version = "!_TAG_PROGRAM_VERSION\t";
             tags.insert(tags.find(version) + version.size(), "5.9");
         }},
    };
    for (const Spoiler& row : spoilers) {
        SCOPED_TRACE(row.name);
        SourceTree sources(TreeRoot(), TreeShape{});
        const bool eCtags = std::string(row.options).find("e-ctags") != std::string::npos;
        const bool deletionsOnly = row.deletionsOnly;
        Merged out = MergeChange(
            sources, kOptions + std::string(row.options), TagsSort::Plain,
            eCtags ? TagsFormat::ECtags : TagsFormat::UCtags,
            [deletionsOnly](SourceTree& t) {
                if (deletionsOnly) {
                    t.Remove(*t.Files().rbegin());
                } else {
                    t.Modify(2);
                }
            },
            row.spoil);
        EXPECT_EQ(row.expected, out.result);
        if (row.expected == MergeResult::Merged) {
            row.spoil(out.full);
            EXPECT_TRUE(out.merged == out.full) << FirstDifference(out.merged, out.full);
        }
    }
}

TEST(TagsMerge, StopsWhenTheDiskGuardSaysSoAndFailsOnAFileItCannotReadOrWrite) {
    ASSERT_TRUE(InstallHooks());
    SourceTree sources(TreeRoot(), TreeShape{});
    RunCtags(sources, std::string(kOptions) + "-f tags");
    const std::string at = sources.Root() + "\\";
    MergeRequest request;
    request.oldTagsPath = (at + "tags").c_str();
    request.droppedFiles.emplace_back(sources.Files().begin()->c_str());
    const UniqueFile output(
        CreateFileA((at + "out").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    request.output = output.Get();
    FakeFreeSpace(1ull << 40, 1ull << 20);
    DiskGuard guard(at.c_str());
    guard.Start();
    request.guard = &guard;
    EXPECT_EQ(MergeResult::NoRoom, MergeTags(request));
    FakeFreeSpace(0);

    request.guard = nullptr;
    const UniqueFile readOnly(
        CreateFileA((at + "read").c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    request.output = readOnly.Get();
    EXPECT_EQ(MergeResult::Failed, MergeTags(request));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());

    request.output = output.Get();
    request.oldTagsPath = (at + "gone").c_str();
    EXPECT_EQ(MergeResult::Failed, MergeTags(request));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

} // namespace
} // namespace kestrel::test
