// The resources of the built Kestrel.dll, read back as the editor reads them.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Sandbox.h"
#include "tests/support/UiLanguage.h"

namespace kestrel::test {
namespace {

const LANGID kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// A text as the ANSI functions of this run give it back.
std::string InAnsiCodePage(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
    return text;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, module) << "Kestrel.dll beside the test program"; }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    // The whole string-table entry, embedded NULs included, in the language
    // that the loader picks for this run.
    std::string Text(UINT id) const {
        char buffer[512];
        const int length = LoadStringA(module, id, buffer, sizeof buffer);
        return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    }

    // The entry as the table of one language stores it.
    std::wstring Entry(UINT id, LANGID language) const {
        const HRSRC block = FindResourceExA(module, MAKEINTRESOURCEA(6) /* RT_STRING */,
                                            MAKEINTRESOURCEA(id / 16 + 1), language);
        if (block == nullptr) {
            return L"(no block)";
        }
        const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(module, block)));
        for (UINT index = 0; index < id % 16; ++index) {
            entry += *entry + 1;
        }
        return std::wstring(entry + 1, *entry);
    }

    HMODULE module = LoadLibraryExA((ProgramFolder() + "\\Kestrel.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
};

TEST_F(ResourcesTest, StringTablesHoldEveryTextInBothLanguages) {
    struct Row {
        UINT id;
        std::wstring japanese, english;
    };
    // The filter: description, NUL, pattern.
    const std::wstring nul(1, L'\0');
    const Row rows[] = {
        {1, L"TAGS(ctags)更新", L"Update TAGS (ctags)"},
        {2, L"ctagsを実行しTAGSファイルを更新します。\nTAGS更新",
         L"Runs ctags and updates the TAGS file.\nUpdate TAGS"},
        {3, L"アンインストールしてもよろしいですか？", L"Are you sure you want to uninstall?"},
        {4, L"Kestrel", L"Kestrel"},
        {5, L"0.3 by Tobrin", L"0.3 by Tobrin"},
        {500, L"tagsを生成するフォルダを選択してください",
         L"Select the folder in which to generate tags"},
        {501, L"選択されたフォルダで %s を実行します。", L"%s will run in the selected folder."},
        {502, L"%s を実行しました。", L"Ran %s."},
        {503, L"%s を実行できませんでした。", L"Could not run %s."},
        {504, L"%s を実行しています。", L"%s is running."},
        {505, L"CTAGSの実行ファイルを指定", L"Specify the CTAGS executable"},
        {506, L"CTAGS実行ファイル(*.exe)" + nul + L"*.exe",
         L"CTAGS executable (*.exe)" + nul + L"*.exe"},
        {507, L"%s を実行しましたがエラー終了しました。", L"Ran %s, but it ended with an error."},
        {508, L"ctags を２重に起動することはできません。",
         L"ctags cannot be started a second time while it is running."},
        {509, L"%s を停止しました。ディスクの空きが少なくなっています。",
         L"%s was stopped: the disk is nearly full."},
        {510, L"（%s）", L" (%s)"},
        {511, L"%s が PATH にもエディタのフォルダにも見つかりません",
         L"%s was found neither on the PATH nor beside the editor"},
        {512, L"%s が見つかりません", L"%s was not found"},
        {513, L"オプションの %s では ctags が別の場所に書き込むか失敗します",
         L"the option word %s would make ctags write elsewhere or fail"},
        {514, L"%s はフォルダか読み取り専用です", L"%s is a folder or read-only"},
        {515, L"%s は tags ファイルではないため、ctags は上書きしません",
         L"%s is not a tags file, so ctags would not overwrite it"},
        {516, L"前回の一時ファイル %s を削除できません",
         L"the leftover %s of an earlier run cannot be removed"},
        {517, L"終了コード %s", L"exit code %s"},
        {518, L"エラー %s", L"error %s"},
    };
    const bool japanese = JapaneseUi();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "string " << row.id);
        EXPECT_EQ(row.japanese, Entry(row.id, kJapanese));
        EXPECT_EQ(row.english, Entry(row.id, kEnglish));
        // The loader's choice for this run, in its code page.
        EXPECT_EQ(InAnsiCodePage(japanese ? row.japanese : row.english), Text(row.id));
    }
    // The filter's entry counts its embedded NUL: 24 and 30 characters.
    EXPECT_EQ(24u, Entry(506, kJapanese).size());
    EXPECT_EQ(30u, Entry(506, kEnglish).size());
}

TEST_F(ResourcesTest, BitmapsAreJapaneseEightBitWithSixteenColours) {
    struct Row {
        int id;
        LONG size;
    };
    for (const Row& row : {Row{101, 16}, Row{102, 24}}) {
        SCOPED_TRACE(testing::Message() << "bitmap " << row.id);
        // One copy, in Japanese, that the loader also finds for every other
        // language of the run.
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(2) /* RT_BITMAP */,
                               MAKEINTRESOURCEA(row.id), &AddLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<WORD>{kJapanese}, languages);
        const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(row.id), MAKEINTRESOURCEA(2));
        ASSERT_NE(nullptr, found);
        const BITMAPINFOHEADER* header =
            static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
        EXPECT_EQ(row.size, header->biWidth);
        EXPECT_EQ(row.size, header->biHeight);
        EXPECT_EQ(8, header->biBitCount);
        EXPECT_EQ(16u, header->biClrUsed);
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
        // Uses more than one colour of the palette, and nothing past it.
        const BYTE* pixels = reinterpret_cast<const BYTE*>(header) + header->biSize + 16 * 4;
        const LONG stride = (row.size + 3) & ~3;
        bool several = false;
        for (LONG i = 0; i < stride * row.size; ++i) {
            EXPECT_LT(pixels[i], 16) << "pixel " << i;
            several |= pixels[i] != pixels[0];
        }
        EXPECT_TRUE(several);
    }
}

TEST_F(ResourcesTest, VersionResourceDescribesTheLibraryInBothLanguages) {
    const std::string path = ProgramFolder() + "\\Kestrel.dll";
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
    ASSERT_NE(0u, size) << "no version resource";
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    const VS_FIXEDFILEINFO& fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
    // 0.3.0.0: major and minor in the high word, build and revision in the low.
    EXPECT_EQ(0x00000003u, fixed.dwFileVersionMS);
    EXPECT_EQ(0u, fixed.dwFileVersionLS);
    EXPECT_EQ(0x00000003u, fixed.dwProductVersionMS);
    EXPECT_EQ(0u, fixed.dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed.dwFileType);

    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length));
    const WORD* pairs = static_cast<const WORD*>(value);
    EXPECT_EQ((std::vector<WORD>{0x0411, 1200, 0x0409, 1200}),
              std::vector<WORD>(pairs, pairs + length / sizeof(WORD)));

    struct Block {
        const char* name;
        const wchar_t* description;
    };
    const Block blocks[] = {
        {"041104B0", L"EmEditor から ctags の tags ファイルを更新するプラグイン"},
        {"040904B0", L"EmEditor plug-in that updates the ctags tags file"},
    };
    for (const Block& block : blocks) {
        SCOPED_TRACE(block.name);
        const auto field = [&](const char* name) {
            const std::string query = std::string("\\StringFileInfo\\") + block.name + "\\" + name;
            void* text = nullptr;
            UINT chars = 0;
            if (!VerQueryValueA(data.data(), query.c_str(), &text, &chars) || text == nullptr) {
                return std::string("(missing)");
            }
            return std::string(static_cast<const char*>(text));
        };
        EXPECT_EQ("Kestrel", field("ProductName"));
        EXPECT_EQ("Tobrin", field("CompanyName"));
        EXPECT_EQ("0.3.0.0", field("FileVersion"));
        EXPECT_EQ("0.3.0.0", field("ProductVersion"));
        EXPECT_EQ("Kestrel.dll", field("OriginalFilename"));
        EXPECT_EQ(InAnsiCodePage(block.description), field("FileDescription"));
    }
}

} // namespace
} // namespace kestrel::test
