// The plug-in's settings key, written and read by tests the way another
// program (or a person with regedit) would. Each helper fails the test when
// the registry refuses it.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::test {

// The key above the store's, under HKEY_CURRENT_USER.
constexpr char kTobrinKeyPath[] = "Software\\EmSoft\\EmEditorPlugIns\\Tobrin";

// Removes the stored settings and the key above them, so that a test starts
// without either.
void DeleteStoredSettings();

// Stores `size` bytes of `data` as value `name` of type `type`, creating the
// key when needed; string types go through the ANSI conversion as any other
// program's values would.
void StoreValue(const char* name, DWORD type, const void* data, DWORD size);
void StoreText(const char* name, const std::string& text); // REG_SZ with its NUL
void StoreFlag(const char* name, DWORD value);             // REG_DWORD
void DeleteStoredValue(const char* name);

struct StoredValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::string bytes; // as the ANSI query returns them, NULs included
};
StoredValue ReadStoredValue(const char* name);
// Value `name` is there with exactly this type and these bytes.
void ExpectStoredValue(const char* name, DWORD type, const std::string& bytes);
// The number of values under the key, -1 when there is no key.
int StoredValueCount();
bool StoredSettingsExist();

} // namespace kestrel::test
