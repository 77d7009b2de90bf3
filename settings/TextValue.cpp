// The size of a value is asked first and the data read second; another
// program may change the value in between. A value that shrank, or grew into
// the spare byte, is read as it then stands. One that grew further is read
// again at its new size, a few times at most: a value that never holds still
// yields no text rather than a partial or invented one.
#include "settings/TextValue.h"

namespace kestrel {
namespace {

constexpr int kReadAttempts = 4;

// No setting comes near this; a larger value is not worth the memory and a
// size near 4 GiB would not even fit the string's length.
constexpr DWORD kLargestText = 16 * 1024 * 1024;

} // namespace

CountedString ReadTextValue(HKEY key, const char* name) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return CountedString();
    }
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (size > kLargestText) {
            return CountedString();
        }
        // One byte beyond the data, so a text stored without its NUL still
        // ends; the string adds room for the NUL written after it.
        const DWORD room = size + 1;
        CountedString text;
        char* buffer = text.GetBuffer(static_cast<int>(room));
        DWORD received = room;
        const LONG status = RegQueryValueExA(key, name, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(buffer), &received);
        if (status == ERROR_SUCCESS) {
            buffer[received < room ? received : room] = '\0';
            text.ReleaseBuffer(-1);
            return text;
        }
        if (status != ERROR_MORE_DATA) {
            return CountedString(); // gone since its size was asked
        }
        size = received; // grown: the size it needs now
    }
    return CountedString();
}

} // namespace kestrel
