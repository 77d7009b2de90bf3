#include "tests/support/StoredSettings.h"

#include "settings/SettingsStore.h"

namespace kestrel::test {
namespace {

void Store(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
}

} // namespace

void StoreText(const char* name, const std::string& value) {
    Store(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void StoreFlag(const char* name, DWORD value) {
    Store(name, REG_DWORD, &value, sizeof value);
}

void DeleteStoredSettings() {
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
}

bool StoredSettingsExist() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace kestrel::test
