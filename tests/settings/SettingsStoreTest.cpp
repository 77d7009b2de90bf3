#include "settings/SettingsStore.h"

#include "settings/PropertiesDialog.h"
#include "tests/support/ImportRedirect.h"
#include "tests/support/StoredSettings.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

using test::DeleteStoredSettings;
using test::ImportRedirect;
using test::ReadStoredValue;
using test::StoredValue;
using test::StoreFlag;
using test::StoreText;
using test::StoreValue;

// Japanese texts in code page 932; 表 and ソ end in the byte 0x5C, a
// backslash when read byte by byte.
const char kJapaneseTags[] = "\x93\xfa\x96\x7b\x8c\xea\x83\x5e\x83\x4f"; // 日本語タグ
const wchar_t kJapaneseTagsWide[] = L"\u65e5\u672c\u8a9e\u30bf\u30b0";
const char kJapanesePath[] =
    "C:\\\x83\x63\x81\x5b\x83\x8b\\\x95\x5c\\ctags.exe"; // C:\ツール\表\ctags.exe
const wchar_t kJapanesePathWide[] = L"C:\\\u30c4\u30fc\u30eb\\\u8868\\ctags.exe";
const char kJapaneseOption[] = "--langmap=\x83\x5c\x81\x5b\x83\x58:.c -R "; // ソース

void ExpectDefaults(const Settings& settings) {
    EXPECT_TRUE(settings.ExecSync);
    EXPECT_FALSE(settings.ShowConsole);
    EXPECT_TRUE(settings.AskFolder);
    EXPECT_STREQ("ctags.exe", settings.ExecPath.Chars());
    EXPECT_STREQ("-R -V --tag-relative=yes ", settings.ExecOption.Chars());
    EXPECT_EQ(25, settings.ExecOption.Length());
    EXPECT_STREQ("tags", settings.TagsFileName.Chars());
}

std::wstring ReadStoredWide(const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    wchar_t buffer[260] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LONG status =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<no value>";
}

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings()); }
};

TEST_F(SettingsStore, LoadWithoutKeyKeepsDefaults) {
    Settings settings;
    LoadSettings(settings);
    ExpectDefaults(settings);
}

TEST_F(SettingsStore, SaveWritesDefaultsAsTheStoredLayout) {
    Settings settings;
    SaveSettings(settings);

    // Texts with their size, the NUL last.
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {"TagsFileName", REG_SZ, std::string("tags", 5)},
        {"ExecOption", REG_SZ, std::string("-R -V --tag-relative=yes ", 26)},
        {"ExecPath", REG_SZ, std::string("ctags.exe", 10)},
        {"ExecSync", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {"ShowConsole", REG_DWORD, std::string("\0\0\0\0", 4)},
        {"AskFolder", REG_DWORD, std::string("\x01\0\0\0", 4)},
    };
    for (const auto& value : values) {
        test::ExpectStoredValue(value.name, value.type, value.bytes);
    }
    EXPECT_EQ(6, test::StoredValueCount()); // nothing else under the key
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
        Settings settings;
        LoadSettings(settings);
        ExpectDefaults(settings);
    }
}

TEST_F(SettingsStore, EmptyTextSavedAsOneNulAndLoadedAsDefault) {
    Settings settings;
    settings.ExecOption = "";
    SaveSettings(settings);
    const StoredValue stored = ReadStoredValue("ExecOption");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
    EXPECT_EQ(std::string(1, '\0'), stored.bytes);

    Settings loaded;
    LoadSettings(loaded);
    EXPECT_STREQ("-R -V --tag-relative=yes ", loaded.ExecOption.Chars());
}

TEST_F(SettingsStore, FlagsAreTakenFromDwordsOnly) {
    const DWORD zero = 0, one = 1, seven = 7;
    const struct {
        const char* name;
        bool Settings::*field;
        DWORD type;
        const void* data;
        DWORD size;
        bool expected;
    } cases[] = {
        {"ExecSync", &Settings::ExecSync, REG_DWORD, &zero, 4, false},
        {"ExecSync", &Settings::ExecSync, REG_DWORD, &seven, 4, true},
        {"ExecSync", &Settings::ExecSync, REG_SZ, "0", 2, true}, // the default
        {"ShowConsole", &Settings::ShowConsole, REG_DWORD, &one, 4, true},
        {"ShowConsole", &Settings::ShowConsole, REG_SZ, "1", 2, false}, // the default
        {"ShowConsole", &Settings::ShowConsole, REG_BINARY, &one, 4, false},
        {"AskFolder", &Settings::AskFolder, REG_DWORD, &zero, 4, false},
        {"AskFolder", &Settings::AskFolder, REG_DWORD_BIG_ENDIAN, &zero, 4, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " type " << c.type);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        StoreValue(c.name, c.type, c.data, c.size);
        Settings settings;
        LoadSettings(settings);
        EXPECT_EQ(c.expected, settings.*c.field);
    }
}

TEST_F(SettingsStore, ExpandableTextIsTakenUnexpanded) {
    const char text[] = "%TEMP%\\x";
    StoreValue("TagsFileName", REG_EXPAND_SZ, text, sizeof text);
    Settings settings;
    LoadSettings(settings);
    EXPECT_STREQ("%TEMP%\\x", settings.TagsFileName.Chars());
}

TEST_F(SettingsStore, TextStoredWithoutNulIsReadWhole) {
    // The registry adds the NUL that a caller seems to have forgotten to
    // count, the one right after the data; a byte other than NUL there keeps
    // it from doing so.
    StoreValue("ExecPath", REG_SZ, "tool.exe#", 8);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key));
    DWORD storedSize = 0;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExW(key, L"ExecPath", nullptr, nullptr, nullptr, &storedSize));
    RegCloseKey(key);
    ASSERT_EQ(8 * sizeof(wchar_t), storedSize); // eight characters, no terminator

    Settings settings;
    LoadSettings(settings);
    EXPECT_STREQ("tool.exe", settings.ExecPath.Chars());
}

TEST_F(SettingsStore, TextEndsAtANulInsideItsData) {
    StoreValue("ExecPath", REG_SZ, "tool.exe\0old.exe", 17);
    Settings settings;
    LoadSettings(settings);
    EXPECT_STREQ("tool.exe", settings.ExecPath.Chars());
    EXPECT_EQ(8, settings.ExecPath.Length());
}

TEST_F(SettingsStore, PropertiesWhoseDialogCannotBeMadeSaveNothing) {
    // This program holds no dialog 106.
    ASSERT_EQ(-1, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(106), nullptr,
                                  PropertiesDialogProc, 0));
    ShowProperties(nullptr);
    EXPECT_EQ(-1, test::StoredValueCount());
}

TEST_F(SettingsStore, SaveThenLoadReproducesEverything) {
    const struct {
        const char* tags;
        const char* option;
        const char* path;
        bool sync, console, ask;
    } records[] = {
        {"tags", "-R -V --tag-relative=yes ", "ctags.exe", true, false, true},
        {kJapaneseTags, kJapaneseOption, kJapanesePath, false, true, false},
        {"T", " ", "C:\\Program Files\\ctags\\ctags.exe", true, true, true},
        {"my tags", "-R", "x", false, false, false},
    };
    for (const auto& record : records) {
        SCOPED_TRACE(record.path);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        {
            Settings settings;
            settings.TagsFileName = record.tags;
            settings.ExecOption = record.option;
            settings.ExecPath = record.path;
            settings.ExecSync = record.sync;
            settings.ShowConsole = record.console;
            settings.AskFolder = record.ask;
            SaveSettings(settings);
        }
        Settings loaded;
        LoadSettings(loaded);
        EXPECT_STREQ(record.tags, loaded.TagsFileName.Chars());
        EXPECT_STREQ(record.option, loaded.ExecOption.Chars());
        EXPECT_STREQ(record.path, loaded.ExecPath.Chars());
        EXPECT_EQ(record.sync, loaded.ExecSync);
        EXPECT_EQ(record.console, loaded.ShowConsole);
        EXPECT_EQ(record.ask, loaded.AskFolder);
    }
}

TEST_F(SettingsStore, JapaneseTextsAreStoredAsTheirCharacters) {
    Settings settings;
    settings.TagsFileName = kJapaneseTags;
    settings.ExecPath = kJapanesePath;
    SaveSettings(settings);
    EXPECT_EQ(std::wstring(kJapaneseTagsWide), ReadStoredWide(L"TagsFileName"));
    EXPECT_EQ(std::wstring(kJapanesePathWide), ReadStoredWide(L"ExecPath"));
}

// Stand-ins for the registry functions; they pass every call on.
struct SetValueCall {
    std::string name;
    DWORD type;
    DWORD size;
};
using SetValueFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
using OpenKeyFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using CreateKeyFunction = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                        LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);

SetValueFunction g_realSetValue;
std::vector<SetValueCall> g_setValueCalls;
const char* g_failingValue; // its write fails without reaching the registry

LONG WINAPI RecordingSetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size) {
    g_setValueCalls.push_back({name ? name : "", type, size});
    if (g_failingValue != nullptr && name != nullptr && lstrcmpA(name, g_failingValue) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return g_realSetValue(key, name, reserved, type, data, size);
}

struct KeyRequest {
    std::string path;
    DWORD options;
    REGSAM access;
};
OpenKeyFunction g_realOpenKey;
CreateKeyFunction g_realCreateKey;
std::vector<KeyRequest> g_keyRequests;
bool g_refuseOpen;

LONG WINAPI RecordingOpenKey(HKEY root, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
    g_keyRequests.push_back({path ? path : "", options, access});
    if (g_refuseOpen) {
        return ERROR_ACCESS_DENIED;
    }
    return g_realOpenKey(root, path, options, access, key);
}

LONG WINAPI RecordingCreateKey(HKEY root, LPCSTR path, DWORD reserved, LPSTR keyClass,
                               DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                               PHKEY key, LPDWORD disposition) {
    g_keyRequests.push_back({path ? path : "", options, access});
    return g_realCreateKey(root, path, reserved, keyClass, options, access, security, key,
                           disposition);
}

class RecordedWrites {
public:
    explicit RecordedWrites(const char* failing = nullptr)
        : m_redirect("advapi32.dll", "RegSetValueExA",
                     reinterpret_cast<void*>(&RecordingSetValue)) {
        g_realSetValue = reinterpret_cast<SetValueFunction>(m_redirect.Original());
        g_setValueCalls.clear();
        g_failingValue = failing;
    }
    ~RecordedWrites() { g_failingValue = nullptr; }
    bool Active() const { return m_redirect.Original() != nullptr; }

private:
    ImportRedirect m_redirect;
};

TEST_F(SettingsStore, SaveWritesInOrderAndGoesOnPastAFailedWrite) {
    const char* const order[] = {"TagsFileName", "ExecOption",  "ExecPath",
                                 "ExecSync",     "ShowConsole", "AskFolder"};
    for (const char* failing : order) {
        SCOPED_TRACE(failing);
        ASSERT_NO_FATAL_FAILURE(DeleteStoredSettings());
        StoreText("TagsFileName", "old-tags");
        StoreText("ExecOption", "old-option");
        StoreText("ExecPath", "old.exe");
        StoreFlag("ExecSync", 0);
        StoreFlag("ShowConsole", 1);
        StoreFlag("AskFolder", 0);
        {
            Settings settings;
            settings.TagsFileName = "new-tags";
            settings.ExecOption = "new-option";
            settings.ExecPath = "new.exe";
            settings.ShowConsole = false; // ExecSync and AskFolder stay true
            RecordedWrites writes(failing);
            ASSERT_TRUE(writes.Active());
            SaveSettings(settings);
        }
        ASSERT_EQ(6u, g_setValueCalls.size());
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(order[i], g_setValueCalls[i].name);
            EXPECT_EQ(i < 3 ? static_cast<DWORD>(REG_SZ) : static_cast<DWORD>(REG_DWORD),
                      g_setValueCalls[i].type);
        }
        EXPECT_EQ(9u, g_setValueCalls[0].size); // "new-tags" and its NUL
        EXPECT_EQ(4u, g_setValueCalls[3].size);

        Settings loaded;
        LoadSettings(loaded);
        const bool failed[] = {
            lstrcmpA(failing, "TagsFileName") == 0, lstrcmpA(failing, "ExecOption") == 0,
            lstrcmpA(failing, "ExecPath") == 0,     lstrcmpA(failing, "ExecSync") == 0,
            lstrcmpA(failing, "ShowConsole") == 0,  lstrcmpA(failing, "AskFolder") == 0};
        EXPECT_STREQ(failed[0] ? "old-tags" : "new-tags", loaded.TagsFileName.Chars());
        EXPECT_STREQ(failed[1] ? "old-option" : "new-option", loaded.ExecOption.Chars());
        EXPECT_STREQ(failed[2] ? "old.exe" : "new.exe", loaded.ExecPath.Chars());
        EXPECT_EQ(!failed[3], loaded.ExecSync);
        EXPECT_EQ(failed[4], loaded.ShowConsole);
        EXPECT_EQ(!failed[5], loaded.AskFolder);
    }
}

TEST_F(SettingsStore, OpensTheKeyForReadingAndCreatesItForWriting) {
    Settings settings;
    {
        ImportRedirect open("advapi32.dll", "RegOpenKeyExA",
                            reinterpret_cast<void*>(&RecordingOpenKey));
        ImportRedirect create("advapi32.dll", "RegCreateKeyExA",
                              reinterpret_cast<void*>(&RecordingCreateKey));
        ASSERT_NE(nullptr, open.Original());
        ASSERT_NE(nullptr, create.Original());
        g_realOpenKey = reinterpret_cast<OpenKeyFunction>(open.Original());
        g_realCreateKey = reinterpret_cast<CreateKeyFunction>(create.Original());
        g_keyRequests.clear();
        SaveSettings(settings);
        LoadSettings(settings);
    }
    ASSERT_EQ(2u, g_keyRequests.size());
    EXPECT_EQ(kSettingsKeyPath, g_keyRequests[0].path);
    EXPECT_EQ(0u, g_keyRequests[0].options); // REG_OPTION_NON_VOLATILE
    EXPECT_EQ(0x20006u, g_keyRequests[0].access);
    EXPECT_EQ(kSettingsKeyPath, g_keyRequests[1].path);
    EXPECT_EQ(0x20019u, g_keyRequests[1].access);
    // The save made the key and every key above it that was missing.
    EXPECT_EQ(6, test::StoredValueCount());
}

TEST_F(SettingsStore, UnreadableKeyKeepsDefaults) {
    StoreText("ExecPath", "other.exe");
    StoreFlag("ExecSync", 0);
    Settings settings;
    {
        ImportRedirect open("advapi32.dll", "RegOpenKeyExA",
                            reinterpret_cast<void*>(&RecordingOpenKey));
        ASSERT_NE(nullptr, open.Original());
        g_realOpenKey = reinterpret_cast<OpenKeyFunction>(open.Original());
        g_refuseOpen = true;
        LoadSettings(settings);
        g_refuseOpen = false;
    }
    ExpectDefaults(settings);
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
              RegCreateKeyExA(HKEY_CURRENT_USER, test::kTobrinKeyPath, 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
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
        ASSERT_TRUE(writes.Active());
        SaveSettings(settings);
    }
    EXPECT_TRUE(g_setValueCalls.empty());
    EXPECT_EQ(-1, test::StoredValueCount());
    Settings loaded;
    LoadSettings(loaded);
    ExpectDefaults(loaded);
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
        Settings settings;
        LoadSettings(settings);
    }
    EXPECT_EQ(before, NextHandleValue());
}

} // namespace
} // namespace kestrel
