// Folders, files and the fake ctags that the command tests run against.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kestrel::test {

// Creates every folder of `path` (system code page) and lists each one once,
// so that the folder browser can select it under Wine.
void MakeFolders(const std::string& path);
// Creates the file, and the folders it lies in, and lists its folder. These
// three reach a file at any path length.
void MakeFile(const std::string& path, const std::string& contents = "");
std::string FileContents(const std::string& path); // every byte; empty when missing
void RemoveFile(const std::string& path);
bool Exists(const std::string& path);
// Makes `link` a Unix symbolic link to `target`, a name in the link's folder,
// with the system's ln (Wine makes none itself); waits until it shows.
bool MakeUnixLink(const std::string& target, const std::string& link);

// The folder of the test program, where the build puts every program.
std::string ProgramFolder();
std::string FakeCtagsPath();
// What the fake ctags writes for -f NAME.
inline constexpr char kFakeTags[] = "!_TAG_FILE_FORMAT\t2\t/extended format/\n"
                                    "main\tmain.c\t/^int main(void)$/;\"\tf\n";

// Whether a process of that program name runs in this Wine prefix.
bool IsRunning(const char* program);

// A fresh record file for the fake ctags, named in its environment.
std::string StartFakeCtagsRecord();

// One started fake ctags as it saw itself: "cmdline", "cwd", "console".
using FakeCtagsRecord = std::map<std::string, std::string>;
std::vector<FakeCtagsRecord> ReadFakeCtagsRecords(const std::string& path);

} // namespace kestrel::test
