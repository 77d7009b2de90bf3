// The options are split into words as the C runtime splits a command line:
// blanks and tabs outside double quotes end a word, quotes are removed, and
// backslashes escape a quote only when they stand right before it. Only the
// first bytes of a word matter here; longer words are cut in the copy.
#include "tagupdate/CtagsOptions.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "tagupdate/Environment.h"

namespace kestrel {
namespace {

// Short options whose argument is the rest of their group or the next word.
constexpr char kTakesArgument[] = "fohILD";

struct Word {
    char text[64];
    int length; // of the whole word; only the first bytes are in text
    bool quoteOpen;

    void Put(char c) {
        if (length < static_cast<int>(sizeof text) - 1) {
            text[length] = c;
        }
        ++length;
    }
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads the word at p and moves p past it; false when no word is left.
bool NextWord(const char*& p, Word& word) {
    while (IsBlank(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return false;
    }
    word.length = 0;
    word.quoteOpen = false;
    while (*p != '\0' && (word.quoteOpen || !IsBlank(*p))) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0') {
            word.Put(*p++); // the trail byte may be 0x5C and is no backslash
            word.Put(*p++);
        } else if (*p == '\\') {
            int backslashes = 0;
            for (; *p == '\\'; ++p) {
                ++backslashes;
            }
            const bool beforeQuote = *p == '"';
            for (int i = 0; i < (beforeQuote ? backslashes / 2 : backslashes); ++i) {
                word.Put('\\');
            }
            if (beforeQuote && backslashes % 2 == 1) {
                word.Put(*p++);
            }
        } else if (*p == '"') {
            word.quoteOpen = !word.quoteOpen;
            ++p;
        } else {
            word.Put(*p++);
        }
    }
    word.text[word.length < static_cast<int>(sizeof word.text) ? word.length
                                                               : sizeof word.text - 1] = '\0';
    return true;
}

bool IsCut(const Word& word) {
    return word.length >= static_cast<int>(sizeof word.text);
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
template <typename Visit> void ReadWords(const char* options, Visit visit) {
    bool argumentNext = false;
    Word word;
    for (const char* p = options; NextWord(p, word);) {
        const char* text = word.text;
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
bool ReadAppend(const char* options, bool append) {
    ReadWords(options, [&append](const Word& word, WordKind kind) {
        const char* text = word.text;
        if (kind != WordKind::Option) {
            return;
        }
        if (std::strcmp(text, "--append") == 0) {
            append = true;
        } else if (std::strncmp(text, "--append=", 9) == 0) {
            // A value ctags does not know stops it anyway; here it is yes.
            append = IsCut(word) || !MeansNo(text + 9);
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
    return ReadAppend(options, ReadAppend(EnvironmentVariable("CTAGS").Chars(), false));
}

bool NamesFileOperand(const char* options) {
    bool operand = false;
    ReadWords(options,
              [&operand](const Word&, WordKind kind) { operand |= kind == WordKind::Operand; });
    return operand;
}

bool LeavesArgumentOpen(const char* options) {
    bool open = false;
    ReadWords(options, [&open](const Word& word, WordKind kind) {
        open = kind == WordKind::Option && TakesNextWord(word.text);
    });
    return open;
}

bool LeavesQuoteOpen(const char* options) {
    bool open = false;
    Word word;
    for (const char* p = options; NextWord(p, word);) {
        open = word.quoteOpen;
    }
    return open;
}

} // namespace kestrel
