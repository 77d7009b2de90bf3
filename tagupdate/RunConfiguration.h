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

// The text that stands for a configuration: the program (its path, size and
// write time), ExecOption, TagsFileName, CTAGS, the option files ctags reads
// in the run folder and in the user's home, and the exclusions ctags lists.
// Two runs with the same text read the same files the same way.
std::string ConfigurationOf(const CountedString& program, const CountedString& options,
                            const CountedString& tagsName, const CountedString& runFolder,
                            const CtagsExcludes& excludes);

} // namespace kestrel
