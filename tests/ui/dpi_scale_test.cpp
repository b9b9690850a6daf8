#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace QV
{
namespace
{

struct ScaleCase
{
    const char* name;
    int value;
    uint32_t from;
    uint32_t to;
    int expected;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class DpiScaleTest : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(DpiScaleTest, RoundsLikeMulDiv)
{
    const ScaleCase& c = GetParam();
    EXPECT_EQ(ScaleForDpi(c.value, c.from, c.to), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DpiScaleTest,
    ::testing::Values(ScaleCase{"Same", 293, 96, 96, 293},
                      ScaleCase{"OneAndAHalf", 293, 96, 144, 440}, // 439.5 rounds up
                      ScaleCase{"Double", 293, 96, 192, 586},
                      ScaleCase{"FiveQuarters", 13, 96, 120, 16},  // 16.25
                      ScaleCase{"SevenQuarters", 10, 96, 168, 18}, // 17.5 rounds up
                      ScaleCase{"Down", 440, 144, 96, 293},        // 293.33
                      ScaleCase{"NegativeFontHeight", -12, 96, 144, -18},
                      ScaleCase{"NegativeHalfAwayFromZero", -3, 96, 144, -5}, // -4.5
                      ScaleCase{"Zero", 0, 96, 192, 0}, ScaleCase{"NoSourceDpi", 17, 0, 144, 17},
                      ScaleCase{"NoTargetDpi", 17, 96, 0, 17},
                      ScaleCase{"ProductBeyond32Bits", 1000000000, 96, 144, 1500000000}),
    [](const ::testing::TestParamInfo<ScaleCase>& info) { return info.param.name; });

TEST(DpiScaleRect, EdgesScaleApartSoNeighboursStayNeighbours)
{
    // Two controls that touch at 96 DPI (the first ends where the second begins).
    const DpiRect first = {13, 53, 202, 61};
    const DpiRect second = {202, 53, 271, 61};
    for (uint32_t dpi : kScalingStepDpis)
    {
        DpiRect a = ScaleRectForDpi(first, kDefaultDpi, dpi);
        DpiRect b = ScaleRectForDpi(second, kDefaultDpi, dpi);
        EXPECT_EQ(a.right, b.left) << dpi;
        EXPECT_EQ(a.top, b.top) << dpi;
    }
    EXPECT_EQ(ScaleRectForDpi(first, 96, 144), (DpiRect{20, 80, 303, 92}));
    EXPECT_EQ(ScaleRectForDpi(ScaleRectForDpi(first, 96, 192), 192, 96), first)
        << "a whole-number factor comes back exactly";
}

struct UnitsCase
{
    const char* name;
    int alphabetWidth;
    int height;
    DialogBaseUnits base;
};

void PrintTo(const UnitsCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogUnitsTest : public ::testing::TestWithParam<UnitsCase>
{
};

// The controls of the progress dialog's template, in dialog units.
const DpiRect kTemplateControls[] = {{102, 98, 199, 112}, {13, 16, 279, 40},  {13, 65, 279, 75},
                                     {8, 88, 286, 90},    {228, 53, 270, 61}, {24, 53, 213, 61},
                                     {0, 0, 293, 119}};

TEST_P(DialogUnitsTest, BaseUnitsAndTheWayBackFromPixels)
{
    const UnitsCase& c = GetParam();
    DialogBaseUnits base = BaseUnitsFromMetrics(c.alphabetWidth, c.height);
    EXPECT_EQ(base.x, c.base.x);
    EXPECT_EQ(base.y, c.base.y);
    for (const DpiRect& units : kTemplateControls)
    {
        DpiRect pixels = DialogUnitsToPixels(units, base);
        EXPECT_EQ(PixelsToDialogUnits(pixels, base), units) << units.left << "," << units.top;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DialogUnitsTest,
    // Wine's 9-point dialog font at 96, 144 and 192 DPI, and others around them.
    ::testing::Values(UnitsCase{"At96", 312, 16, {6, 16}}, UnitsCase{"At144", 520, 22, {10, 22}},
                      UnitsCase{"At192", 676, 30, {13, 30}},
                      UnitsCase{"RoundsHalfUp", 286, 13, {6, 13}}, // 11 / 2 = 5.5
                      UnitsCase{"SmallFont", 260, 13, {5, 13}}),
    [](const ::testing::TestParamInfo<UnitsCase>& info) { return info.param.name; });

TEST(DialogUnits, PlacedAsTheDialogManagerPlacesThem)
{
    // The status line of the template at Wine's 96-DPI base units, as measured on the dialog.
    EXPECT_EQ(DialogUnitsToPixels({13, 16, 279, 40}, {6, 16}), (DpiRect{20, 32, 419, 80}));
    EXPECT_EQ(DialogUnitsToPixels({0, 0, 293, 119}, {10, 22}), (DpiRect{0, 0, 733, 327}));
    // Origin and size round apart: the push button at 144 DPI ends at 270 + 39, not at
    // MulDiv(112, 22, 8) = 308.
    EXPECT_EQ(DialogUnitsToPixels({102, 98, 199, 112}, {10, 22}), (DpiRect{255, 270, 498, 309}));
    EXPECT_EQ(DialogUnitsToPixels({1, 1, 2, 2}, {0, 16}), DpiRect{});
    EXPECT_EQ(PixelsToDialogUnits({1, 1, 2, 2}, {6, 0}), DpiRect{});
}

struct FontDpiCase
{
    int height;
    int points;
    uint32_t dpi;
};

TEST(DpiOfFont, TheDpiATemplatesFontWasMadeFor)
{
    const FontDpiCase cases[] = {{-12, 9, 96},  {-15, 9, 120}, {-18, 9, 144}, {-21, 9, 168},
                                 {-24, 9, 192}, {12, 9, 96},   {-14, 9, 112}, {-11, 8, 99},
                                 {0, 9, 0},     {-12, 0, 0}};
    for (const FontDpiCase& c : cases)
        EXPECT_EQ(DpiOfFontHeight(c.height, c.points), c.dpi) << c.height << "/" << c.points;
}

// An extended dialog template as the resource compiler writes it, up to the font's face.
std::vector<uint8_t> TemplateBytes(uint32_t style, bool menuOrdinal, const std::u16string& title)
{
    std::vector<uint8_t> bytes;
    auto word = [&](uint32_t value)
    {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    };
    auto text = [&](const std::u16string& s)
    {
        for (char16_t c : s)
            word(c);
        word(0);
    };
    word(1);
    word(0xFFFF);
    word(0), word(0);                        // help id
    word(0), word(0);                        // extended style
    word(style & 0xFFFF), word(style >> 16); // style
    word(6), word(0), word(0), word(293), word(119);
    if (menuOrdinal)
        word(0xFFFF), word(104);
    else
        word(0);
    word(0); // class
    text(title);
    word(9);              // points
    word(0), word(0x100); // weight; italic 0, charset 1
    text(u"宋体");
    return bytes;
}

struct TemplateCase
{
    const char* name;
    std::vector<uint8_t> bytes;
    size_t keep; // bytes given to the reader (0: all)
    std::optional<uint16_t> points;
};

void PrintTo(const TemplateCase& c, std::ostream* os)
{
    *os << c.name;
}

class DialogTemplateTest : public ::testing::TestWithParam<TemplateCase>
{
};

TEST_P(DialogTemplateTest, ReadsThePointSize)
{
    const TemplateCase& c = GetParam();
    size_t size = c.keep != 0 ? c.keep : c.bytes.size();
    EXPECT_EQ(DialogTemplatePointSize(c.bytes.data(), size), c.points);
}

constexpr uint32_t kProgressStyle =
    0x80C80000 | 0x80 | 0x40; // popup, caption, sysmenu, frame, font

INSTANTIATE_TEST_SUITE_P(
    Table, DialogTemplateTest,
    ::testing::Values(
        TemplateCase{"ProgressDialog", TemplateBytes(kProgressStyle, false, u"在线安装程序"), 0, 9},
        TemplateCase{"MenuByNumber", TemplateBytes(kProgressStyle, true, u"x"), 0, 9},
        TemplateCase{"NoTitle", TemplateBytes(kProgressStyle, false, u""), 0, 9},
        TemplateCase{"NoFont", TemplateBytes(kProgressStyle & ~0x40u, false, u"x"), 0,
                     std::nullopt},
        TemplateCase{"EndsInTheTitle", TemplateBytes(kProgressStyle, false, u"在线安装程序"), 30,
                     std::nullopt},
        TemplateCase{"EndsBeforeThePoints", TemplateBytes(kProgressStyle, false, u"在线安装程序"),
                     26 + 2 + 2 + 14, std::nullopt},
        TemplateCase{"PlainTemplate", {0x40, 0x00, 0xC8, 0x80, 0, 0, 0, 0}, 0, std::nullopt},
        TemplateCase{"Empty", {}, 0, std::nullopt}),
    [](const ::testing::TestParamInfo<TemplateCase>& info) { return info.param.name; });

struct IconCase
{
    uint32_t dpi;
    int small;
    int large;
};

TEST(DpiScaleIcon, SizesAtEachScalingStep)
{
    const IconCase cases[] = {{96, 16, 32},  {120, 20, 40}, {144, 24, 48},
                              {168, 28, 56}, {192, 32, 64}, {0, 16, 32}};
    for (const IconCase& c : cases)
    {
        EXPECT_EQ(IconSizeForDpi(16, c.dpi), c.small) << c.dpi;
        EXPECT_EQ(IconSizeForDpi(32, c.dpi), c.large) << c.dpi;
    }
}

} // namespace
} // namespace QV
