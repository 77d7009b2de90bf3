// Stored values that the store did not write: wrong types, odd sizes, huge
// texts, and texts that change while they are read.
#include "settings/SettingsStore.h"

#include "tests/support/ImportRedirect.h"
#include "tests/text/AllocationTracker.h"
#include "tests/support/StoredSettings.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

constexpr DWORD kMebibyte = 1024 * 1024;

// Compares without printing a megabyte on failure.
testing::AssertionResult SameText(const std::string& expected, const CountedString& actual) {
    const std::string got(actual.Chars(), static_cast<size_t>(actual.Length()));
    if (got == expected && lstrlenA(actual.Chars()) == actual.Length()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "expected " << expected.size() << " bytes \"" << expected.substr(0, 40) << "\", got "
           << actual.Length() << " bytes \"" << got.substr(0, 40) << "\"";
}

// ExecSync, ShowConsole and AskFolder as '1' for set and '0' for clear; the
// defaults are "101".
std::string FlagsOf(const Settings& settings) {
    return {settings.ExecSync ? '1' : '0', settings.ShowConsole ? '1' : '0',
            settings.AskFolder ? '1' : '0'};
}

// Blocks that a load leaves behind once its record is gone.
long BlocksLeftByLoad() {
    const long before = LiveBlocks();
    {
        Settings settings;
        LoadSettings(settings);
    }
    return LiveBlocks() - before;
}

class BadValues : public testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings()); }
};

TEST(LiveBlocks, CountsStringBlocks) {
    const long before = LiveBlocks();
    {
        CountedString text("counted");
        EXPECT_EQ(before + 1, LiveBlocks());
    }
    EXPECT_EQ(before, LiveBlocks());
}

TEST_F(BadValues, EveryTypeAndSize) {
    const DWORD types[] = {REG_NONE,   REG_SZ,       REG_EXPAND_SZ,
                           REG_BINARY, REG_DWORD,    REG_DWORD_BIG_ENDIAN,
                           REG_LINK,   REG_MULTI_SZ, REG_QWORD};
    std::string pattern(kMebibyte, '\0'); // letters only: no NUL, no zero number
    for (DWORD i = 0; i < kMebibyte; ++i) {
        pattern[i] = static_cast<char>('a' + i % 26);
    }
    for (const DWORD type : types) {
        for (DWORD size : {DWORD{0}, DWORD{1}, DWORD{3}, DWORD{5}, kMebibyte}) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << size << " bytes");
            ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
            for (const char* name : kValueNames) {
                StoreValue(name, type, pattern.data(), size);
            }
            EXPECT_EQ(0, BlocksLeftByLoad());

            Settings settings;
            LoadSettings(settings);
            // Any type gives its bytes as text; no bytes keep the default.
            const std::string text = pattern.substr(0, size);
            EXPECT_TRUE(SameText(size ? text : "tags", settings.TagsFileName));
            EXPECT_TRUE(SameText(size ? text : "-R -V --tag-relative=yes ", settings.ExecOption));
            EXPECT_TRUE(SameText(size ? text : "ctags.exe", settings.ExecPath));
            // Flags come only from a REG_DWORD of at most four bytes; the
            // letters make every such number but the empty one nonzero.
            const bool taken = type == REG_DWORD && size <= 4;
            EXPECT_EQ(taken ? (size > 0 ? "111" : "000") : "101", FlagsOf(settings));
        }
    }
}

// Leaves bytes other than zero in the stack below the caller, where the
// next call's locals will lie. Called through a pointer so that it is not
// merged into the caller's frame.
void FillStackBelow() {
    volatile unsigned char junk[16384];
    for (size_t i = 0; i < sizeof junk; ++i) {
        junk[i] = 0xA5;
    }
}
void (*volatile g_fillStackBelow)() = FillStackBelow;

TEST_F(BadValues, ShortDwordIsTheNumberOfItsBytes) {
    const struct {
        const char* bytes;
        DWORD size;
        const char* flags;
    } cases[] = {
        // Five bytes are too long for a number: the defaults.
        {"", 0, "000"},     {"\0", 1, "000"},       {"\0\0\0", 3, "000"},
        {"\x01", 1, "111"}, {"\0\0\x01", 3, "111"}, {"\0\0\0\0\x01", 5, "101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        for (const char* name : {"ExecSync", "ShowConsole", "AskFolder"}) {
            StoreValue(name, REG_DWORD, c.bytes, c.size);
        }
        Settings settings;
        g_fillStackBelow();
        LoadSettings(settings);
        EXPECT_EQ(c.flags, FlagsOf(settings));
    }

    // Each flag is queried with room for four bytes, whatever the one before
    // it read.
    ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
    StoreValue("ExecSync", REG_DWORD, "\0", 1);
    StoreValue("ShowConsole", REG_DWORD, "\0\0\x01", 3);
    StoreValue("AskFolder", REG_DWORD, "\0\0\0\0", 4);
    Settings settings;
    LoadSettings(settings);
    EXPECT_EQ("010", FlagsOf(settings));
}

// A stand-in for RegQueryValueExA that lets a test act before each query of
// one value: change the stored value, or answer the query itself.
struct QueryStep {
    bool withData;   // a query for the data, not only the size
    int dataQueries; // data queries of the value before this one
    DWORD* size;
    LONG* answer; // set, and return true, to answer without the registry
};
using QueryScript = std::function<bool(const QueryStep&)>;

decltype(&RegQueryValueExA) g_realQuery;
const QueryScript* g_script;
const char* g_scriptedValue;
int g_queries;
int g_dataQueries;

LONG WINAPI ScriptedQuery(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                          LPDWORD size) {
    if (g_script != nullptr && name != nullptr && lstrcmpA(name, g_scriptedValue) == 0) {
        LONG answer = ERROR_SUCCESS;
        const QueryStep step{data != nullptr, g_dataQueries, size, &answer};
        ++g_queries;
        if (data != nullptr) {
            ++g_dataQueries;
        }
        if ((*g_script)(step)) {
            return answer;
        }
    }
    return g_realQuery(key, name, reserved, type, data, size);
}

struct ScriptedValue : ImportRedirect {
    ScriptedValue(const char* name, const QueryScript& script)
        : ImportRedirect("advapi32.dll", "RegQueryValueExA",
                         reinterpret_cast<void*>(&ScriptedQuery)) {
        g_realQuery = reinterpret_cast<decltype(&RegQueryValueExA)>(Original());
        g_scriptedValue = name;
        g_queries = 0;
        g_dataQueries = 0;
        g_script = &script;
    }
    ~ScriptedValue() { g_script = nullptr; }
};

// Before the data query numbered n, stores changes[n] as ExecPath, or
// deletes the value where that is null.
QueryScript ChangeBeforeDataQueries(std::vector<const char*> changes) {
    return [changes](const QueryStep& step) {
        const size_t n = static_cast<size_t>(step.dataQueries);
        if (step.withData && n < changes.size() && changes[n] != nullptr) {
            StoreText("ExecPath", changes[n]);
        } else if (step.withData && n < changes.size()) {
            DeleteStoredValue("ExecPath");
        }
        return false;
    };
}

QueryScript AnswerSize(bool withData, LONG answer, DWORD size) {
    return [=](const QueryStep& step) {
        if (step.withData != withData) {
            return false;
        }
        *step.size = size;
        *step.answer = answer;
        return true;
    };
}

const char kLongPath[] = "C:\\Program Files (x86)\\Universal Ctags\\bin\\ctags.exe";

TEST_F(BadValues, TextChangingWhileReadIsReadWholeOrKeepsDefault) {
    const struct {
        const char* what;
        QueryScript script;
        const char* expected;
    } cases[] = {
        {"unchanged", ChangeBeforeDataQueries({}), "my-ctags.exe"},
        {"grows once", ChangeBeforeDataQueries({kLongPath}), kLongPath},
        {"grows by one", ChangeBeforeDataQueries({"my-ctags.exeX"}), "my-ctags.exeX"},
        {"shrinks", ChangeBeforeDataQueries({"c.exe"}), "c.exe"},
        {"grows twice, then holds", ChangeBeforeDataQueries({"C:\\tools\\ctags.exe", kLongPath}),
         kLongPath},
        {"never holds still",
         [](const QueryStep& step) {
             if (step.withData) {
                 StoreText("ExecPath", std::string(40 + 40 * step.dataQueries, 'x'));
             }
             return false;
         },
         "ctags.exe"},
        {"vanishes",
         [](const QueryStep& step) {
             if (step.withData) {
                 DeleteStoredValue("ExecPath");
             }
             return false;
         },
         "ctags.exe"},
        {"grows, then vanishes", ChangeBeforeDataQueries({kLongPath, nullptr}), "ctags.exe"},
        // Sizes no setting has, or that do not fit a string at all.
        {"size 16 MiB + 1", AnswerSize(false, ERROR_SUCCESS, 16 * kMebibyte + 1), "ctags.exe"},
        {"size 2 GiB - 1", AnswerSize(false, ERROR_SUCCESS, 0x7FFFFFFF), "ctags.exe"},
        {"size 2 GiB", AnswerSize(false, ERROR_SUCCESS, 0x80000000), "ctags.exe"},
        {"size 4 GiB - 1", AnswerSize(false, ERROR_SUCCESS, 0xFFFFFFFF), "ctags.exe"},
        {"grown to 4 GiB - 1", AnswerSize(true, ERROR_MORE_DATA, 0xFFFFFFFF), "ctags.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        StoreText("TagsFileName", "my-tags");
        StoreText("ExecPath", "my-ctags.exe");
        long blocksLeft = 0;
        {
            ScriptedValue scripted("ExecPath", c.script);
            ASSERT_NE(nullptr, scripted.Original());
            blocksLeft = BlocksLeftByLoad();
            StoreText("ExecPath", "my-ctags.exe"); // as it was before this load
            g_queries = 0;
            g_dataQueries = 0;
            const Values loaded = LoadedValues();
            EXPECT_EQ(c.expected, loaded.execPath);
            EXPECT_EQ("my-tags", loaded.tagsFileName); // the others still read
        }
        EXPECT_EQ(0, blocksLeft);
        EXPECT_LE(g_queries, 8) << "gives up after a few tries";
    }
}

} // namespace
} // namespace kestrel::test
