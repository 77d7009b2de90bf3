// Helpers for the settings store tests: the stored key as raw values, a
// count of live heap blocks, and redirection of the registry functions that
// the store imports.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {
namespace test {

// The store's key and the one above it, under HKEY_CURRENT_USER.
constexpr char kTobrinKeyPath[] = "Software\\EmSoft\\EmEditorPlugIns\\Tobrin";

// Removes the stored settings, so that each test starts without the key.
void DeleteStoredSettings();

// Stores `size` bytes of `data` as value `name` of type `type` under the key,
// creating the key when needed; string types go through the ANSI conversion
// as any other program's values would.
void StoreValue(const char* name, DWORD type, const void* data, DWORD size);
void StoreText(const char* name, const std::string& text); // REG_SZ with its NUL
void StoreDword(const char* name, DWORD number);
void DeleteStoredValue(const char* name);

struct StoredValue {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::string bytes; // as the ANSI query returns them
};
StoredValue ReadStoredValue(const char* name);
// The number of values under the key, -1 when there is no key.
int StoredValueCount();

// Blocks from the global operator new that are not deleted yet.
long LiveBlocks();

// Points the test program's import of an ADVAPI32 function at a stand-in
// for the guard's lifetime. The store's code is linked into the program, so
// its calls go through the same import.
class ImportRedirect {
public:
    ImportRedirect(const char* function, void* replacement);
    ~ImportRedirect();
    ImportRedirect(const ImportRedirect&) = delete;
    ImportRedirect& operator=(const ImportRedirect&) = delete;

    // The real function, null when the program does not import it.
    void* Original() const { return m_original; }

private:
    const char* m_function;
    void* m_original;
};

} // namespace test
} // namespace kestrel
