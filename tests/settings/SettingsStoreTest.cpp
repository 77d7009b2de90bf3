#include "settings/SettingsStore.h"

#include "plugin/UniqueAny.h"
#include "settings/PropertiesDialog.h"
#include "tests/support/ImportRedirect.h"
#include "tests/support/StoredSettings.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kestrel::test {
namespace {

// Japanese texts in code page 932; 表 and ソ end in the byte 0x5C, a
// backslash when read byte by byte.
const char kJapaneseTags[] = "\x93\xfa\x96\x7b\x8c\xea\x83\x5e\x83\x4f"; // 日本語タグ
const char kJapanesePath[] =
    "C:\\\x83\x63\x81\x5b\x83\x8b\\\x95\x5c\\ctags.exe"; // C:\ツール\表\ctags.exe
const char kJapaneseOption[] = "--langmap=\x83\x5c\x81\x5b\x83\x58:.c -R "; // ソース

// Every character stored in value `name`, a terminator included.
std::wstring ReadStoredWide(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    const UniqueRegKey owner(key);
    wchar_t buffer[260] = {};
    DWORD size = sizeof buffer;
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return L"<no value>";
    }
    return std::wstring(buffer, size / sizeof(wchar_t));
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings()); }
};

TEST_F(SettingsStore, LoadWithoutKeyKeepsDefaults) {
    EXPECT_EQ(Values(), LoadedValues());
}

TEST_F(SettingsStore, SaveWritesDefaultsAsTheStoredLayout) {
    Settings settings;
    SaveSettings(settings);
    ExpectStoredValues(Values());
    EXPECT_EQ(6, StoredValueCount()); // nothing else under the key
}

TEST_F(SettingsStore, EmptyTextsKeepDefaults) {
    // Stored with its NUL, as a save of an empty text writes it, and with no
    // data at all.
    for (DWORD size : {1u, 0u}) {
        SCOPED_TRACE(size);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        for (const char* name : {"TagsFileName", "ExecOption", "ExecPath"}) {
            StoreValue(name, REG_SZ, "", size);
        }
        EXPECT_EQ(Values(), LoadedValues());
    }
}

TEST_F(SettingsStore, EmptyTextSavedAsOneNulAndLoadedAsDefault) {
    Settings settings;
    settings.ExecOption = "";
    SaveSettings(settings);
    ExpectStoredText("ExecOption", "");
    EXPECT_EQ(Values().execOption, LoadedValues().execOption);
}

TEST_F(SettingsStore, FlagsAreTakenFromDwordsOnly) {
    const DWORD zero = 0, one = 1, seven = 7;
    const struct {
        const char* name;
        bool Values::*field;
        DWORD type;
        const void* data;
        DWORD size;
        bool expected;
    } cases[] = {
        {"ExecSync", &Values::execSync, REG_DWORD, &zero, 4, false},
        {"ExecSync", &Values::execSync, REG_DWORD, &seven, 4, true},
        {"ExecSync", &Values::execSync, REG_SZ, "0", 2, true}, // the default
        {"ShowConsole", &Values::showConsole, REG_DWORD, &one, 4, true},
        {"ShowConsole", &Values::showConsole, REG_SZ, "1", 2, false}, // the default
        {"ShowConsole", &Values::showConsole, REG_BINARY, &one, 4, false},
        {"AskFolder", &Values::askFolder, REG_DWORD, &zero, 4, false},
        {"AskFolder", &Values::askFolder, REG_DWORD_BIG_ENDIAN, &zero, 4, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " type " << c.type);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        StoreValue(c.name, c.type, c.data, c.size);
        EXPECT_EQ(c.expected, LoadedValues().*c.field);
    }
}

TEST_F(SettingsStore, ExpandableTextIsTakenUnexpanded) {
    const char text[] = "%TEMP%\\x";
    StoreValue("TagsFileName", REG_EXPAND_SZ, text, sizeof text);
    EXPECT_EQ(text, LoadedValues().tagsFileName);
}

TEST_F(SettingsStore, TextStoredWithoutNulIsReadWhole) {
    // The registry adds the NUL that a caller seems to have forgotten to
    // count, the one right after the data; a byte other than NUL there keeps
    // it from doing so.
    StoreValue("ExecPath", REG_SZ, "tool.exe#", 8);
    ASSERT_EQ(L"tool.exe", ReadStoredWide(L"ExecPath")); // no terminator
    EXPECT_EQ("tool.exe", LoadedValues().execPath);
}

TEST_F(SettingsStore, TextEndsAtANulInsideItsData) {
    StoreValue("ExecPath", REG_SZ, "tool.exe\0old.exe", 17);
    EXPECT_EQ("tool.exe", LoadedValues().execPath); // the length as well
}

TEST_F(SettingsStore, PropertiesWhoseDialogCannotBeMadeSaveNothing) {
    // This program holds no dialog 106.
    ASSERT_EQ(-1, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(106), nullptr,
                                  PropertiesDialogProc, 0));
    ShowProperties(nullptr);
    EXPECT_EQ(-1, StoredValueCount());
}

TEST_F(SettingsStore, SaveThenLoadReproducesEverything) {
    const Values records[] = {
        {},
        {kJapaneseTags, kJapaneseOption, kJapanesePath, false, true, false},
        {"T", " ", "C:\\Program Files\\ctags\\ctags.exe", true, true, true},
        {"my tags", "-R", "x", false, false, false},
    };
    for (const Values& record : records) {
        SCOPED_TRACE(record.execPath);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        {
            Settings settings;
            SetValues(settings, record);
            SaveSettings(settings);
        }
        EXPECT_EQ(record, LoadedValues());
    }
}

TEST_F(SettingsStore, JapaneseTextsAreStoredAsTheirCharacters) {
    Settings settings;
    settings.TagsFileName = kJapaneseTags;
    settings.ExecPath = kJapanesePath;
    SaveSettings(settings);
    // Each with its terminator.
    EXPECT_EQ(std::wstring(L"日本語タグ", 6), ReadStoredWide(L"TagsFileName"));
    EXPECT_EQ(std::wstring(L"C:\\ツール\\表\\ctags.exe", 19), ReadStoredWide(L"ExecPath"));
}

// Stand-ins for the registry functions; they pass every call on. Each call
// is recorded as its name or path and two of its numbers.
std::string Call(LPCSTR name, DWORD first, DWORD second) {
    return std::string(name ? name : "(null)") + " " + std::to_string(first) + " 0x" +
           (testing::Message() << std::hex << second).GetString();
}

decltype(&RegSetValueExA) g_realSetValue;
std::vector<std::string> g_setValueCalls; // name, type, size
const char* g_failingValue;               // its write fails without reaching the registry

LONG WINAPI RecordingSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size) {
    g_setValueCalls.push_back(Call(name, type, size));
    if (g_failingValue != nullptr && name != nullptr && lstrcmpA(name, g_failingValue) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return g_realSetValue(key, name, reserved, type, data, size);
}

decltype(&RegOpenKeyExA) g_realOpenKey;
decltype(&RegCreateKeyExA) g_realCreateKey;
std::vector<std::string> g_keyRequests; // path, options, access
bool g_refuseOpen;

LONG WINAPI RecordingOpenKey(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    g_keyRequests.push_back(Call(path, options, access));
    if (g_refuseOpen) {
        return ERROR_ACCESS_DENIED;
    }
    return g_realOpenKey(root, path, options, access, key);
}

LONG WINAPI RecordingCreateKey(HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass,
                               DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                               PHKEY key, LPDWORD disposition) {
    g_keyRequests.push_back(Call(path, options, access));
    return g_realCreateKey(root, path, reserved, keyClass, options, access, security, key,
                           disposition);
}

// Points the program's import of `function` at `standIn` and `real` at the
// original for the guard's lifetime.
template <class Function> struct StandIn : ImportRedirect {
    StandIn(const char* function, Function standIn, Function& real)
        : ImportRedirect("advapi32.dll", function, reinterpret_cast<void*>(standIn)) {
        real = reinterpret_cast<Function>(Original());
    }
};

class RecordedWrites : public StandIn<decltype(&RegSetValueExA)> {
public:
    explicit RecordedWrites(const char* failing = nullptr)
        : StandIn("RegSetValueExA", &RecordingSetValue, g_realSetValue) {
        g_setValueCalls.clear();
        g_failingValue = failing;
    }
    ~RecordedWrites() { g_failingValue = nullptr; }
};

TEST_F(SettingsStore, SaveWritesInOrderAndGoesOnPastAFailedWrite) {
    const Values old{"old-tags", "old-option", "old.exe", false, true, false};
    const Values fresh{"new-tags", "new-option", "new.exe"};
    // Loaded afterwards, for each failing write in turn: only that one is old.
    const Values loaded[] = {
        {"old-tags", "new-option", "new.exe"},
        {"new-tags", "old-option", "new.exe"},
        {"new-tags", "new-option", "old.exe"},
        {"new-tags", "new-option", "new.exe", false},
        {"new-tags", "new-option", "new.exe", true, true},
        {"new-tags", "new-option", "new.exe", true, false, false},
    };
    for (size_t failing = 0; failing < 6; ++failing) {
        SCOPED_TRACE(kValueNames[failing]);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        StoreValues(old);
        {
            Settings settings;
            SetValues(settings, fresh);
            RecordedWrites writes(kValueNames[failing]);
            ASSERT_NE(nullptr, writes.Original());
            SaveSettings(settings);
        }
        // REG_SZ (1) with the NUL counted, REG_DWORD (4) of four bytes.
        EXPECT_EQ(
            (std::vector<std::string>{"TagsFileName 1 0x9", "ExecOption 1 0xb", "ExecPath 1 0x8",
                                      "ExecSync 4 0x4", "ShowConsole 4 0x4", "AskFolder 4 0x4"}),
            g_setValueCalls);
        EXPECT_EQ(loaded[failing], LoadedValues());
    }
}

TEST_F(SettingsStore, OpensTheKeyForReadingAndCreatesItForWriting) {
    Settings settings;
    {
        StandIn open("RegOpenKeyExA", &RecordingOpenKey, g_realOpenKey);
        StandIn create("RegCreateKeyExA", &RecordingCreateKey, g_realCreateKey);
        ASSERT_NE(nullptr, open.Original());
        ASSERT_NE(nullptr, create.Original());
        g_keyRequests.clear();
        SaveSettings(settings);
        LoadSettings(settings);
    }
    // Created non-volatile (0) for KEY_WRITE, opened for KEY_READ.
    const std::string path = kSettingsKeyPath;
    EXPECT_EQ((std::vector<std::string>{path + " 0 0x20006", path + " 0 0x20019"}), g_keyRequests);
    // The save made the key and every key above it that was missing.
    EXPECT_EQ(6, StoredValueCount());
}

TEST_F(SettingsStore, UnreadableKeyKeepsDefaults) {
    StoreText("ExecPath", "other.exe");
    StoreFlag("ExecSync", 0);
    Values loaded;
    {
        StandIn open("RegOpenKeyExA", &RecordingOpenKey, g_realOpenKey);
        ASSERT_NE(nullptr, open.Original());
        g_refuseOpen = true;
        loaded = LoadedValues();
        g_refuseOpen = false;
    }
    EXPECT_EQ(Values(), loaded);
}

TEST_F(SettingsStore, UncreatableKeyWritesNothing) {
    // A volatile key cannot hold a lasting one, so the store's key cannot be
    // made under a volatile Tobrin key.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\EmSoft\\EmEditorPlugIns", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, kTobrinKeyPath, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegCloseKey(key);
    key = nullptr;
    const LONG probe = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                       KEY_WRITE, nullptr, &key, nullptr);
    if (probe == ERROR_SUCCESS) {
        RegCloseKey(key);
        GTEST_SKIP() << "this system lets a volatile key hold a non-volatile one";
    }
    ASSERT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, probe);

    {
        Settings settings;
        settings.ExecPath = "other.exe";
        settings.ShowConsole = true;
        RecordedWrites writes;
        ASSERT_NE(nullptr, writes.Original());
        SaveSettings(settings);
    }
    EXPECT_TRUE(g_setValueCalls.empty());
    EXPECT_EQ(-1, StoredValueCount());
    EXPECT_EQ(Values(), LoadedValues());
}

// Handles are numbered from the lowest free slot, so a key left open by
// load or save moves the number of the next new handle.
HANDLE NextHandleValue() {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(event);
    return event;
}

TEST_F(SettingsStore, LoadAndSaveCloseTheirKeys) {
    {
        Settings settings;
        LoadSettings(settings); // no key yet
        SaveSettings(settings); // the registry's own handles are made by now
        LoadSettings(settings);
    }
    const HANDLE before = NextHandleValue();
    for (int i = 0; i < 10; ++i) {
        Settings settings;
        LoadSettings(settings);
        SaveSettings(settings);
    }
    ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
    for (int i = 0; i < 10; ++i) {
        LoadedValues();
    }
    EXPECT_EQ(before, NextHandleValue());
}

} // namespace
} // namespace kestrel::test
