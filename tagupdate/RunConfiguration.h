// Everything apart from the tree's files that decides what a full run
// writes, and whether an update on part of the tree can write the same.
#pragma once

#include <string>

#include "tagsfile/TagsMerge.h"
#include "tagupdate/CtagsExcludes.h"
#include "text/CountedString.h"

namespace kestrel {

// Whether recursion is asked for and every word of the CTAGS variable and
// then of the options is one with which ctags, given a list of files in
// place of the tree, writes the same lines for them as a recursive run:
// recursion, verbosity, exclusions, kinds, fields, extras, languages,
// macros, the sorted u-ctags or e-ctags format. Anything else (appending, another sort or format, a
// filter, an option file or list named, a quote) asks for a full run. `format` gets the format
// asked for.
bool OptionsAllowUpdate(const char* ctagsVariable, const char* options, TagsFormat& format);

// The text that stands for what decides a run's exclusions: the program
// (its path, size and write time), ExecOption, TagsFileName, CTAGS and the
// option files ctags reads in the run folder and in the user's home.
std::string SettingsOf(const CountedString& program, const CountedString& options,
                       const CountedString& tagsName, const CountedString& runFolder);

// The text that stands for a configuration: the settings as SettingsOf gives
// them and the exclusions ctags lists with them. Two runs with the same text
// read the same files the same way.
std::string ConfigurationOf(const std::string& settings, const CtagsExcludes& excludes);

// The exclusions of a recorded configuration whose settings are `settings`:
// ctags lists the same with the same settings. False when the settings
// differ or the list cannot be read.
bool RecordedExcludes(const std::string& configuration, const std::string& settings,
                      CtagsExcludes& excludes);

} // namespace kestrel
