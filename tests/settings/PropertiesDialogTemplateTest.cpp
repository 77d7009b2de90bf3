// Dialog 106 as the built library carries it in Japanese and in English, read
// back field by field from its DLGTEMPLATEEX and DLGITEMTEMPLATEEX records:
// the resource compiler must not have added or changed a single style bit,
// and the languages differ only in their texts and font.
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/support/Sandbox.h"

namespace kestrel {
namespace {

// Reads the template's little-endian fields in order, never past its end.
class Reader {
public:
    Reader(const BYTE* data, DWORD size) : m_data(data), m_size(size) {}

    bool Failed() const { return m_failed; }

    template <class T> T Get() {
        T value{};
        if (m_offset + sizeof(T) > m_size) {
            m_failed = true;
            return value;
        }
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }
    std::wstring Text() {
        std::wstring text;
        for (WORD c = Get<WORD>(); c != 0 && !m_failed; c = Get<WORD>()) {
            text += static_cast<wchar_t>(c);
        }
        return text;
    }
    // The menu, class or text: a name, or an ordinal given as "#" and its number.
    std::wstring Name() {
        const WORD first = Get<WORD>();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Get<WORD>());
        }
        return first == 0 ? std::wstring() : static_cast<wchar_t>(first) + Text();
    }
    void AlignToDword() { m_offset = (m_offset + 3) & ~static_cast<size_t>(3); }

private:
    const BYTE* m_data;
    DWORD m_size;
    size_t m_offset = 0;
    bool m_failed = false;
};

struct ExpectedControl {
    DWORD id;
    WORD classAtom; // 0x80 button, 0x81 edit, 0x82 static
    const wchar_t* japanese;
    const wchar_t* english;
    short x, y, cx, cy;
    DWORD style;
};

const ExpectedControl kControls[] = {
    {0xFFFFFFFF, 0x82, L"tagsファイル名(&F):", L"Tags &file name:", 8, 8, 80, 8, 0x5002000C},
    {IDC_TAGS_FILE_NAME, 0x81, L"", L"", 8, 18, 80, 12, 0x50810080},
    {0xFFFFFFFF, 0x82, L"実行オプション(&O):", L"Run &options:", 8, 36, 172, 8, 0x5002000C},
    {IDC_EXEC_OPTION, 0x81, L"", L"", 8, 46, 172, 12, 0x50810080},
    {0xFFFFFFFF, 0x82, L"ctags実行ファイルのパス(&E):", L"Path of the ctags &executable:", 8, 64,
     172, 8, 0x5002000C},
    {IDC_EXEC_PATH, 0x81, L"", L"", 8, 74, 208, 12, 0x50810080},
    {IDC_BROWSE, 0x80, L"...", L"...", 220, 74, 12, 14, 0x50010000},
    {IDC_EXEC_SYNC, 0x80, L"更新が終わるのを待つ", L"Wait until the update has finished", 8, 92,
     172, 10, 0x50010003},
    {IDC_SHOW_CONSOLE, 0x80, L"出力をコンソールに表示", L"Show the output in a console", 8, 108,
     172, 10, 0x50010003},
    {IDC_ASK_FOLDER, 0x80, L"tagsが見つかった場合もフォルダを再確認する",
     L"Confirm the folder even if a tags file is found", 8, 124, 172, 10, 0x50010003},
    {IDOK, 0x80, L"OK", L"OK", 180, 8, 50, 14, 0x50010001},
    {IDCANCEL, 0x80, L"キャンセル", L"Cancel", 180, 24, 50, 14, 0x50010000},
};

// What differs between the languages: the texts and the font.
struct Language {
    WORD id;
    bool japanese;
    const wchar_t* title;
    WORD points;
    const wchar_t* font;
};

const Language kLanguages[] = {
    {MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), true, L"Kestrelのプロパティ", 9, L"MS UI Gothic"},
    {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), false, L"Kestrel Properties", 8,
     L"MS Shell Dlg"},
};

// A predefined class may be stored by name; the dialog manager treats it as
// the atom.
WORD ClassAtom(const std::wstring& name) {
    const wchar_t* const names[] = {L"Button", L"Edit", L"Static"};
    for (WORD atom = 0x80; atom <= 0x82; ++atom) {
        if (lstrcmpiW(name.c_str(), names[atom - 0x80]) == 0) {
            return atom;
        }
    }
    return name[0] == L'#' ? static_cast<WORD>(wcstol(name.c_str() + 1, nullptr, 10)) : 0;
}

void ExpectTemplate(HMODULE module, const Language& language) {
    SCOPED_TRACE(testing::Message() << "language " << language.id);
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                                  MAKEINTRESOURCEA(IDD_PROPERTIES), language.id);
    ASSERT_NE(nullptr, found) << "no dialog 106 in language " << language.id;
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    ASSERT_NE(nullptr, data);
    Reader in(data, SizeofResource(module, found));

    EXPECT_EQ(1, in.Get<WORD>());      // dlgVer
    EXPECT_EQ(0xFFFF, in.Get<WORD>()); // signature: the extended template
    EXPECT_EQ(0u, in.Get<DWORD>());    // helpID
    EXPECT_EQ(0u, in.Get<DWORD>());    // exStyle
    EXPECT_EQ(0x90C00040u, in.Get<DWORD>());
    const WORD count = in.Get<WORD>();
    EXPECT_EQ(12, count);
    EXPECT_EQ(16, in.Get<short>());
    EXPECT_EQ(16, in.Get<short>());
    EXPECT_EQ(243, in.Get<short>());
    EXPECT_EQ(144, in.Get<short>());
    EXPECT_EQ(L"", in.Name()) << "a menu";
    EXPECT_EQ(L"", in.Name()) << "a dialog class";
    EXPECT_EQ(language.title, in.Text());
    EXPECT_EQ(language.points, in.Get<WORD>());
    EXPECT_EQ(0, in.Get<WORD>()); // weight
    EXPECT_EQ(0, in.Get<BYTE>()); // italic
    EXPECT_EQ(0, in.Get<BYTE>()); // charset
    EXPECT_EQ(language.font, in.Text());
    ASSERT_FALSE(in.Failed());

    for (WORD i = 0; i < count && i < std::size(kControls); ++i) {
        const ExpectedControl& e = kControls[i];
        SCOPED_TRACE(testing::Message()
                     << "control " << i << " (id " << static_cast<int>(e.id) << ")");
        in.AlignToDword();
        EXPECT_EQ(0u, in.Get<DWORD>()); // helpID
        EXPECT_EQ(0u, in.Get<DWORD>()); // exStyle
        EXPECT_EQ(e.style, in.Get<DWORD>());
        EXPECT_EQ(e.x, in.Get<short>());
        EXPECT_EQ(e.y, in.Get<short>());
        EXPECT_EQ(e.cx, in.Get<short>());
        EXPECT_EQ(e.cy, in.Get<short>());
        EXPECT_EQ(e.id, in.Get<DWORD>());
        EXPECT_EQ(e.classAtom, ClassAtom(in.Name()));
        EXPECT_EQ(language.japanese ? e.japanese : e.english, in.Name());
        const WORD extra = in.Get<WORD>();
        EXPECT_EQ(0, extra);
        for (WORD b = 0; b < extra; ++b) {
            in.Get<BYTE>();
        }
        ASSERT_FALSE(in.Failed()) << "the template ends early";
    }
}

TEST(PropertiesDialogTemplate, BuiltLibraryHoldsDialog106InBothLanguages) {
    const std::string path = test::ProgramFolder() + "\\Kestrel.dll";
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, library) << path;
    for (const Language& language : kLanguages) {
        ExpectTemplate(library, language);
    }
    FreeLibrary(library);
}

// The copy linked into the test programs, which the dialog tests show.
TEST(PropertiesDialogTemplate, TestProgramHoldsTheSameDialog) {
    for (const Language& language : kLanguages) {
        ExpectTemplate(GetModuleHandleA(nullptr), language);
    }
}

} // namespace
} // namespace kestrel
