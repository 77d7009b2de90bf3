#include "tests/support/StoredSettings.h"

#include <vector>

#include <gtest/gtest.h>

#include "plugin/UniqueAny.h"
#include "settings/SettingsStore.h"

namespace kestrel::test {
namespace {

UniqueRegKey OpenSettingsKey(REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, access, &key) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return UniqueRegKey(key);
}

std::string Text(const CountedString& text) {
    const std::string chars = text.Chars();
    if (chars.size() == static_cast<size_t>(text.Length())) {
        return chars;
    }
    return chars + " (length " + std::to_string(text.Length()) + ")";
}

// The bytes of each of kValueNames as the store writes them.
std::vector<std::string> StoredBytes(const Values& values) {
    const auto dword = [](bool flag) { return std::string(flag ? "\x01\0\0\0" : "\0\0\0\0", 4); };
    return {values.tagsFileName + '\0', values.execOption + '\0',  values.execPath + '\0',
            dword(values.execSync),     dword(values.showConsole), dword(values.askFolder)};
}

} // namespace

void DeleteStoredSettings() {
    const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, kTobrinKeyPath);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    ASSERT_FALSE(StoredSettingsExist());
}

void StoreValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const UniqueRegKey owner(key);
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size))
        << name;
}

void StoreText(const char* name, const std::string& text) {
    StoreValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void StoreFlag(const char* name, DWORD value) {
    StoreValue(name, REG_DWORD, &value, sizeof value);
}

void DeleteStoredValue(const char* name) {
    const UniqueRegKey key = OpenSettingsKey(KEY_SET_VALUE);
    ASSERT_TRUE(key) << "no settings key";
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key.Get(), name)) << name;
}

void ExpectStoredValue(const char* name, DWORD type, const std::string& bytes) {
    const UniqueRegKey key = OpenSettingsKey(KEY_READ);
    ASSERT_TRUE(key) << "no settings key for " << name;
    DWORD storedType = REG_NONE;
    DWORD size = 0;
    std::string stored;
    LONG status = RegQueryValueExA(key.Get(), name, nullptr, &storedType, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        stored.resize(size);
        status = RegQueryValueExA(key.Get(), name, nullptr, &storedType,
                                  reinterpret_cast<BYTE*>(&stored[0]), &size);
        stored.resize(size);
    }
    EXPECT_EQ(ERROR_SUCCESS, status) << name;
    EXPECT_EQ(type, storedType) << name;
    EXPECT_EQ(bytes, stored) << name;
}

void ExpectStoredText(const char* name, const std::string& text) {
    ExpectStoredValue(name, REG_SZ, text + '\0');
}

int StoredValueCount() {
    const UniqueRegKey key = OpenSettingsKey(KEY_READ);
    DWORD values = 0;
    if (!key || RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<int>(values);
}

bool StoredSettingsExist() {
    return static_cast<bool>(OpenSettingsKey(KEY_READ));
}

bool operator==(const Values& a, const Values& b) {
    return a.tagsFileName == b.tagsFileName && a.execOption == b.execOption &&
           a.execPath == b.execPath && a.execSync == b.execSync && a.showConsole == b.showConsole &&
           a.askFolder == b.askFolder;
}

void PrintTo(const Values& values, std::ostream* out) {
    *out << "{\"" << values.tagsFileName << "\", \"" << values.execOption << "\", \""
         << values.execPath << "\", flags " << values.execSync << values.showConsole
         << values.askFolder << "}";
}

Values ValuesOf(const Settings& settings) {
    return {Text(settings.TagsFileName), Text(settings.ExecOption), Text(settings.ExecPath),
            settings.ExecSync,           settings.ShowConsole,      settings.AskFolder};
}

void SetValues(Settings& settings, const Values& values) {
    settings.TagsFileName = values.tagsFileName.c_str();
    settings.ExecOption = values.execOption.c_str();
    settings.ExecPath = values.execPath.c_str();
    settings.ExecSync = values.execSync;
    settings.ShowConsole = values.showConsole;
    settings.AskFolder = values.askFolder;
}

Values LoadedValues() {
    Settings settings;
    LoadSettings(settings);
    return ValuesOf(settings);
}

void StoreValues(const Values& values) {
    const std::vector<std::string> bytes = StoredBytes(values);
    for (size_t i = 0; i < 6; ++i) {
        StoreValue(kValueNames[i], i < 3 ? REG_SZ : REG_DWORD, bytes[i].data(),
                   static_cast<DWORD>(bytes[i].size()));
    }
}

void ExpectStoredValues(const Values& values) {
    const std::vector<std::string> bytes = StoredBytes(values);
    for (size_t i = 0; i < 6; ++i) {
        ExpectStoredValue(kValueNames[i], i < 3 ? REG_SZ : REG_DWORD, bytes[i]);
    }
}

} // namespace kestrel::test
