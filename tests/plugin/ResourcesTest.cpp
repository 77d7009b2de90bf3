// The resources of the built Kestrel.dll, read back as the editor reads them.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/support/Cp932.h"
#include "tests/support/Sandbox.h"

namespace kestrel::test {
namespace {

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(nullptr, module) << "Kestrel.dll beside the test program"; }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    // The whole string-table entry, embedded NULs included.
    std::string Text(UINT id) const {
        char buffer[512];
        const int length = LoadStringA(module, id, buffer, sizeof buffer);
        return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    }

    HMODULE module = LoadLibraryExA((ProgramFolder() + "\\Kestrel.dll").c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE);
};

TEST_F(ResourcesTest, StringTableHoldsEveryTextExactly) {
    struct Row {
        UINT id;
        std::string utf8;
    };
    const Row rows[] = {
        {1, "TAGS(ctags)更新"},
        {2, "ctagsを実行しTAGSファイルを更新します。\nTAGS更新"},
        {3, "アンインストールしてもよろしいですか？"},
        {4, "Kestrel"},
        {5, "0.3 by Tobrin"},
        {500, "tagsを生成するフォルダを選択してください"},
        {501, "選択されたフォルダで %s を実行します。"},
        {502, "%s を実行しました。"},
        {503, "%s を実行できませんでした。"},
        {504, "%s を実行しています。"},
        {505, "CTAGSの実行ファイルを指定"},
        {507, "%s を実行しましたがエラー終了しました。"},
        {508, "ctags を２重に起動することはできません。"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Cp932(row.utf8.c_str()), Text(row.id)) << "string " << row.id;
    }
    // The filter keeps its embedded NUL: description, NUL, pattern.
    EXPECT_EQ(Cp932("CTAGS実行ファイル(*.exe)") + std::string(1, '\0') + "*.exe", Text(506));
    // Japanese, and 24 characters for the filter with its embedded NUL.
    const HRSRC block = FindResourceExA(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(500 / 16 + 1),
                                        MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    ASSERT_NE(nullptr, block);
    const WCHAR* entry = static_cast<const WCHAR*>(LockResource(LoadResource(module, block)));
    for (UINT index = 0; index < 506 % 16; ++index) {
        entry += *entry + 1;
    }
    EXPECT_EQ(24, entry[0]);
    EXPECT_EQ(0, entry[1 + 18]);
}

TEST_F(ResourcesTest, BitmapsAreEightBitWithSixteenColours) {
    struct Row {
        int id;
        LONG size;
    };
    for (const Row& row : {Row{101, 16}, Row{102, 24}}) {
        const HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(row.id),
                                            MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        ASSERT_NE(nullptr, found) << "bitmap " << row.id;
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

} // namespace
} // namespace kestrel::test
