#include "settings/SettingsStore.h"

#include "plugin/UniqueAny.h"
#include "settings/TextValue.h"

#include <utility>

namespace kestrel {
namespace {

struct TextSetting {
    const char* name;
    CountedString Settings::*field;
};

struct FlagSetting {
    const char* name;
    bool Settings::*field;
};

// The stored layout, in the order the values are written and read.
constexpr TextSetting kTextSettings[] = {
    {"TagsFileName", &Settings::TagsFileName},
    {"ExecOption", &Settings::ExecOption},
    {"ExecPath", &Settings::ExecPath},
};
constexpr FlagSetting kFlagSettings[] = {
    {"ExecSync", &Settings::ExecSync},
    {"ShowConsole", &Settings::ShowConsole},
    {"AskFolder", &Settings::AskFolder},
};

// A flag is taken only from a REG_DWORD that fits four bytes. One stored
// shorter is the little-endian number of the bytes it has.
void LoadFlag(HKEY key, const FlagSetting& flag, Settings& settings) {
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD type = REG_NONE;
    DWORD size = sizeof bytes;
    if (RegQueryValueExA(key, flag.name, nullptr, &type, bytes, &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return;
    }
    const DWORD number = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
                         static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
    settings.*flag.field = number != 0;
}

} // namespace

void LoadSettings(Settings& settings) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return;
    }
    const UniqueRegKey key(opened);
    for (const TextSetting& text : kTextSettings) {
        CountedString value = ReadTextValue(key.Get(), text.name);
        // An empty text keeps the default: a text setting cannot be emptied.
        if (lstrcmpA(value.Chars(), "") != 0) {
            settings.*text.field = std::move(value);
        }
    }
    for (const FlagSetting& flag : kFlagSettings) {
        LoadFlag(key.Get(), flag, settings);
    }
}

void SaveSettings(const Settings& settings) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &created, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueRegKey key(created);
    // Each write stands alone: one that fails leaves that value as it was.
    for (const TextSetting& text : kTextSettings) {
        const CountedString& value = settings.*text.field;
        RegSetValueExA(key.Get(), text.name, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.Chars()),
                       static_cast<DWORD>(value.Length()) + 1);
    }
    for (const FlagSetting& flag : kFlagSettings) {
        const BYTE bytes[4] = {static_cast<BYTE>(settings.*flag.field ? 1 : 0), 0, 0, 0};
        RegSetValueExA(key.Get(), flag.name, 0, REG_DWORD, bytes, sizeof bytes);
    }
}

} // namespace kestrel
