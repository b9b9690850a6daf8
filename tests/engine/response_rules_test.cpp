#include "engine/http/response_rules.h"

#include <gtest/gtest.h>

#include <optional>

namespace
{

struct RangeCase
{
    const char* name;
    std::wstring text;
    bool ok;
    uint64_t first, last, total; // expected when ok
};

TEST(ResponseRules, ContentRange)
{
    const RangeCase cases[] = {
        {"plain", L"bytes 4096-9999/10000", true, 4096, 9999, 10000},
        {"the last byte", L"bytes 9999-9999/10000", true, 9999, 9999, 10000},
        {"unit in capitals, blanks", L"  BYTES  0 - 0 / 1 ", true, 0, 0, 1},
        {"beyond 4 GiB", L"bytes 4294967296-4294967300/4294967301", true, 4294967296ull,
         4294967300ull, 4294967301ull},
        {"unknown total", L"bytes 0-99/*", false, 0, 0, 0},
        {"unsatisfied", L"bytes */10000", false, 0, 0, 0},
        {"last before first", L"bytes 10-9/100", false, 0, 0, 0},
        {"last outside the total", L"bytes 0-100/100", false, 0, 0, 0},
        {"another unit", L"items 0-9/10", false, 0, 0, 0},
        {"trailing text", L"bytes 0-9/10x", false, 0, 0, 0},
        {"no unit", L"0-9/10", false, 0, 0, 0},
        {"negative", L"bytes -1-9/10", false, 0, 0, 0},
        {"empty", L"", false, 0, 0, 0},
    };
    for (const RangeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        QV::ContentRange range;
        range.first = 7;
        EXPECT_EQ(QV::ParseContentRange(c.text, range), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(range.first, c.first);
            EXPECT_EQ(range.last, c.last);
            EXPECT_EQ(range.total, c.total);
        }
        else
        {
            EXPECT_EQ(range.first, 7u) << "untouched";
        }
    }
}

TEST(ResponseRules, StrongEntityTags)
{
    const std::pair<std::wstring, bool> cases[] = {
        {L"\"v1\"", true}, {L"\"\"", true},      {L"W/\"v1\"", false}, {L"v1", false},
        {L"\"", false},    {L"\"a\"b\"", false}, {L"", false},         {L"\"v1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QV::IsStrongEntityTag(c.first), c.second)
            << std::string(c.first.begin(), c.first.end());
}

struct DateCase
{
    const char* name;
    std::wstring text;
    std::optional<int64_t> seconds;
};

TEST(ResponseRules, HttpDatesInAllThreeForms)
{
    const DateCase cases[] = {
        {"IMF-fixdate", L"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"RFC 850", L"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"asctime, padded day", L"Sun Nov  6 08:49:37 1994", 784111777},
        {"asctime, two-digit day", L"Wed Oct 21 07:28:00 2015", 1445412480},
        {"the epoch", L"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"leap day", L"Tue, 29 Feb 2000 12:00:00 GMT", 951825600},
        {"RFC 850 after 2000", L"Wednesday, 21-Oct-15 07:28:00 GMT", 1445412480},
        {"leap second", L"Sat, 31 Dec 2016 23:59:60 GMT", 1483228800},
        {"no leap day in 1900", L"Thu, 29 Feb 1900 12:00:00 GMT", std::nullopt},
        {"day 32", L"Wed, 32 Oct 2015 07:28:00 GMT", std::nullopt},
        {"hour 24", L"Wed, 21 Oct 2015 24:00:00 GMT", std::nullopt},
        {"unknown month", L"Wed, 21 Okt 2015 07:28:00 GMT", std::nullopt},
        {"not GMT", L"Wed, 21 Oct 2015 07:28:00 CET", std::nullopt},
        {"one-digit day", L"Wed, 1 Oct 2015 07:28:00 GMT", std::nullopt},
        {"trailing text", L"Wed, 21 Oct 2015 07:28:00 GMT x", std::nullopt},
        {"seconds", L"120", std::nullopt},
        {"empty", L"", std::nullopt},
    };
    for (const DateCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        int64_t seconds = -7;
        EXPECT_EQ(QV::ParseHttpDate(c.text, seconds), c.seconds.has_value());
        EXPECT_EQ(seconds, c.seconds.value_or(-7));
    }
}

struct RetryAfterCase
{
    const char* name;
    std::wstring value;
    std::wstring date;
    std::optional<uint32_t> ms;
};

// Seconds, or a date measured against the answer's own Date field.
TEST(ResponseRules, RetryAfter)
{
    const std::wstring date = L"Wed, 21 Oct 2015 07:28:00 GMT";
    const RetryAfterCase cases[] = {
        {"seconds", L"2", L"", 2000},
        {"zero", L"0", L"", 0},
        {"blanks around", L" 120 ", L"", 120000},
        {"huge", L"999999999999", L"", 0xFFFFFFFFu},
        {"date ahead of Date", L"Wed, 21 Oct 2015 07:28:05 GMT", date, 5000},
        {"date in asctime form", L"Wed Oct 21 07:29:00 2015", date, 60000},
        {"date behind Date", L"Wed, 21 Oct 2015 07:27:00 GMT", date, 0},
        {"date without a Date field", L"Wed, 21 Oct 2015 07:28:05 GMT", L"", std::nullopt},
        {"negative", L"-5", L"", std::nullopt},
        {"fraction", L"1.5", L"", std::nullopt},
        {"words", L"soon", date, std::nullopt},
        {"missing", L"", date, std::nullopt},
    };
    for (const RetryAfterCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QV::ParseRetryAfter(c.value, c.date), c.ms);
    }
}

} // namespace
