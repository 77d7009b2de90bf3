// The plug-in's settings key, written and read by tests the way another
// program (or a person with regedit) would. Each helper fails the test when
// the registry refuses it.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

#include "settings/Settings.h"

namespace kestrel::test {

// The key above the store's, under HKEY_CURRENT_USER.
constexpr char kTobrinKeyPath[] = "Software\\EmSoft\\EmEditorPlugIns\\Tobrin";
// The six values in the order of the stored layout: three texts, three flags.
constexpr const char* kValueNames[] = {"TagsFileName", "ExecOption",  "ExecPath",
                                       "ExecSync",     "ShowConsole", "AskFolder"};

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

// Value `name` is there with exactly this type and these bytes.
void ExpectStoredValue(const char* name, DWORD type, const std::string& bytes);
void ExpectStoredText(const char* name, const std::string& text); // REG_SZ, its NUL counted
// The number of values under the key, -1 when there is no key.
int StoredValueCount();
bool StoredSettingsExist();

// A Settings record's six values, the defaults unless given.
struct Values {
    std::string tagsFileName = "tags";
    std::string execOption = "-R -V --tag-relative=yes ";
    std::string execPath = "ctags.exe";
    bool execSync = true, showConsole = false, askFolder = true;
};
bool operator==(const Values& a, const Values& b);
void PrintTo(const Values& values, std::ostream* out);

// A text whose length disagrees with its NUL shows the length it claims.
Values ValuesOf(const Settings& settings);
void SetValues(Settings& settings, const Values& values);
Values LoadedValues(); // what a fresh record holds after LoadSettings
void StoreValues(const Values& values);
// All six are stored with the store's types and bytes.
void ExpectStoredValues(const Values& values);

} // namespace kestrel::test
