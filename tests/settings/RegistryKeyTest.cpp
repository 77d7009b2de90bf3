#include "settings/RegistryKey.h"

#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

static_assert(!std::is_copy_constructible<RegistryKey>::value, "one owner per key");
static_assert(!std::is_copy_assignable<RegistryKey>::value, "one owner per key");

HKEY OpenSoftwareKey() {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key));
    return key;
}

bool IsOpenKey(HKEY key) {
    DWORD subkeys = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

TEST(RegistryKey, ClosesItsKeyOnce) {
    const HKEY raw = OpenSoftwareKey();
    {
        RegistryKey first(raw);
        RegistryKey second(std::move(first));
        EXPECT_FALSE(first.IsOpen());
        EXPECT_EQ(raw, second.Get());
        RegistryKey third;
        third = std::move(second);
        EXPECT_FALSE(second.IsOpen());
        EXPECT_TRUE(IsOpenKey(raw)); // the moved-from owners closed nothing
    }
    EXPECT_FALSE(IsOpenKey(raw));
}

TEST(RegistryKey, MoveAssignmentClosesTheKeyItHeld) {
    const HKEY held = OpenSoftwareKey();
    const HKEY incoming = OpenSoftwareKey();
    RegistryKey owner(held);
    owner = RegistryKey(incoming);
    EXPECT_FALSE(IsOpenKey(held));
    EXPECT_TRUE(IsOpenKey(incoming));
    owner.Close();
    EXPECT_FALSE(owner.IsOpen());
    EXPECT_FALSE(IsOpenKey(incoming));
}

} // namespace
} // namespace kestrel
