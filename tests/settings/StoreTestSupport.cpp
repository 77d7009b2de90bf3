#include "StoreTestSupport.h"

#include "host/ImportPatch.h"
#include "settings/SettingsStore.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

namespace {
std::atomic<long> g_liveBlocks{0};
} // namespace

// Every other form of new and delete ends up in these two.
void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    ++g_liveBlocks;
    return block;
}

void operator delete(void* block) noexcept {
    if (block != nullptr) {
        --g_liveBlocks;
        std::free(block);
    }
}

void operator delete(void* block, std::size_t) noexcept {
    ::operator delete(block);
}

namespace kestrel {
namespace test {

void DeleteStoredSettings() {
    const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, kTobrinKeyPath);
    ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key));
}

void StoreValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status) << name;
}

void StoreText(const char* name, const std::string& text) {
    StoreValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void StoreDword(const char* name, DWORD number) {
    StoreValue(name, REG_DWORD, &number, sizeof number);
}

void DeleteStoredValue(const char* name) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_SET_VALUE, &key));
    const LONG status = RegDeleteValueA(key, name);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status) << name;
}

StoredValue ReadStoredValue(const char* name) {
    StoredValue value;
    HKEY key = nullptr;
    value.status = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key);
    if (value.status != ERROR_SUCCESS) {
        return value;
    }
    DWORD size = 0;
    value.status = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
    if (value.status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        value.status = RegQueryValueExA(key, name, nullptr, &value.type,
                                        reinterpret_cast<BYTE*>(&value.bytes[0]), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return value;
}

int StoredValueCount() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return -1;
    }
    DWORD values = 0;
    const LONG status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                         &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? static_cast<int>(values) : -1;
}

long LiveBlocks() {
    return g_liveBlocks.load();
}

// mingw names the import "ADVAPI32.dll"; the patch compares without case.
ImportRedirect::ImportRedirect(const char* function, void* replacement)
    : m_function(function),
      m_original(PatchImport(GetModuleHandleA(nullptr), "advapi32.dll", function, replacement)) {
}

ImportRedirect::~ImportRedirect() {
    if (m_original != nullptr) {
        PatchImport(GetModuleHandleA(nullptr), "advapi32.dll", m_function, m_original);
    }
}

} // namespace test
} // namespace kestrel
