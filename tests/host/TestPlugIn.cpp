// A plug-in for testing the stand-in host: it exports only OnCommand, as a
// plug-in in the making does, and uses every message and call of the host
// that Kestrel relies on. KESTREL_TEST_PLUGIN_MODE picks what a command does:
//   texts      status texts (ASCII, Japanese), the document path, a beep
//   background returns at once; a thread of its own then beeps and sends
//              "late 1" and "late 2", keeping the library loaded meanwhile
//   browse     opens the shell's folder browser on the document path and
//              reports the folder chosen ("browsed: <path>" or "browsed: none")
//   browse-twice  the same twice in a row
#include <windows.h>

#include <shlobj.h>

#include <cstring>

extern "C" void WINAPI OnCommand(HWND hwnd);

namespace {

constexpr UINT kStatusText = 0x0825;
constexpr UINT kDocumentPathQuery = 0x083A;
constexpr WPARAM kDocumentPathQueryKind = 0x0116;

// "選択されたフォルダ" and "表示ソフト" in code page 932; the second has
// trail bytes 0x5C, a backslash when read byte by byte.
const char kJapanese[] = "\x91\x49\x91\xF0\x82\xB3\x82\xEA\x82\xBD\x83\x74\x83\x48\x83\x8B\x83\x5F";
const char kTrailBackslash[] = "\x95\x5C\x8E\xA6\x83\x5C\x83\x74\x83\x67";
// "フォルダを選んでください"
const char kBrowseTitle[] = "\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xF0\x91\x49\x82\xF1\x82\xC5\x82"
                            "\xAD\x82\xBE\x82\xB3\x82\xA2";

void SendStatus(HWND hwnd, const char* text) {
    SendMessageA(hwnd, kStatusText, 0, reinterpret_cast<LPARAM>(text));
}

void DocumentPath(HWND hwnd, char (&path)[MAX_PATH]) {
    // Filled so that an unanswered query shows.
    std::memset(path, '?', sizeof path - 1);
    path[sizeof path - 1] = '\0';
    SendMessageA(hwnd, kDocumentPathQuery, kDocumentPathQueryKind, reinterpret_cast<LPARAM>(path));
}

void SendTexts(HWND hwnd) {
    SendStatus(hwnd, "first");
    SendStatus(hwnd, kJapanese);
    SendStatus(hwnd, kTrailBackslash);
    char path[MAX_PATH];
    DocumentPath(hwnd, path);
    char text[MAX_PATH + 16] = "document=";
    SendStatus(hwnd, lstrcatA(text, path));
    MessageBeep(0);
}

HMODULE g_self = nullptr; // the reference that the background thread holds

DWORD WINAPI SendLate(void* hwnd) {
    MessageBeep(MB_ICONEXCLAMATION);
    SendStatus(static_cast<HWND>(hwnd), "late 1");
    SendStatus(static_cast<HWND>(hwnd), "late 2");
    FreeLibraryAndExitThread(g_self, 0); // the library may go with it
}

void StartBackground(HWND hwnd) {
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&SendLate),
                       &g_self);
    HANDLE thread = CreateThread(nullptr, 0, &SendLate, hwnd, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(g_self);
        SendStatus(hwnd, "no thread");
        return;
    }
    CloseHandle(thread);
    SendStatus(hwnd, "started");
}

int CALLBACK SelectInitial(HWND browser, UINT message, LPARAM, LPARAM initial) {
    if (message == BFFM_INITIALIZED && initial != 0) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, initial);
    }
    return 0;
}

void Browse(HWND hwnd) {
    char initial[MAX_PATH];
    DocumentPath(hwnd, initial);
    BROWSEINFOA info = {};
    info.hwndOwner = hwnd;
    info.lpszTitle = kBrowseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_UAHINT | BIF_NONEWFOLDERBUTTON;
    info.lpfn = &SelectInitial;
    info.lParam = reinterpret_cast<LPARAM>(initial);
    char path[MAX_PATH] = {};
    if (PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info)) {
        if (!SHGetPathFromIDListA(chosen, path)) {
            path[0] = '\0';
        }
        CoTaskMemFree(chosen);
    }
    char text[MAX_PATH + 16] = "browsed: ";
    SendStatus(hwnd, lstrcatA(text, path[0] != '\0' ? path : "none"));
}

} // namespace

void WINAPI OnCommand(HWND hwnd) {
    char mode[32] = {};
    GetEnvironmentVariableA("KESTREL_TEST_PLUGIN_MODE", mode, sizeof mode);
    if (lstrcmpA(mode, "background") == 0) {
        StartBackground(hwnd);
    } else if (lstrcmpA(mode, "browse") == 0) {
        Browse(hwnd);
    } else if (lstrcmpA(mode, "browse-twice") == 0) {
        Browse(hwnd);
        Browse(hwnd);
    } else {
        SendTexts(hwnd);
    }
}
