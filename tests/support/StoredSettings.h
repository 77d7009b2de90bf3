// The plug-in's settings key, written and read by tests the way another
// program (or a person with regedit) would.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::test {

void StoreText(const char* name, const std::string& value); // REG_SZ with its NUL
void StoreFlag(const char* name, DWORD value);              // REG_DWORD
void DeleteStoredSettings();
bool StoredSettingsExist();

} // namespace kestrel::test
