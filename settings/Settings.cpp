#include "settings/Settings.h"

namespace kestrel {

Settings::Settings() : ExecSync(false), ShowConsole(false), AskFolder(false) {
    ApplyDefaults(*this);
}

Settings::~Settings() {
    ReleaseSettings(*this);
}

void ApplyDefaults(Settings& settings) {
    settings.TagsFileName = "tags";
    settings.ExecPath = "ctags.exe";
    settings.ExecOption = "-R -V --tag-relative=yes ";
    settings.ExecSync = true;
    settings.ShowConsole = false;
    settings.AskFolder = true;
}

void ReleaseSettings(Settings& settings) {
    settings.TagsFileName = CountedString();
    settings.ExecOption = CountedString();
    settings.ExecPath = CountedString();
}

} // namespace kestrel
