#include "common/format_string.h"

#include "common/user_texts.h"

#include <gtest/gtest.h>

namespace
{

using QV::FormatString;

TEST(FormatString, NullOrEmptyFormatLeavesOutputUnchanged)
{
    std::wstring out = L"keep";
    FormatString(out, nullptr);
    EXPECT_EQ(out, L"keep");
    FormatString(out, L"");
    EXPECT_EQ(out, L"keep");
}

TEST(FormatString, FormatsLikeWidePrintf)
{
    std::wstring pct, speed, query, prefix;
    FormatString(pct, L"%.01f %%", 15.0);
    FormatString(speed, L"%.02f KB/s (%.02f MB/%.02f MB)", 146.484375, 1.5, 10.0);
    FormatString(query, L"%ls?%d.%d", L"http://h/a.exe", 32767, 0);
    FormatString(prefix, L"\\StringFileInfo\\%04X%04X\\", 0x0804, 0x04B0);
    EXPECT_EQ(pct, L"15.0 %");
    EXPECT_EQ(speed, L"146.48 KB/s (1.50 MB/10.00 MB)");
    EXPECT_EQ(query, L"http://h/a.exe?32767.0");
    EXPECT_EQ(prefix, L"\\StringFileInfo\\080404B0\\");
}

TEST(FormatString, ChineseTextPassesThrough)
{
    std::wstring out;
    FormatString(out, L"%ls：%d", QV::kDownloading, 7);
    EXPECT_EQ(out, std::wstring(QV::kDownloading) + L"：7");
}

// The boundary between the stack buffer and the first heap buffer, and several doublings.
TEST(FormatString, LongTextsGrowTheBufferUntilTheyFit)
{
    for (size_t length : {size_t{0}, size_t{1}, size_t{1023}, size_t{1024}, size_t{2047},
                          size_t{2048}, size_t{100000}})
    {
        std::wstring arg(length, L'x');
        std::wstring out = L"old";
        FormatString(out, L"%ls", arg.c_str());
        EXPECT_EQ(out.size(), length) << "length " << length;
        EXPECT_EQ(out, arg) << "length " << length;
    }
}

// A conversion that is cut off at the end of the format is rejected by every runtime the installer
// is built for (glibc, and the system C runtime under Windows); the earlier text must not survive.
TEST(FormatString, InvalidFormatEmptiesOutput)
{
    std::wstring out = L"previous";
    FormatString(out, L"abc%");
    EXPECT_EQ(out, L"");

    // Rejected in a heap attempt too: the text before the bad conversion needs a larger buffer.
    std::wstring longText(3000, L'y');
    out = L"previous";
    FormatString(out, (longText + L"%").c_str());
    EXPECT_EQ(out, L"");
}

} // namespace
