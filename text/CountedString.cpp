// Sharing rules of CountedString.
//
// Every representation is one block: a StringHeader, then capacity + 1 bytes
// of characters. The object points at the characters. A count of 1 means the
// block is this object's alone and may be written in place; a count above 1
// means it is shared and is copied before any write. Every empty string with
// no buffer of its own points at one static block whose count is -1: it is
// recognised by its address, never written and never freed, so making an
// empty string allocates nothing and any thread may read it.
//
// Counts change only through InterlockedIncrement/Decrement, so objects in
// different threads that share a block may be copied and destroyed at once;
// the thread whose decrement reaches 0 frees the block. Writers allocate their
// private copy before they drop the old reference, so a block is never freed
// under a copy in progress. When allocation throws, every object still holds
// a valid representation: its old one, or the shared empty one.
#include "text/CountedString.h"

#include "text/ResourceText.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace kestrel {
namespace {

struct EmptyRepresentation {
    StringHeader header;
    char terminator;
};
EmptyRepresentation g_emptyRepresentation = {{-1, 0, 0}, '\0'};

StringHeader* EmptyHeader() {
    return &g_emptyRepresentation.header;
}
char* EmptyChars() {
    return &g_emptyRepresentation.terminator;
}

StringHeader* HeaderOf(char* chars) {
    return reinterpret_cast<StringHeader*>(chars) - 1;
}

LONG CountOf(const StringHeader* header) {
    return *static_cast<const volatile LONG*>(&header->count);
}

// A fresh block for n > 0 bytes: count 1, length n, capacity n.
char* NewBlock(int n) {
    void* block = ::operator new(sizeof(StringHeader) + static_cast<std::size_t>(n) + 1);
    StringHeader* header = static_cast<StringHeader*>(block);
    header->count = 1;
    header->length = n;
    header->capacity = n;
    header->Chars()[n] = '\0';
    return header->Chars();
}

int CheckedSum(int a, int b) {
    const long long sum = static_cast<long long>(a) + b;
    if (sum > 0x7FFFFFFF - static_cast<long long>(sizeof(StringHeader)) - 1) {
        throw std::bad_alloc();
    }
    return static_cast<int>(sum);
}

int TextLength(const char* text) {
    return text ? lstrlenA(text) : 0;
}

} // namespace

const StringHeader* CountedString::SharedEmpty() noexcept {
    return EmptyHeader();
}

CountedString::CountedString() noexcept : m_chars(EmptyChars()) {
}

// Delegates to the default constructor so that the object counts as built
// before loading starts: when a later allocation of LoadResource throws, the
// destructor frees the block it already took.
CountedString::CountedString(const char* textOrId) : CountedString() {
    if (textOrId == nullptr) {
        return;
    }
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(textOrId);
    if ((value >> 16) == 0) {
        LoadResource(static_cast<UINT>(value & 0xFFFF));
        return;
    }
    const int n = lstrlenA(textOrId);
    if (n > 0) {
        Allocate(n);
        std::memcpy(m_chars, textOrId, static_cast<std::size_t>(n));
    }
}

CountedString::CountedString(const CountedString& other) noexcept : m_chars(EmptyChars()) {
    StringHeader* source = HeaderOf(other.m_chars);
    if (CountOf(source) >= 0) {
        InterlockedIncrement(&source->count);
        m_chars = other.m_chars;
    }
}

CountedString::CountedString(CountedString&& other) noexcept : m_chars(other.m_chars) {
    other.m_chars = EmptyChars();
}

CountedString::~CountedString() {
    Release();
}

CountedString& CountedString::operator=(const CountedString& other) noexcept {
    if (m_chars == other.m_chars) {
        return *this;
    }
    StringHeader* source = HeaderOf(other.m_chars);
    if (CountOf(source) < 0) {
        Overwrite(0, other.m_chars); // allocates nothing
        return *this;
    }
    InterlockedIncrement(&source->count);
    Release();
    m_chars = other.m_chars;
    return *this;
}

CountedString& CountedString::operator=(CountedString&& other) noexcept {
    if (this != &other) {
        Release();
        m_chars = other.m_chars;
        other.m_chars = EmptyChars();
    }
    return *this;
}

CountedString& CountedString::operator=(const char* text) {
    Overwrite(TextLength(text), text);
    return *this;
}

CountedString operator+(const CountedString& a, const CountedString& b) {
    CountedString result;
    const int total = CheckedSum(a.Length(), b.Length());
    if (total > 0) {
        result.Allocate(total);
        std::memcpy(result.m_chars, a.m_chars, static_cast<std::size_t>(a.Length()));
        std::memcpy(result.m_chars + a.Length(), b.m_chars, static_cast<std::size_t>(b.Length()));
    }
    return result;
}

CountedString operator+(const CountedString& a, const char* b) {
    CountedString result;
    const int bLength = TextLength(b);
    const int total = CheckedSum(a.Length(), bLength);
    if (total > 0) {
        result.Allocate(total);
        std::memcpy(result.m_chars, a.m_chars, static_cast<std::size_t>(a.Length()));
        std::memcpy(result.m_chars + a.Length(), b, static_cast<std::size_t>(bLength));
    }
    return result;
}

CountedString CountedString::Left(int n) const {
    if (n < 0) {
        n = 0;
    }
    if (n > Length()) {
        n = Length();
    }
    CountedString result;
    if (n > 0) {
        result.Allocate(n);
        std::memcpy(result.m_chars, m_chars, static_cast<std::size_t>(n));
    }
    return result;
}

int CountedString::FindLast(char c) const {
    if (c == '\0') {
        return -1;
    }
    int found = -1;
    for (const char* p = m_chars; *p != '\0'; p = CharNextA(p)) {
        if (*p == c) {
            found = static_cast<int>(p - m_chars);
        }
    }
    return found;
}

char* CountedString::GetBuffer(int minCapacity) {
    if (minCapacity < 0) {
        minCapacity = 0;
    }
    StringHeader* header = MutableHeader();
    if (CountOf(header) > 1 || header->capacity < minCapacity) {
        const int oldLength = header->length;
        const int capacity = minCapacity > oldLength ? minCapacity : oldLength;
        if (capacity == 0) { // a shared block holding no text
            Release();
            return m_chars;
        }
        CheckedSum(capacity, 0);
        char* fresh = NewBlock(capacity);
        std::memcpy(fresh, m_chars, static_cast<std::size_t>(oldLength) + 1);
        HeaderOf(fresh)->length = oldLength;
        Release();
        m_chars = fresh;
    }
    return m_chars;
}

void CountedString::ReleaseBuffer(int newLength) {
    MakeUnique();
    StringHeader* header = MutableHeader();
    if (header == EmptyHeader()) {
        return;
    }
    if (newLength < 0 || newLength > header->capacity) {
        // Measured, but never past the block: a writer that lost its NUL
        // still leaves a text that ends inside the block.
        const void* nul = std::memchr(m_chars, '\0', static_cast<std::size_t>(header->capacity));
        newLength =
            nul ? static_cast<int>(static_cast<const char*>(nul) - m_chars) : header->capacity;
    }
    header->length = newLength;
    m_chars[newLength] = '\0';
}

bool CountedString::LoadResource(UINT id) {
    char local[256];
    int n = LoadResourceText(id, local, sizeof local);
    if (static_cast<int>(sizeof local) - n > 2) {
        *this = local;
        return n > 0;
    }
    // The text may have been cut: read it again into ever larger buffers.
    for (int size = 512;; size += 256) {
        char* buffer = GetBuffer(size - 1);
        n = LoadResourceText(id, buffer, size);
        if (size - n > 2) {
            break;
        }
        // The cut text is read again; until then the stored length and the
        // characters must agree, should the larger buffer fail to come.
        MutableHeader()->length = 0;
        buffer[0] = '\0';
    }
    ReleaseBuffer(-1);
    return n > 0;
}

bool CountedString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
    return true;
}

bool CountedString::FormatV(const char* format, va_list args) {
    constexpr int kLimit = 2048;
    // The format text or an argument may lie in this string's own block,
    // which GetBuffer may free and the output would overwrite: the output is
    // made aside first. Output beyond kLimit bytes is cut.
    char output[kLimit + 1];
    std::vsnprintf(output, sizeof output, format, args);
    output[kLimit] = '\0';
    const std::size_t length = std::strlen(output);
    std::memcpy(GetBuffer(kLimit), output, length + 1);
    ReleaseBuffer(static_cast<int>(length));
    return true;
}

bool FormatResource(CountedString& target, UINT id, ...) {
    CountedString format;
    format.LoadResource(id);
    va_list args;
    va_start(args, id);
    target.FormatV(format.Chars(), args);
    va_end(args);
    return true;
}

void CountedString::Allocate(int n) {
    m_chars = n == 0 ? EmptyChars() : NewBlock(n);
}

void CountedString::Release() noexcept {
    StringHeader* header = MutableHeader();
    if (header != EmptyHeader()) {
        if (InterlockedDecrement(&header->count) <= 0) {
            ::operator delete(header);
        }
    }
    m_chars = EmptyChars();
}

void CountedString::MakeUnique() {
    StringHeader* header = MutableHeader();
    if (CountOf(header) <= 1) {
        return;
    }
    const int length = header->length;
    if (length == 0) {
        Release();
        return;
    }
    char* fresh = NewBlock(length);
    std::memcpy(fresh, m_chars, static_cast<std::size_t>(length) + 1);
    Release();
    m_chars = fresh;
}

void CountedString::Overwrite(int n, const char* bytes) {
    StringHeader* header = MutableHeader();
    if (CountOf(header) > 1 || header->capacity < n) {
        Release();
        Allocate(n);
        header = MutableHeader();
    }
    if (header == EmptyHeader()) {
        return;
    }
    std::memmove(m_chars, bytes, static_cast<std::size_t>(n)); // bytes may lie in this block
    header->length = n;
    m_chars[n] = '\0';
}

} // namespace kestrel
