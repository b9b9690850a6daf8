// The reader against real PE files: DLLs that the test build makes from small resource scripts,
// and copies of a resource-free DLL given hand-made version blocks.
#include "config/file_version_info.h"

#include "version_block.h"
#include "common/win32_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using QV::QVFileVersionInfo;
using QV::VersionStringKey;
using namespace QV::Test;
using namespace QV::VersionBlock;

std::wstring TestDll(const char* name)
{
    return HostPath(QV_TEST_VI_DIR) + L"\\" + std::wstring(name, name + strlen(name)) + L".dll";
}

LANGID Chinese()
{
    return 0x0804;
}
LANGID ChineseSingapore()
{
    return 0x1004;
}
LANGID English()
{
    return 0x0409;
}

struct LanguageCase
{
    const char* dll;
    QVFileVersionInfo::UserLanguageSource user;
    const wchar_t* privateBuild;
};

TEST(QVFileVersionInfo, ChoosesTheStringTableByTheUserLanguage)
{
    const LanguageCase cases[] = {
        // Only 0409/1252 is announced: rule 4 picks it for a Chinese user, and the Chinese table
        // that is present but not announced stays unread.
        {"vi_english_1252", &Chinese, L"http://127.0.0.1:1/en.exe"},
        {"vi_english_1252", &English, L"http://127.0.0.1:1/en.exe"},
        // 0404 then 0804: the exact language wins over the earlier entry.
        {"vi_tw_then_cn", &Chinese, L"http://127.0.0.1:1/cn.exe"},
        // For 0x1004 no exact entry: the first with low byte 04.
        {"vi_tw_then_cn", &ChineseSingapore, L"http://127.0.0.1:1/tw.exe"},
        // English user, no English entry: the first entry.
        {"vi_tw_then_cn", &English, L"http://127.0.0.1:1/tw.exe"},
        // One entry that matches nothing: taken anyway.
        {"vi_japanese", &Chinese, L"http://127.0.0.1:1/ja.exe"},
    };
    for (const LanguageCase& c : cases)
    {
        QVFileVersionInfo info(c.user);
        ASSERT_TRUE(info.Load(TestDll(c.dll))) << c.dll;
        EXPECT_EQ(info.GetPrivateBuild(), c.privateBuild) << c.dll;
    }
}

TEST(QVFileVersionInfo, ReadsTheFixedBlockAndAllTwelveKeys)
{
    QVFileVersionInfo info(&English);
    ASSERT_TRUE(info.Load(TestDll("vi_all_keys")));
    const VS_FIXEDFILEINFO& fixed = info.GetFixedFileInfo();
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.dwFileVersionMS, 0x00020003u);
    EXPECT_EQ(fixed.dwFileVersionLS, 0x00040005u);
    EXPECT_EQ(fixed.dwProductVersionMS, 0x00060007u);
    EXPECT_EQ(fixed.dwProductVersionLS, 0x00080009u);
    EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.dwFileFlags, 0x28u);
    EXPECT_EQ(fixed.dwFileOS, 4u);
    EXPECT_EQ(fixed.dwFileType, 2u);

    EXPECT_EQ(info.GetCompanyName(), L"公司");
    EXPECT_EQ(info.GetFileDescription(), L"description");
    EXPECT_EQ(info.GetFileVersion(), L"2, 3, 4, 5");
    EXPECT_EQ(info.GetInternalName(), L"internal");
    EXPECT_EQ(info.GetLegalCopyright(), L"copyright");
    EXPECT_EQ(info.GetOriginalFileName(), L"original.dll");
    EXPECT_EQ(info.GetProductName(), L"product");
    EXPECT_EQ(info.GetProductVersion(), L"6, 7, 8, 9");
    EXPECT_EQ(info.GetComments(), L"comments");
    EXPECT_EQ(info.GetLegalTrademarks(), L"trademarks");
    EXPECT_EQ(info.GetPrivateBuild(), L"http://127.0.0.1:1/all.exe");
    EXPECT_EQ(info.GetSpecialBuild(), L"special");
    EXPECT_EQ(info.GetSetupSigner(), L"Quorvin \"Test\" Signer");
    EXPECT_EQ(info.GetSetupSha256(),
              L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(info.GetString(VersionStringKey::OriginalFileName), L"original.dll");
}

TEST(QVFileVersionInfo, MissingKeyLeavesOnlyThatStringEmpty)
{
    QVFileVersionInfo info(&Chinese);
    ASSERT_TRUE(info.Load(TestDll("vi_no_private_build")));
    EXPECT_EQ(info.GetPrivateBuild(), L"");
    EXPECT_EQ(info.GetSpecialBuild(), L"0000000");
    EXPECT_EQ(info.GetFileVersion(), L"1, 0, 0, 1");
    EXPECT_EQ(info.GetFixedFileInfo().dwFileVersionLS, 1u);
}

// Nothing of an earlier load survives a failed one.
TEST(QVFileVersionInfo, FailedLoadAfterASuccessfulOneLeavesItEmpty)
{
    QVFileVersionInfo info(&Chinese);
    ASSERT_TRUE(info.Load(TestDll("vi_all_keys")));
    ASSERT_FALSE(info.GetPrivateBuild().empty());

    EXPECT_FALSE(info.Load(TestDll("vi_none")));
    for (size_t i = 0; i < QV::kVersionStringKeyCount; ++i)
        EXPECT_EQ(info.GetString(static_cast<VersionStringKey>(i)), L"") << i;
    EXPECT_EQ(info.GetFixedFileInfo().dwSignature, 0u);
    EXPECT_EQ(info.GetFixedFileInfo().dwFileVersionMS, 0u);

    ASSERT_TRUE(info.Load(TestDll("vi_all_keys")));
    EXPECT_FALSE(info.Load(TestDll("vi_does_not_exist")));
    EXPECT_EQ(info.GetPrivateBuild(), L"");
    EXPECT_FALSE(info.Load(L""));
}

TEST(QVFileVersionInfo, ResetEmptiesEverything)
{
    QVFileVersionInfo info(&Chinese);
    ASSERT_TRUE(info.Load(TestDll("vi_all_keys")));
    info.Reset();
    EXPECT_EQ(info.GetPrivateBuild(), L"");
    EXPECT_EQ(info.GetCompanyName(), L"");
    EXPECT_EQ(info.GetFixedFileInfo().dwSignature, 0u);
}

// Version blocks no resource compiler writes, put into copies of a DLL without a version resource.
class CraftedVersionBlock : public ::testing::Test
{
protected:
    static VersionNode Table(std::u16string key, std::u16string privateBuild)
    {
        VersionNode table;
        table.key = std::move(key);
        table.type = 1;
        table.children.push_back(TextNode(u"PrivateBuild", privateBuild));
        return table;
    }

    static VersionNode Root(std::vector<std::uint8_t> fixed, std::vector<VersionNode> tables,
                            const std::vector<std::uint8_t>* translation)
    {
        VersionNode root = BinaryNode(u"VS_VERSION_INFO", std::move(fixed));
        VersionNode strings;
        strings.key = u"StringFileInfo";
        strings.type = 1;
        strings.children = std::move(tables);
        root.children.push_back(std::move(strings));
        if (translation != nullptr)
        {
            VersionNode vars;
            vars.key = u"VarFileInfo";
            vars.type = 1;
            vars.children.push_back(BinaryNode(u"Translation", *translation));
            root.children.push_back(std::move(vars));
        }
        return root;
    }

    // A copy of the resource-free DLL carrying `root` as its version resource.
    std::wstring Make(const VersionNode& root)
    {
        const std::wstring path = m_dir.File(L"crafted" + std::to_wstring(m_count++) + L".dll");
        EXPECT_TRUE(::CopyFileW(TestDll("vi_none").c_str(), path.c_str(), FALSE));
        const std::vector<std::uint8_t> block = SerializeVersionBlock(root);
        EXPECT_TRUE(
            ReplaceVersionResource(path, block.data(), static_cast<DWORD>(block.size()), 0x0804));
        return path;
    }

    static std::vector<std::uint8_t> Fixed()
    {
        return FixedInfoBytes(0x00010000, 1, 0x00010000, 1, 0x3F, 0x28, 4, 1, 0);
    }

    CTempDir m_dir;
    int m_count = 0;
};

TEST_F(CraftedVersionBlock, WithoutTranslationTheFallbackTablesAreTriedInOrder)
{
    ASSERT_FALSE(m_dir.Path().empty());
    struct Case
    {
        const char* name;
        std::vector<VersionNode> tables;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"U.S. English UTF-16 first",
         {Table(u"040904E4", u"http://h/1252.exe"), Table(u"040904B0", u"http://h/1200.exe")},
         L"http://h/1200.exe"},
        {"then U.S. English 1252",
         {Table(u"040904E4", u"http://h/1252.exe")},
         L"http://h/1252.exe"},
        {"no fallback table: nothing read", {Table(u"080404B0", u"http://h/zh.exe")}, L""},
    };
    const std::vector<std::uint8_t> empty;
    for (const Case& c : cases)
    {
        for (const std::vector<std::uint8_t>* translation :
             {static_cast<decltype(&empty)>(nullptr), &empty})
        {
            const std::wstring path = Make(Root(Fixed(), c.tables, translation));
            QVFileVersionInfo info(&Chinese);
            ASSERT_TRUE(info.Load(path)) << c.name;
            EXPECT_EQ(info.GetPrivateBuild(), c.expected)
                << c.name << (translation ? " (empty Translation)" : " (no VarFileInfo)");
            EXPECT_EQ(info.GetFixedFileInfo().dwFileFlags, 0x28u) << c.name;
        }
    }
}

TEST_F(CraftedVersionBlock, RootBlockOfAnotherLengthLeavesTheFixedBlockZero)
{
    ASSERT_FALSE(m_dir.Path().empty());
    const std::vector<std::uint8_t> translation = TranslationBytes({{0x0804, 1200}});
    for (size_t length : {size_t{0}, size_t{48}, size_t{56}})
    {
        std::vector<std::uint8_t> fixed = Fixed();
        fixed.resize(length, 0);
        const std::wstring path =
            Make(Root(fixed, {Table(u"080404B0", u"http://h/zh.exe")}, &translation));
        QVFileVersionInfo info(&Chinese);
        ASSERT_TRUE(info.Load(path)) << length;
        EXPECT_EQ(info.GetFixedFileInfo().dwSignature, 0u) << length;
        EXPECT_EQ(info.GetFixedFileInfo().dwFileFlags, 0u) << length;
        EXPECT_EQ(info.GetPrivateBuild(), L"http://h/zh.exe") << length;
    }
}

// A translation value whose length is not a multiple of four: the partial entry is not read.
TEST_F(CraftedVersionBlock, PartialTranslationEntryIsIgnored)
{
    ASSERT_FALSE(m_dir.Path().empty());
    std::vector<std::uint8_t> translation = TranslationBytes({{0x0411, 932}});
    translation.push_back(0x04);
    translation.push_back(0x08);
    const std::wstring path = Make(Root(
        Fixed(), {Table(u"041103A4", u"http://h/ja.exe"), Table(u"080404B0", u"http://h/zh.exe")},
        &translation));
    QVFileVersionInfo info(&Chinese);
    ASSERT_TRUE(info.Load(path));
    EXPECT_EQ(info.GetPrivateBuild(), L"http://h/ja.exe");
}

} // namespace
