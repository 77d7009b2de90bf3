#include "host/Output.h"

#include <windows.h>

namespace kestrel::host {

namespace {

std::wstring Widen(const char* text, UINT codePage) {
    const int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

void WriteLine(DWORD stdHandle, const std::string& utf8Line) {
    HANDLE out = GetStdHandle(stdHandle);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(out, &mode)) {
        // A console shows UTF-8 bytes in its own code page; hand it UTF-16.
        const std::wstring wide = Widen((utf8Line + "\r\n").c_str(), CP_UTF8);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const std::string line = utf8Line + "\n";
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

std::string AnsiToUtf8(const char* ansi) {
    const std::wstring wide = Widen(ansi, CP_ACP);
    if (wide.empty()) {
        return std::string();
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], length, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(length - 1));
    return utf8;
}

void PrintLine(const std::string& utf8Line) {
    WriteLine(STD_OUTPUT_HANDLE, utf8Line);
}

void PrintError(const std::string& utf8Line) {
    WriteLine(STD_ERROR_HANDLE, utf8Line);
}

} // namespace kestrel::host
