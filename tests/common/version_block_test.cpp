#include "version_block.h"

#include <gtest/gtest.h>

namespace
{

using namespace QV::VersionBlock;

bool SameTree(const VersionNode& a, const VersionNode& b)
{
    if (a.key != b.key || a.type != b.type || a.value != b.value ||
        a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i)
    {
        if (!SameTree(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

// Lengths, value lengths and the 32-bit alignment of keys, values and children, byte by byte.
TEST(VersionBlock, SerializesWithAlignedNodesAndExactLengths)
{
    VersionNode table;
    table.key = u"A";
    table.type = 1;
    table.children.push_back(TextNode(u"K", u"vw"));

    const std::vector<std::uint8_t> bytes = SerializeVersionBlock(table);
    const std::vector<std::uint8_t> expected = {
        // "A": length 30, no value, text type, key "A" and NUL, padding to 12.
        30, 0, 0, 0, 1, 0, 'A', 0, 0, 0, 0, 0,
        // "K" = "vw": length 18 (no trailing padding), 3 units, text type, key, padding, value with
        // NUL.
        18, 0, 3, 0, 1, 0, 'K', 0, 0, 0, 0, 0, 'v', 0, 'w', 0, 0, 0};
    EXPECT_EQ(bytes, expected);
}

TEST(VersionBlock, ParsesWhatItSerializes)
{
    VersionNode root = BinaryNode(u"VS_VERSION_INFO", FixedInfoBytes(1, 2, 3, 4, 0x3F, 0, 4, 1, 0));
    VersionNode strings;
    strings.key = u"StringFileInfo";
    strings.type = 1;
    VersionNode table;
    table.key = u"080404B0";
    table.type = 1;
    table.children.push_back(TextNode(u"PrivateBuild", u"http://h/x.exe"));
    table.children.push_back(TextNode(u"SpecialBuild", u""));
    strings.children.push_back(table);
    VersionNode vars;
    vars.key = u"VarFileInfo";
    vars.type = 1;
    vars.children.push_back(BinaryNode(u"Translation", TranslationBytes({{0x0804, 1200}})));
    root.children = {strings, vars};

    const std::vector<std::uint8_t> bytes = SerializeVersionBlock(root);
    auto parsed = ParseVersionBlock(bytes.data(), bytes.size());
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(SameTree(*parsed, root));
    const VersionNode* found =
        FindChild(*FindChild(*FindChild(*parsed, u"StringFileInfo"), u"080404B0"), u"PrivateBuild");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(TextOf(*found), u"http://h/x.exe");
}

TEST(VersionBlock, RejectsLengthsPointingOutside)
{
    const std::vector<std::uint8_t> bytes = SerializeVersionBlock(TextNode(u"K", u"value"));
    EXPECT_FALSE(ParseVersionBlock(bytes.data(), bytes.size() - 1));
    std::vector<std::uint8_t> unterminated = {12, 0, 0, 0, 0, 0, 'A', 0, 'B', 0, 'C', 0};
    EXPECT_FALSE(ParseVersionBlock(unterminated.data(), unterminated.size()));
}

} // namespace
