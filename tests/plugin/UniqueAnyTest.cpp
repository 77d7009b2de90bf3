#include "plugin/UniqueAny.h"

#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

namespace kestrel {
namespace {

static_assert(!std::is_copy_constructible<UniqueRegKey>::value, "one owner per key");
static_assert(!std::is_copy_assignable<UniqueRegKey>::value, "one owner per key");

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

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueAny, ClosesItsKeyOnce) {
    const HKEY raw = OpenSoftwareKey();
    {
        UniqueRegKey first(raw);
        UniqueRegKey second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(raw, second.Get());
        UniqueRegKey third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_TRUE(IsOpenKey(raw)); // the moved-from owners closed nothing
    }
    EXPECT_FALSE(IsOpenKey(raw));
}

TEST(UniqueAny, MoveAssignmentClosesTheKeyItHeld) {
    const HKEY held = OpenSoftwareKey();
    const HKEY incoming = OpenSoftwareKey();
    UniqueRegKey owner(held);
    owner = UniqueRegKey(incoming);
    EXPECT_FALSE(IsOpenKey(held));
    EXPECT_TRUE(IsOpenKey(incoming));
    owner.Reset();
    EXPECT_FALSE(owner);
    EXPECT_FALSE(IsOpenKey(incoming));
}

TEST(UniqueAny, ReleaseGivesUpWithoutClosingAndFileOwnersKnowTheirInvalidValue) {
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    UniqueHandle owner(event);
    EXPECT_EQ(event, owner.Release());
    EXPECT_FALSE(owner);
    EXPECT_TRUE(IsOpenHandle(event));
    CloseHandle(event);

    // A file owner holding INVALID_HANDLE_VALUE owns nothing; one holding
    // null would, so the two kinds must not be mixed up.
    const UniqueFile failed(CreateFileA("K:\\no such folder\\file", GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(INVALID_HANDLE_VALUE, failed.Get());
    EXPECT_FALSE(failed);
    EXPECT_EQ(nullptr, UniqueHandle().Get());
}

} // namespace
} // namespace kestrel
