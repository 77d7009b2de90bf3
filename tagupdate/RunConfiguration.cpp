#include "tagupdate/RunConfiguration.h"

#include <windows.h>

#include <cstring>

#include "tagupdate/Environment.h"
#include "tagupdate/Paths.h"
#include "tagupdate/TreeWalk.h"

namespace kestrel {
namespace {

// Where the exclusions begin in a configuration's text.
constexpr char kExcludesHead[] = "excludes\n";

bool StartsWith(const std::string& word, const char* prefix) {
    return word.compare(0, std::strlen(prefix), prefix) == 0;
}

// Options that ctags applies to each file on its own, or to which files a
// recursive run reads (which the walk learns from ctags itself).
bool IsPerFileOption(const std::string& word) {
    static const char* const kWhole[] = {
        "--recurse",      "--recurse=yes",     "--verbose",  "--verbose=yes",
        "--sort",         "--sort=yes",        "--format=2", "--guess-language-eagerly",
        "--tag-relative", "--tag-relative=yes"};
    static const char* const kPrefixes[] = {
        "--exclude=", "--fields=", "--fields-",    "--extras=",  "--extras-",
        "--extra=",   "--kinds-",  "--languages=", "--langmap=", "--map-",
        "--excmd=",   "--regex-",  "--langdef=",   "--param-",   "--if0="};
    for (const char* whole : kWhole) {
        if (word == whole) {
            return true;
        }
    }
    for (const char* prefix : kPrefixes) {
        if (StartsWith(word, prefix)) {
            return true;
        }
    }
    // --c-kinds=..., --c++-kinds=...
    const size_t kinds = word.find("-kinds=");
    if (StartsWith(word, "--") && kinds != std::string::npos && word.find('=') == kinds + 6) {
        return true;
    }
    // -R, -V, -RV; -I, -D and -h with their arguments attached.
    if (word.size() >= 2 && word[0] == '-' && word[1] != '-') {
        if (std::strchr("IDh", word[1]) != nullptr && word.size() > 2) {
            return true;
        }
        return word.find_first_not_of("RV", 1) == std::string::npos;
    }
    return false;
}

bool AsksToRecurse(const std::string& word) {
    return word == "--recurse" || word == "--recurse=yes" ||
           (word.size() >= 2 && word[0] == '-' && word[1] != '-' &&
            word.find('R') != std::string::npos &&
            word.find_first_not_of("RV", 1) == std::string::npos);
}

bool WordsAllowUpdate(const char* text, TagsFormat& format, bool& recursive) {
    std::string word;
    for (const char* c = text;; ++c) {
        if (*c == '"') {
            return false;
        }
        if (*c != '\0' && *c != ' ' && *c != '\t' && *c != '\r' && *c != '\n') {
            word += *c;
            continue;
        }
        if (!word.empty()) {
            if (word == "--output-format=u-ctags") {
                format = TagsFormat::UCtags;
            } else if (word == "--output-format=e-ctags") {
                format = TagsFormat::ECtags;
            } else if (!IsPerFileOption(word)) {
                return false;
            }
            recursive = recursive || AsksToRecurse(word);
            word.clear();
        }
        if (*c == '\0') {
            return true;
        }
    }
}

void AddStamps(std::string& text, const CountedString& folder) {
    TreeWalk walk;
    if (folder.IsEmpty() || !WalkTree(folder, CtagsExcludes(), {}, walk)) {
        return;
    }
    text += "files in ";
    text += folder.Chars();
    text += walk.complete ? "\n" : " (not all read)\n";
    for (const WalkedFile& file : walk.files) {
        char stamp[64];
        wsprintfA(stamp, " %08lx%08lx %08lx%08lx\n", static_cast<unsigned long>(file.size >> 32),
                  static_cast<unsigned long>(file.size),
                  static_cast<unsigned long>(file.writeTime >> 32),
                  static_cast<unsigned long>(file.writeTime));
        text += file.name + stamp;
    }
}

} // namespace

bool OptionsAllowUpdate(const char* ctagsVariable, const char* options, TagsFormat& format) {
    format = TagsFormat::UCtags;
    bool recursive = false;
    return WordsAllowUpdate(ctagsVariable, format, recursive) &&
           WordsAllowUpdate(options, format, recursive) && recursive;
}

std::string SettingsOf(const CountedString& program, const CountedString& options,
                       const CountedString& tagsName, const CountedString& runFolder) {
    std::string text = "program ";
    text += program.Chars();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(program.Chars(), GetFileExInfoStandard, &data)) {
        char stamp[64];
        wsprintfA(stamp, " %08lx%08lx %08lx%08lx", data.nFileSizeHigh, data.nFileSizeLow,
                  data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
        text += stamp;
    }
    text += "\n";
    text += std::string("options ") + options.Chars() + "\n";
    text += std::string("tags ") + tagsName.Chars() + "\n";
    text += std::string("CTAGS ") + EnvironmentVariable("CTAGS").Chars() + "\n";
    // ctags reads *.ctags below these folders before its command line.
    const CountedString home = EnvironmentVariable("HOME");
    const CountedString windowsHome =
        EnvironmentVariable("HOMEDRIVE") + EnvironmentVariable("HOMEPATH");
    const CountedString xdg = EnvironmentVariable("XDG_CONFIG_HOME");
    for (const CountedString& folder : {home, windowsHome, runFolder}) {
        if (!folder.IsEmpty()) {
            AddStamps(text, PathIn(folder, ".ctags.d"));
            AddStamps(text, PathIn(folder, "ctags.d"));
        }
    }
    if (!xdg.IsEmpty()) {
        AddStamps(text, PathIn(xdg, "ctags"));
    }
    return text;
}

std::string ConfigurationOf(const std::string& settings, const CtagsExcludes& excludes) {
    return settings + kExcludesHead + excludes.Listed();
}

bool RecordedExcludes(const std::string& configuration, const std::string& settings,
                      CtagsExcludes& excludes) {
    const size_t head = settings.size() + sizeof kExcludesHead - 1;
    return configuration.size() >= head &&
           configuration.compare(0, settings.size(), settings) == 0 &&
           configuration.compare(settings.size(), head - settings.size(), kExcludesHead) == 0 &&
           excludes.ReadListed(configuration.substr(head));
}

} // namespace kestrel
