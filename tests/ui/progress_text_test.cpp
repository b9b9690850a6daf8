#include "ui/progress_text.h"

#include <gtest/gtest.h>

#include <string>

namespace QV
{
namespace
{

struct ProgressCase
{
    const char* name;
    uint32_t total;
    uint32_t received;
    double speed;
    uint32_t position;
    const wchar_t* percent;
    const wchar_t* speedText;
};

void PrintTo(const ProgressCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgressDisplayTest : public ::testing::TestWithParam<ProgressCase>
{
};

TEST_P(ProgressDisplayTest, ComputesBarAndTexts)
{
    const ProgressCase& c = GetParam();
    ProgressDisplay d = ComputeProgressDisplay(c.total, c.received, c.speed);
    EXPECT_TRUE(d.hasTexts);
    EXPECT_EQ(d.position, c.position);
    EXPECT_EQ(d.percentText, c.percent);
    EXPECT_EQ(d.speedText, c.speedText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressDisplayTest,
    ::testing::Values(
        ProgressCase{"TenMegabytes", 10485760, 1572864, 150.0, 15, L"15.0 %",
                     L"146.48 KB/s (1.50 MB/10.00 MB)"},
        ProgressCase{"RoundsBarDown", 60000000, 50000000, 1.0, 83, L"83.3 %",
                     L"0.98 KB/s (47.68 MB/57.22 MB)"},
        ProgressCase{"Complete", 10485760, 10485760, 2048.0, 100, L"100.0 %",
                     L"2000.00 KB/s (10.00 MB/10.00 MB)"},
        ProgressCase{"NothingYet", 3145728, 0, 0.0, 0, L"0.0 %", L"0.00 KB/s (0.00 MB/3.00 MB)"},
        // 4294967295 as a 64-bit product: a 32-bit one would wrap to a wrong position.
        ProgressCase{"LargestTotalComplete", 4294967295u, 4294967295u, 1024.0, 100, L"100.0 %",
                     L"1000.00 KB/s (4096.00 MB/4096.00 MB)"},
        ProgressCase{"LargeHalf", 4000000000u, 2000000000u, 512.0, 50, L"50.0 %",
                     L"500.00 KB/s (1907.35 MB/3814.70 MB)"},
        // The float counts put the text at 100.0 % while the bar, from the exact counts, is
        // still at 99.
        ProgressCase{"FloatRoundingNearFourGiB", 4294967295u, 4294967000u, 0.5, 99, L"100.0 %",
                     L"0.49 KB/s (4096.00 MB/4096.00 MB)"},
        // Exact counts would show 48.5 % and 3814.70 MB: the float step decides the texts.
        ProgressCase{"FloatRoundsPercent", 4294967295u, 2085206611u, 100.0, 48, L"48.6 %",
                     L"97.66 KB/s (1988.61 MB/4096.00 MB)"},
        ProgressCase{"FloatRoundsMegabytes", 4294967295u, 4000008064u, 0.0, 93, L"93.1 %",
                     L"0.00 KB/s (3814.71 MB/4096.00 MB)"},
        ProgressCase{"OneByteOfMany", 4294967295u, 1, 0.0, 0, L"0.0 %",
                     L"0.00 KB/s (0.00 MB/4096.00 MB)"}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return info.param.name; });

TEST(ProgressDisplay, ZeroTotalResetsBarAndKeepsTexts)
{
    ProgressDisplay d = ComputeProgressDisplay(0, 0, 0.0);
    EXPECT_EQ(d.position, 0u);
    EXPECT_FALSE(d.hasTexts);

    ProgressDisplay withBytes = ComputeProgressDisplay(0, 123456, 99.0);
    EXPECT_EQ(withBytes.position, 0u);
    EXPECT_FALSE(withBytes.hasTexts);
}

TEST(ProgressDisplay, ZeroSpeedLineBeginsWithZeroesAndEndsWithTotal)
{
    ProgressDisplay d = ComputeProgressDisplay(123456789, 0, 0.0);
    EXPECT_EQ(d.percentText, L"0.0 %");
    EXPECT_EQ(d.speedText.rfind(L"0.00 KB/s (0.00 MB/", 0), 0u);
    EXPECT_EQ(d.speedText, L"0.00 KB/s (0.00 MB/117.74 MB)");
}

TEST(ProgressDisplay, MoreThanTotalHoldsBarAtTop)
{
    ProgressDisplay d = ComputeProgressDisplay(1000, 4294967295u, 0.0);
    EXPECT_EQ(d.position, 100u);
    EXPECT_TRUE(d.hasTexts);
}

TEST(ProgressDisplayChanges, FirstReportAgainstEmptyControls)
{
    ProgressDisplay shown;
    ProgressDisplayChanges c = CompareProgressDisplay(shown, ComputeProgressDisplay(0, 0, 0.0));
    EXPECT_FALSE(c.Any()) << "bar already 0 and texts kept";

    c = CompareProgressDisplay(shown, ComputeProgressDisplay(100, 0, 0.0));
    EXPECT_FALSE(c.position);
    EXPECT_TRUE(c.percentText);
    EXPECT_TRUE(c.speedText);
}

TEST(ProgressDisplayChanges, TracksEachPartSeparately)
{
    ProgressDisplay shown;
    ApplyProgressDisplay(shown, ComputeProgressDisplay(10485760, 1572864, 150.0));
    EXPECT_FALSE(
        CompareProgressDisplay(shown, ComputeProgressDisplay(10485760, 1572864, 150.0)).Any());

    // Same percentage and bar, other speed: only the speed line changes.
    ProgressDisplayChanges c =
        CompareProgressDisplay(shown, ComputeProgressDisplay(10485760, 1572864, 300.0));
    EXPECT_FALSE(c.position);
    EXPECT_FALSE(c.percentText);
    EXPECT_TRUE(c.speedText);

    // 15.1 %: the text changes but the bar stays at 15.
    c = CompareProgressDisplay(shown, ComputeProgressDisplay(10485760, 1583400, 150.0));
    EXPECT_FALSE(c.position);
    EXPECT_TRUE(c.percentText);

    // A report without total puts the bar back to 0 and leaves the texts as they are.
    ProgressDisplay reset = ComputeProgressDisplay(0, 0, 0.0);
    c = CompareProgressDisplay(shown, reset);
    EXPECT_TRUE(c.position);
    EXPECT_FALSE(c.percentText);
    EXPECT_FALSE(c.speedText);
    ApplyProgressDisplay(shown, reset);
    EXPECT_EQ(shown.position, 0u);
    EXPECT_EQ(shown.percentText, L"15.0 %");
    EXPECT_EQ(shown.speedText, L"146.48 KB/s (1.50 MB/10.00 MB)");
}

} // namespace
} // namespace QV
