#include "config/version_language.h"
#include "config/version_string_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{

using QV::ChooseVersionTranslation;
using QV::VersionTranslation;

std::vector<unsigned char> Table(const std::vector<VersionTranslation>& entries)
{
    std::vector<unsigned char> bytes;
    for (const VersionTranslation& e : entries)
    {
        bytes.push_back(static_cast<unsigned char>(e.language & 0xFF));
        bytes.push_back(static_cast<unsigned char>(e.language >> 8));
        bytes.push_back(static_cast<unsigned char>(e.codePage & 0xFF));
        bytes.push_back(static_cast<unsigned char>(e.codePage >> 8));
    }
    return bytes;
}

struct ChoiceCase
{
    const char* name;
    std::vector<VersionTranslation> table;
    std::uint16_t user;
    VersionTranslation expected;
};

TEST(ChooseVersionTranslation, FirstRuleThatFindsAnEntryWins)
{
    const std::vector<ChoiceCase> cases = {
        {"English only, Chinese user: rule 4 by low byte",
         {{0x0409, 1252}},
         0x0804,
         {0x0409, 1252}},
        {"exact language beats an earlier same-low-byte entry",
         {{0x0404, 1200}, {0x0804, 1200}},
         0x0804,
         {0x0804, 1200}},
        {"same low byte: first such entry",
         {{0x0404, 1200}, {0x0804, 1200}},
         0x1004,
         {0x0404, 1200}},
        {"nothing matches: first entry", {{0x0411, 932}}, 0x0804, {0x0411, 932}},
        {"nothing matches in a longer table: first entry",
         {{0x0411, 932}, {0x0412, 949}},
         0x0407,
         {0x0411, 932}},
        {"neutral 0000 beats a low byte 00 and English",
         {{0x0409, 1252}, {0x0400, 1200}, {0x0000, 1200}},
         0x0804,
         {0x0000, 1200}},
        {"low byte 00 when there is no 0000",
         {{0x0409, 1252}, {0x0400, 1200}},
         0x0804,
         {0x0400, 1200}},
        {"language 0009 beats an earlier 0409",
         {{0x0409, 1252}, {0x0009, 1200}},
         0x0804,
         {0x0009, 1200}},
        {"any English variant, the first",
         {{0x0411, 932}, {0x0809, 1252}, {0x0409, 1252}},
         0x0804,
         {0x0809, 1252}},
        {"user language itself beats neutral and English",
         {{0x0000, 1200}, {0x0409, 1252}, {0x0411, 932}},
         0x0411,
         {0x0411, 932}},
        {"two entries of the user language: the first, with its code page",
         {{0x0804, 936}, {0x0804, 1200}},
         0x0804,
         {0x0804, 936}},
    };
    for (const ChoiceCase& c : cases)
    {
        const std::vector<unsigned char> bytes = Table(c.table);
        auto chosen = ChooseVersionTranslation(bytes.data(), bytes.size(), c.user);
        ASSERT_TRUE(chosen) << c.name;
        EXPECT_EQ(chosen->language, c.expected.language) << c.name;
        EXPECT_EQ(chosen->codePage, c.expected.codePage) << c.name;
    }
}

// The table is read only within the length given: an exact-size heap copy lets the sanitizers see
// any read past its end, and a trailing partial entry is never taken.
TEST(ChooseVersionTranslation, ReadsOnlyWholeEntriesInsideTheLength)
{
    const std::vector<unsigned char> full = Table({{0x0411, 932}, {0x0804, 1200}});
    for (std::size_t length = 0; length <= full.size(); ++length)
    {
        std::vector<unsigned char> exact(full.begin(), full.begin() + length);
        auto chosen =
            ChooseVersionTranslation(exact.empty() ? nullptr : exact.data(), length, 0x0804);
        if (length < 4)
        {
            EXPECT_FALSE(chosen) << "length " << length;
        }
        else
        {
            ASSERT_TRUE(chosen) << "length " << length;
            EXPECT_EQ(chosen->language, length < 8 ? 0x0411 : 0x0804) << "length " << length;
        }
    }
    EXPECT_FALSE(ChooseVersionTranslation(nullptr, 8, 0x0804));
}

TEST(ChooseVersionTranslation, EntriesNeedNoAlignment)
{
    std::vector<unsigned char> shifted = {0xEE};
    const std::vector<unsigned char> table = Table({{0x0404, 1200}, {0x0804, 0x04B0}});
    shifted.insert(shifted.end(), table.begin(), table.end());
    auto chosen = ChooseVersionTranslation(shifted.data() + 1, table.size(), 0x0804);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->language, 0x0804);
    EXPECT_EQ(chosen->codePage, 0x04B0);
}

TEST(StringTablePrefix, FourUpperCaseHexDigitsEach)
{
    EXPECT_EQ(QV::StringTablePrefix({0x0804, 0x04B0}), L"\\StringFileInfo\\080404B0\\");
    EXPECT_EQ(QV::StringTablePrefix({0x0409, 1252}), L"\\StringFileInfo\\040904E4\\");
    EXPECT_EQ(QV::StringTablePrefix({0x0000, 0xFFFF}), L"\\StringFileInfo\\0000FFFF\\");
}

// The twelve standard keys, then the installer's own two.
TEST(VersionStringKey, FourteenKeysInQueryOrder)
{
    const std::vector<std::wstring> expected = {
        L"CompanyName",    L"FileDescription",  L"FileVersion",  L"InternalName",
        L"LegalCopyright", L"OriginalFileName", L"ProductName",  L"ProductVersion",
        L"Comments",       L"LegalTrademarks",  L"PrivateBuild", L"SpecialBuild",
        L"SetupSigner",    L"SetupSHA256"};
    ASSERT_EQ(QV::kVersionStringKeyCount, expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(QV::kVersionStringKeyNames[i], expected[i]) << i;
    EXPECT_EQ(QV::VersionStringKeyName(QV::VersionStringKey::PrivateBuild),
              std::wstring(L"PrivateBuild"));
    EXPECT_EQ(QV::VersionStringKeyName(QV::VersionStringKey::SpecialBuild),
              std::wstring(L"SpecialBuild"));
    EXPECT_EQ(QV::VersionStringKeyName(QV::VersionStringKey::SetupSigner),
              std::wstring(L"SetupSigner"));
    EXPECT_EQ(QV::VersionStringKeyName(QV::VersionStringKey::SetupSha256),
              std::wstring(L"SetupSHA256"));
}

} // namespace
