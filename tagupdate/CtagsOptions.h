// What ctags will make of the options text, read the way it reads its own
// command line.
#pragma once

namespace kestrel {

// Whether ctags would add to its -f file instead of rewriting it: -a, alone
// or in a group (-Ra), or --append with no value or any value but no, off,
// 0, false or n (in any case); the last one given wins, in the CTAGS
// environment variable (which ctags reads first, split at white space only)
// and then in the options.
bool AsksToAppend(const char* options);

// Whether a word of the options is a file operand, neither an option nor an
// option's argument (-R ., *.c). ctags opens its default tags file for
// writing at the first operand, before it reads the -f that follows.
bool NamesFileOperand(const char* options);

// Whether the last word of the options is a short option still waiting for
// its argument (-f, -o, -h, -I, -L, -D, alone or ending a group as in -RI):
// ctags would take the -f that follows as that argument and the file name
// after it as a file operand. CTAGS does not count: ctags drops such an
// option at the end of the variable.
bool LeavesArgumentOpen(const char* options);

// Whether ctags may read a double quote as left open, taking the -f after
// the options into the same word: the options end inside a quote, or double
// a quote inside a quoted part ("a""" -R), which the C runtimes read in
// different ways (one ends the part there, another does not).
bool LeavesQuoteOpen(const char* options);

} // namespace kestrel
