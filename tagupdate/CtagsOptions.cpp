// The options are split into words as the C runtime splits a command line:
// blanks and tabs outside double quotes end a word, quotes are removed, and
// backslashes escape a quote only when they stand right before it. ctags
// splits the CTAGS variable at white space alone, quotes and all. Words are
// read whole, at any length.
#include "tagupdate/CtagsOptions.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <string>

#include "tagupdate/Environment.h"

namespace kestrel {
namespace {

// Short options whose argument is the rest of their group or the next word.
constexpr char kTakesArgument[] = "fohILD";

// How a text is cut into words.
enum class Split { CommandLine, Variable };

struct Word {
    std::string text;
    bool quoteOpen = false;
    // A quote doubled inside a quoted part ("a""b"): one C runtime reads it
    // as a quote that ends the part, another as one that stays inside it.
    bool quoteDoubled = false;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// White space as ctags's C runtime sees it in the variable.
bool IsSpace(char c) {
    return IsBlank(c) || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the variable's word at p and moves p past it.
void ReadVariableWord(const char*& p, Word& word) {
    while (*p != '\0' && !IsSpace(*p)) {
        word.text += *p++;
    }
}

// Reads the command line's word at p and moves p past it.
void ReadCommandLineWord(const char*& p, Word& word) {
    while (*p != '\0' && (word.quoteOpen || !IsBlank(*p))) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            word.text += *p++; // the trail byte may be 0x5C and is no backslash
            word.text += *p++;
        } else if (*p == '\\') {
            size_t backslashes = 0;
            for (; *p == '\\'; ++p) {
                ++backslashes;
            }
            const bool beforeQuote = *p == '"';
            word.text.append(beforeQuote ? backslashes / 2 : backslashes, '\\');
            if (beforeQuote && backslashes % 2 == 1) {
                word.text += *p++;
            }
        } else if (*p == '"') {
            word.quoteDoubled |= word.quoteOpen && p[1] == '"';
            word.quoteOpen = !word.quoteOpen;
            ++p;
        } else {
            word.text += *p++;
        }
    }
}

// Reads the word at p and moves p past it; false when no word is left.
bool NextWord(const char*& p, Split split, Word& word) {
    const bool variable = split == Split::Variable;
    while (variable ? IsSpace(*p) : IsBlank(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    word.text.clear();
    word.quoteOpen = false;
    word.quoteDoubled = false;
    variable ? ReadVariableWord(p, word) : ReadCommandLineWord(p, word);
    return true;
}

bool MeansNo(const char* value) {
    for (const char* no : {"no", "off", "0", "false", "n"}) {
        if (lstrcmpiA(value, no) == 0) {
            return true;
        }
    }
    return false;
}

// The first option of a short-option group (the text after its '-') that
// takes an argument; the group's end when none does. The options before it
// stand alone.
const char* ArgumentTaker(const char* group) {
    return group + std::strcspn(group, kTakesArgument);
}

// Whether an option word is a short-option group whose last option takes
// the next word as its argument (-I, -RI).
bool TakesNextWord(const char* text) {
    if (text[0] != '-' || text[1] == '-') {
        return false;
    }
    const char* taker = ArgumentTaker(text + 1);
    return *taker != '\0' && taker[1] == '\0';
}

// How ctags takes each word of its command line.
enum class WordKind { Option, Argument, Operand };

// Calls visit(word, kind) for every word of `options`.
template <typename Visit> void ReadWords(const char* options, Split split, Visit visit) {
    bool argumentNext = false;
    Word word;
    for (const char* p = options; NextWord(p, split, word);) {
        const char* text = word.text.c_str();
        WordKind kind = WordKind::Option;
        if (argumentNext) {
            argumentNext = false;
            kind = WordKind::Argument;
        } else if (text[0] != '-') {
            kind = WordKind::Operand;
        } else {
            argumentNext = TakesNextWord(text);
        }
        visit(word, kind);
    }
}

// Follows the append options of `options`, starting from `append`.
bool ReadAppend(const char* options, Split split, bool append) {
    ReadWords(options, split, [&append](const Word& word, WordKind kind) {
        const char* text = word.text.c_str();
        if (kind != WordKind::Option) {
            return;
        }
        if (std::strcmp(text, "--append") == 0) {
            append = true;
        } else if (std::strncmp(text, "--append=", 9) == 0) {
            // A value ctags does not know stops it anyway; here it is yes.
            append = !MeansNo(text + 9);
        } else if (text[1] != '-') {
            const char* group = text + 1;
            append |= std::memchr(group, 'a', ArgumentTaker(group) - group) != nullptr;
        }
    });
    return append;
}

} // namespace

bool AsksToAppend(const char* options) {
    // ctags reads CTAGS before its command line; the command line's last
    // word on appending wins.
    const bool fromVariable =
        ReadAppend(EnvironmentVariable("CTAGS").Chars(), Split::Variable, false);
    return ReadAppend(options, Split::CommandLine, fromVariable);
}

bool NamesFileOperand(const char* options) {
    bool operand = false;
    ReadWords(options, Split::CommandLine,
              [&operand](const Word&, WordKind kind) { operand |= kind == WordKind::Operand; });
    return operand;
}

bool LeavesArgumentOpen(const char* options) {
    bool open = false;
    ReadWords(options, Split::CommandLine, [&open](const Word& word, WordKind kind) {
        open = kind == WordKind::Option && TakesNextWord(word.text.c_str());
    });
    return open;
}

bool LeavesQuoteOpen(const char* options) {
    bool open = false;
    Word word;
    for (const char* p = options; NextWord(p, Split::CommandLine, word);) {
        open = word.quoteOpen;
        if (word.quoteDoubled) {
            return true;
        }
    }
    return open;
}

} // namespace kestrel
