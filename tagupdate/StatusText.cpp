#include "tagupdate/StatusText.h"

#include "plugin/HostInterface.h"

namespace kestrel {

void SendStatusText(HWND hwnd, const CountedString& text) {
    SendMessageA(hwnd, kStatusTextMessage, 0, reinterpret_cast<LPARAM>(text.Chars()));
}

} // namespace kestrel
