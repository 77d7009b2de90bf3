// Expected texts are written in UTF-8 in the tests and compared in the
// system code page the plug-in speaks.
#pragma once

#include <string>

namespace kestrel::test {

std::string Cp932(const char* utf8);
std::string Utf8(const std::string& cp932);

} // namespace kestrel::test
