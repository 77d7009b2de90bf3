#include "tests/support/StoredSettings.h"

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

StoredValue ReadStoredValue(const char* name) {
    StoredValue value;
    const UniqueRegKey key = OpenSettingsKey(KEY_READ);
    if (!key) {
        return value;
    }
    DWORD size = 0;
    value.status = RegQueryValueExA(key.Get(), name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.status = RegQueryValueExA(key.Get(), name, nullptr, &value.type,
                                        reinterpret_cast<BYTE*>(&value.bytes[0]), &size);
        value.bytes.resize(size);
    }
    return value;
}

void ExpectStoredValue(const char* name, DWORD type, const std::string& bytes) {
    const StoredValue value = ReadStoredValue(name);
    EXPECT_EQ(ERROR_SUCCESS, value.status) << name;
    EXPECT_EQ(type, value.type) << name;
    EXPECT_EQ(bytes, value.bytes) << name;
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

} // namespace kestrel::test
