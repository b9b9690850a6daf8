#include "ui/dpi_scale.h"

#include <gtest/gtest.h>

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
