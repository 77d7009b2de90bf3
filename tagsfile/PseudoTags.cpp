// What the real ctags writes at the head of its file, and how a run on the
// changed files alone (--sort=no -L list) differs from a full run:
// - Pseudo-tags are lines like any other: a sorted file has them where the
//   sort puts them, at the top; an unsorted one in the order ctags made them.
// - Most describe the program and its options (format, output mode, program
//   name and version, encoding): the same in both runs, except
//   !_TAG_FILE_SORTED, which reads 0 in the unsorted run and 1 (--sort=yes)
//   or 2 (--sort=foldcase) in a full one.
// - Per-language ones ("!_TAG_KIND_DESCRIPTION!C", with
//   --pseudo-tags=+TAG_KIND_DESCRIPTION) come for each language of a file
//   ctags read, empty files included: a full run has those of every language
//   in the tree, a run on the changed files those of theirs. The old file's
//   hold for the files that stay unchanged, so when the changed files give
//   exactly the old ones, a full run gives them again; otherwise a deleted
//   file may have taken the last of a language with it, or an added one
//   brought a new one, and only a full run tells.
// - Both output formats write them into a file (never to standard output),
//   !_TAG_OUTPUT_MODE and !_TAG_FILE_SORTED among them: a file that does not
//   say how it was written and sorted may have been written otherwise than
//   the request says (an option file the caller did not read may ask for
//   --sort=foldcase or e-ctags), so a merge does not take it.
#include "tagsfile/PseudoTags.h"

#include <algorithm>

namespace kestrel {
namespace {

constexpr std::string_view kSorted = "!_TAG_FILE_SORTED";
constexpr std::string_view kOutputMode = "!_TAG_OUTPUT_MODE";

std::string_view NameOf(std::string_view line) {
    return line.substr(0, line.find('\t'));
}

// The field after the name; empty when there is none.
std::string_view ValueOf(std::string_view line) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
        return {};
    }
    const size_t end = line.find('\t', tab + 1);
    return line.substr(tab + 1, end == std::string_view::npos ? end : end - tab - 1);
}

bool IsPerLanguage(std::string_view line) {
    return NameOf(line).find('!', 1) != std::string_view::npos;
}

// The line as an unsorted run writes it.
std::string Unsorted(std::string_view sorted) {
    const std::string_view value = ValueOf(sorted);
    const size_t at = static_cast<size_t>(value.data() - sorted.data());
    return std::string(sorted.substr(0, at)) + "0" + std::string(sorted.substr(at + value.size()));
}

// Every line as a full run writes it, per-language ones apart, sorted.
std::vector<std::string> Comparable(const PseudoTagLines& lines, bool perLanguage, bool unsorted) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
        if (IsPerLanguage(line) == perLanguage) {
            kept.push_back(unsorted && NameOf(line) == kSorted ? Unsorted(line) : line);
        }
    }
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    return kept;
}

} // namespace

bool IsPseudoTag(std::string_view line) {
    return line.substr(0, 2) == "!_";
}

bool HeaderStays(const HeaderChange& change) {
    bool saysSort = false, saysMode = false;
    for (const std::string& line : *change.old) {
        const std::string_view name = NameOf(line), value = ValueOf(line);
        if (name == kSorted) {
            saysSort = true;
            if (value != (change.sort == TagsSort::Plain ? "1" : "2")) {
                return false;
            }
        }
        if (name == kOutputMode) {
            saysMode = true;
            if (value != (change.format == TagsFormat::UCtags ? "u-ctags" : "e-ctags")) {
                return false;
            }
        }
    }
    if (!saysSort || !saysMode) {
        return false;
    }
    const std::vector<std::string> languages = Comparable(*change.old, true, false);
    if (change.fresh == nullptr) {
        return languages.empty() || !change.dropsLines;
    }
    return languages == Comparable(*change.fresh, true, false) &&
           Comparable(*change.old, false, true) == Comparable(*change.fresh, false, false);
}

} // namespace kestrel
