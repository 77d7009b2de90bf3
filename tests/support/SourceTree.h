// A tree of C sources made from a seed, for the real ctags to read: the same
// shape and seed give the same bytes on every machine. Names repeat across
// files and in other cases, so that the tags of many files sort among each
// other. The tree remembers what its edits did since the last snapshot, as
// an update would name it: the files to tag again and the files whose lines
// go.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace kestrel::test {

struct TreeShape {
    int files = 200;
    int folders = 20;    // nested up to three deep below the root
    int headerEvery = 5; // every fifth file is a .h, which ctags reads as C++
    std::uint32_t seed = 31;
};

class SourceTree {
public:
    // Writes the tree under `root` (made if missing; a root that holds files
    // keeps them).
    SourceTree(std::string root, const TreeShape& shape);

    const std::string& Root() const { return m_root; }
    // The files now, relative to the root ("d3\d9\f107.c"), in byte order.
    const std::set<std::string>& Files() const { return m_files; }

    // Writes another text into `count` files spread over the tree; returns
    // their names.
    std::vector<std::string> Modify(int count);
    // Makes a new source `name` (and its folders) with a text of its own.
    void Add(const std::string& name);
    void Remove(const std::string& name);
    // Renames a file, or a folder with everything in it.
    void Rename(const std::string& from, const std::string& to);
    // Writes `text` as the file `name`, new or not.
    void Write(const std::string& name, const std::string& text);

    // Since the last snapshot (the tree as written counts as one): the files
    // there now that are new or were written, and the files there then that
    // were written or are gone. Both in byte order.
    std::vector<std::string> ToTag() const;
    std::vector<std::string> Dropped() const;
    void Snapshot();

private:
    std::string m_root;
    std::uint32_t m_seed;
    int m_variant = 0;
    std::set<std::string> m_files, m_before, m_written;
};

// The text of a source: declarations of functions, structs, macros, enums,
// typedefs and variables drawn from `key`.
std::string SourceText(std::uint32_t key);

} // namespace kestrel::test
