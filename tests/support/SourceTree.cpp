#include "tests/support/SourceTree.h"

#include <windows.h>

#include <cstdio>

namespace kestrel::test {
namespace {

// xorshift32: the same numbers from the same key with every compiler, where
// the standard library's distributions may differ.
class Random {
public:
    explicit Random(std::uint32_t key) : m_state(key * 2654435761u + 0x9E3779B9u) {
        if (m_state == 0) {
            m_state = 1;
        }
        Next();
    }
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t m_state;
};

// Few words, so that the same names turn up in many files, some of them
// the start of others ("read", "read_node", "reader": "_" sorts between
// the upper and the lower case letters).
const char* const kWords[] = {"buffer", "node",  "list",   "parse", "read",   "write",
                              "init",   "free",  "count",  "table", "entry",  "state",
                              "token",  "value", "open",   "close", "hash",   "queue",
                              "lock",   "item",  "reader", "nodes", "listing"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);

enum class Case { Lower, Capital, Upper };

std::string Spelt(const char* word, Case style) {
    std::string text = word;
    for (size_t i = 0; i < text.size(); ++i) {
        if (style == Case::Upper || (style == Case::Capital && i == 0)) {
            text[i] = static_cast<char>(text[i] - 'a' + 'A');
        }
    }
    return text;
}

// word or word_word, in the file's case; now and then with a number.
std::string Name(Random& random, Case style) {
    std::string name = Spelt(kWords[random.Below(kWordCount)], style);
    if (random.Below(2) == 0) {
        name += "_" + Spelt(kWords[random.Below(kWordCount)], style);
    }
    if (random.Below(4) == 0) {
        name += std::to_string(random.Below(10));
    }
    return name;
}

std::string FolderPath(int folder) {
    // Folders 0-5 lie in the root; folder i above them in folder i/6 - 1.
    const std::string name = "d" + std::to_string(folder);
    return folder < 6 ? name : FolderPath(folder / 6 - 1) + "\\" + name;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD wrote = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) &&
        wrote == text.size();
    CloseHandle(file);
    return ok;
}

void MakeFoldersOf(const std::string& path) {
    for (size_t end = path.find('\\', 3); end != std::string::npos;
         end = path.find('\\', end + 1)) {
        CreateDirectoryA(path.substr(0, end).c_str(), nullptr);
    }
}

std::uint32_t KeyOf(const std::string& name, std::uint32_t seed) {
    std::uint32_t key = seed;
    for (char c : name) {
        key = key * 31 + static_cast<unsigned char>(c);
    }
    return key;
}

} // namespace

std::string SourceText(std::uint32_t key) {
    Random random(key);
    // One case for the whole file: lines equal but for case would come only
    // from different files, whose names differ.
    const Case style = static_cast<Case>(random.Below(3));
    std::string text =
        "/* generated source " + std::to_string(key) + " */\n#include <stddef.h>\n\n";
    const int declarations = 3 + random.Below(8);
    for (int i = 0; i < declarations; ++i) {
        const std::string name = Name(random, style);
        const int number = random.Below(1000);
        switch (random.Below(7)) {
        case 0:
            text += "#define " + Spelt(kWords[random.Below(kWordCount)], Case::Upper) + "_" +
                    std::to_string(number % 20) + " " + std::to_string(number) + "\n\n";
            break;
        case 1:
            text += "struct " + name + " {\n    int " + Name(random, style) + ";\n    char *" +
                    Name(random, style) + ";\n};\n\n";
            break;
        case 2:
            text += "typedef struct " + name + "_s {\n    long " + Name(random, style) + ";\n} " +
                    name + "_t;\n\n";
            break;
        case 3: {
            const std::string upper = Spelt(kWords[random.Below(kWordCount)], Case::Upper);
            text += "enum " + name + " { " + upper + "_A" + std::to_string(number % 7) + ", " +
                    upper + "_B };\n\n";
            break;
        }
        case 4:
            text += (random.Below(2) == 0 ? "static int " : "int ") + name + " = " +
                    std::to_string(number) + ";\n\n";
            break;
        default:
            text += (random.Below(3) == 0 ? "static int " : "int ") + name + "(int " +
                    Name(random, style) + ")\n{\n    return " + std::to_string(number) + ";\n}\n\n";
            break;
        }
    }
    return text;
}

SourceTree::SourceTree(std::string root, const TreeShape& shape)
    : m_root(std::move(root)), m_seed(shape.seed) {
    CreateDirectoryA(m_root.c_str(), nullptr);
    MakeFoldersOf(m_root + "\\");
    for (int folder = 0; folder < shape.folders; ++folder) {
        CreateDirectoryA((m_root + "\\" + FolderPath(folder)).c_str(), nullptr);
    }
    Random place(shape.seed);
    for (int file = 0; file < shape.files; ++file) {
        const int folder = place.Below(shape.folders + 1); // the last one: the root
        const bool header = shape.headerEvery > 0 && file % shape.headerEvery == 0;
        const std::string name = (folder == shape.folders ? "" : FolderPath(folder) + "\\") + "f" +
                                 std::to_string(file) + (header ? ".h" : ".c");
        Write(name, SourceText(KeyOf(name, m_seed)));
    }
    Snapshot();
}

void SourceTree::Write(const std::string& name, const std::string& text) {
    const std::string path = m_root + "\\" + name;
    MakeFoldersOf(path);
    if (!WriteWhole(path, text)) {
        std::fprintf(stderr, "SourceTree: cannot write %s (%lu)\n", path.c_str(), GetLastError());
    }
    m_files.insert(name);
    m_written.insert(name);
}

std::vector<std::string> SourceTree::Modify(int count) {
    ++m_variant;
    std::vector<std::string> names(m_files.begin(), m_files.end());
    std::vector<std::string> modified;
    const size_t step = names.size() / (count > 0 ? count : 1);
    for (int i = 0; i < count && i < static_cast<int>(names.size()); ++i) {
        const std::string& name = names[(i * (step > 0 ? step : 1) + m_variant) % names.size()];
        Write(name, SourceText(KeyOf(name, m_seed) + 7919u * m_variant));
        modified.push_back(name);
    }
    return modified;
}

void SourceTree::Add(const std::string& name) {
    Write(name, SourceText(KeyOf(name, m_seed ^ 0x5A5A5A5Au)));
}

void SourceTree::Remove(const std::string& name) {
    DeleteFileA((m_root + "\\" + name).c_str());
    m_files.erase(name);
}

void SourceTree::Rename(const std::string& from, const std::string& to) {
    const std::string to_path = m_root + "\\" + to;
    MakeFoldersOf(to_path);
    MoveFileA((m_root + "\\" + from).c_str(), to_path.c_str());
    if (m_files.erase(from) > 0) {
        m_files.insert(to);
        return;
    }
    const std::string folder = from + "\\";
    for (auto it = m_files.lower_bound(folder);
         it != m_files.end() && it->compare(0, folder.size(), folder) == 0;) {
        m_files.insert(to + "\\" + it->substr(folder.size()));
        it = m_files.erase(it);
    }
}

std::vector<std::string> SourceTree::ToTag() const {
    std::vector<std::string> names;
    for (const std::string& name : m_files) {
        if (m_written.count(name) > 0 || m_before.count(name) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<std::string> SourceTree::Dropped() const {
    std::vector<std::string> names;
    for (const std::string& name : m_before) {
        if (m_written.count(name) > 0 || m_files.count(name) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

void SourceTree::Snapshot() {
    m_before = m_files;
    m_written.clear();
}

} // namespace kestrel::test
