// Owner of one GDI bitmap, deleted when the owner goes.
#pragma once

#include <windows.h>

namespace kestrel::host {

class UniqueBitmap {
public:
    UniqueBitmap() = default;
    explicit UniqueBitmap(HBITMAP bitmap) : m_bitmap(bitmap) {}
    ~UniqueBitmap() { Reset(); }

    UniqueBitmap(UniqueBitmap&& other) noexcept : m_bitmap(other.m_bitmap) {
        other.m_bitmap = nullptr;
    }
    UniqueBitmap& operator=(UniqueBitmap&& other) noexcept {
        if (this != &other) {
            Reset(other.m_bitmap);
            other.m_bitmap = nullptr;
        }
        return *this;
    }
    UniqueBitmap(const UniqueBitmap&) = delete;
    UniqueBitmap& operator=(const UniqueBitmap&) = delete;

    HBITMAP Get() const { return m_bitmap; }

    void Reset(HBITMAP bitmap = nullptr) {
        if (m_bitmap != nullptr) {
            DeleteObject(m_bitmap);
        }
        m_bitmap = bitmap;
    }

private:
    HBITMAP m_bitmap = nullptr;
};

} // namespace kestrel::host
