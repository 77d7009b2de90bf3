// A reference-counted, copy-on-write string of bytes in the system's ANSI
// code page. The object is a single pointer to its first character, so its
// text goes straight into the Windows ANSI functions.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>

namespace kestrel {

// Lies immediately before the characters of every representation.
struct StringHeader {
    LONG count;            // holders; negative only for the shared empty one
    std::int32_t length;   // bytes of text, without the terminator
    std::int32_t capacity; // bytes of text the block has room for
    char* Chars() { return reinterpret_cast<char*>(this + 1); }
};
static_assert(sizeof(StringHeader) == 12, "the header is three 32-bit fields");

class CountedString {
public:
    CountedString() noexcept;
    // A pointer value from 1 to 0xFFFF is a string-table id, not a text.
    CountedString(const char* textOrId);
    CountedString(const CountedString& other) noexcept;
    CountedString(CountedString&& other) noexcept;
    ~CountedString();

    CountedString& operator=(const CountedString& other) noexcept;
    CountedString& operator=(CountedString&& other) noexcept;
    CountedString& operator=(const char* text); // null is the empty text

    friend CountedString operator+(const CountedString& a, const CountedString& b);
    friend CountedString operator+(const CountedString& a, const char* b);

    CountedString Left(int n) const;
    // Byte offset of the last character equal to c, walking by characters of
    // the ANSI code page; -1 if there is none.
    int FindLast(char c) const;

    // A writable buffer with room for at least minCapacity bytes and a NUL;
    // the text and its length are kept.
    char* GetBuffer(int minCapacity);
    // Ends a write through GetBuffer; -1 measures the text up to its NUL.
    void ReleaseBuffer(int newLength = -1);

    const char* Chars() const noexcept { return m_chars; }
    int Length() const noexcept { return Header()->length; }
    bool IsEmpty() const noexcept { return Header()->length == 0; }

    // Loads a string-table text of any length from the module's resources.
    bool LoadResource(UINT id);
    // printf-style, at most 2048 bytes of output. The format text and the
    // arguments may be this string's own characters.
    bool Format(const char* format, ...);
    bool FormatV(const char* format, va_list args);

private:
    // Tests look at the representation through text/CountedStringForTests.h.
    friend struct CountedStringForTests;

    const StringHeader* Header() const noexcept {
        return reinterpret_cast<const StringHeader*>(m_chars) - 1;
    }
    static const StringHeader* SharedEmpty() noexcept;
    StringHeader* MutableHeader() noexcept { return reinterpret_cast<StringHeader*>(m_chars) - 1; }
    void Allocate(int n);
    void Release() noexcept;
    void MakeUnique();
    void Overwrite(int n, const char* bytes);

    char* m_chars;
};

static_assert(sizeof(CountedString) == sizeof(char*), "the object is its pointer");

// Formats string-table text `id` with the arguments into target. A
// CountedString argument is passed as its Chars(), target's own as well.
bool FormatResource(CountedString& target, UINT id, ...);

} // namespace kestrel
