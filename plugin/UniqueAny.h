// One move-only owner for every kind of Windows resource: the value is given
// back with its close function on every road out of the owner's scope.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kestrel {

// Owns one value of type T that Close gives back. Invalid, read as the bit
// pattern of T, is the value that owns nothing (0 for most kinds, -1 for
// file handles from CreateFileA).
template <typename T, auto Close, std::intptr_t Invalid = 0> class UniqueAny {
public:
    static T InvalidValue() noexcept { return reinterpret_cast<T>(Invalid); }

    UniqueAny() noexcept = default;
    explicit UniqueAny(T value) noexcept : m_value(value) {}
    UniqueAny(UniqueAny&& other) noexcept : m_value(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { Reset(); }

    T Get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != InvalidValue(); }

    // Gives the value up without closing it.
    T Release() noexcept {
        const T value = m_value;
        m_value = InvalidValue();
        return value;
    }

    // Closes the value held, if any, and takes `value`.
    void Reset(T value = InvalidValue()) noexcept {
        if (m_value != InvalidValue()) {
            Close(m_value);
        }
        m_value = value;
    }

private:
    T m_value = InvalidValue();
};

// The kinds the plug-in holds; other programs declare their own.
// Process, thread and event handles.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;
// Files opened with CreateFileA, whose failure value is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueAny<HANDLE, &CloseHandle, -1>;
using UniqueRegKey = UniqueAny<HKEY, &RegCloseKey>;
// A reference to a loaded library, taken with LoadLibraryA or GetModuleHandleExA.
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;

} // namespace kestrel
