#include "tests/support/Cp932.h"

#include <windows.h>

namespace kestrel::test {
namespace {

std::string Convert(const std::string& text, UINT from, UINT to) {
    const int wide =
        MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring buffer(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), buffer.data(), wide);
    const int narrow =
        WideCharToMultiByte(to, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(to, 0, buffer.data(), wide, result.data(), narrow, nullptr, nullptr);
    return result;
}

} // namespace

std::string Cp932(const char* utf8) {
    return Convert(utf8, CP_UTF8, 932);
}
std::string Utf8(const std::string& cp932) {
    return Convert(cp932, 932, CP_UTF8);
}

} // namespace kestrel::test
