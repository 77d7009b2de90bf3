// Owns one open registry key and closes it when it goes out of scope.
#pragma once

#include <windows.h>

namespace kestrel {

class RegistryKey {
public:
    RegistryKey() noexcept = default;
    explicit RegistryKey(HKEY key) noexcept : m_key(key) {}
    ~RegistryKey();

    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY Get() const noexcept { return m_key; }
    bool IsOpen() const noexcept { return m_key != nullptr; }
    void Close() noexcept;

private:
    HKEY m_key = nullptr;
};

} // namespace kestrel
