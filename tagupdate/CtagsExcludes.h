// The names a recursive ctags run leaves out, as ctags itself lists them.
#pragma once

#include <string>
#include <vector>

#include "text/CountedString.h"

namespace kestrel {

class CtagsExcludes {
public:
    // Asks `program` for its exclusions (--list-excludes after the options,
    // with the CTAGS variable and the option files ctags reads itself) in
    // runFolder. False when ctags cannot be run, fails, or lists a pattern
    // that Excludes could not match exactly as ctags does: a bracket, a
    // character beyond ASCII.
    bool Read(const CountedString& program, const CountedString& options,
              const CountedString& runFolder);
    // Takes the patterns from a list as Listed() gives it, or as ctags
    // writes it; false as for Read when one cannot be matched as ctags does.
    bool ReadListed(const std::string& listed);

    // Whether ctags leaves out the file or folder whose name in the run
    // folder is `relativeName` (separated by backslashes): a pattern matches
    // its last part or the whole, case-folded, '*' crossing separators, a
    // backslash and a forward slash alike.
    bool Excludes(const char* relativeName) const;

    // The patterns as ctags listed them, one a line.
    const std::string& Listed() const { return m_listed; }

private:
    std::vector<std::string> m_patterns; // upper-cased
    std::string m_listed;
};

// Whether `name` matches `pattern` with '*' for any run of characters and '?'
// for one, letters compared case-folded and either slash for either.
bool MatchesFolded(const char* pattern, const char* name);

} // namespace kestrel
