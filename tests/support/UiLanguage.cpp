#include "tests/support/UiLanguage.h"

#include <windows.h>

namespace kestrel::test {

bool JapaneseUi() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

} // namespace kestrel::test
