// The Settings record in the current user's registry.
#pragma once

#include "settings/Settings.h"

namespace kestrel {

// Under HKEY_CURRENT_USER.
constexpr const char kSettingsKeyPath[] = "Software\\EmSoft\\EmEditorPlugIns\\Tobrin\\Kestrel";

// Overlays the stored values on a freshly constructed record; whatever is
// missing or malformed keeps its default.
void LoadSettings(Settings& settings);

// Writes all six values, creating the key when needed. Failures are silent.
void SaveSettings(const Settings& settings);

} // namespace kestrel
