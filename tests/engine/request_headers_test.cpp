#include "engine/http/request_headers.h"

#include <gtest/gtest.h>

namespace
{

struct HeaderCase
{
    const char* name;
    uint64_t offset;
    std::wstring ifRange;
    bool ok;
    std::wstring headers; // expected when ok
};

// The whole body asks with "Accept:*/*" alone, as every download does today; an offset adds the
// Range line and, with a validator, the If-Range line.
TEST(RequestHeaders, WholeOrFromAnOffset)
{
    const HeaderCase cases[] = {
        {"whole body", 0, L"", true, L"Accept:*/*"},
        {"whole body ignores a validator", 0, L"\"v1\"", true, L"Accept:*/*"},
        {"from an offset", 4096, L"", true, L"Accept:*/*\r\nRange: bytes=4096-"},
        {"from offset 1", 1, L"", true, L"Accept:*/*\r\nRange: bytes=1-"},
        {"from offset 10", 10, L"", true, L"Accept:*/*\r\nRange: bytes=10-"},
        {"past 4 GiB", 0x100000001ull, L"", true, L"Accept:*/*\r\nRange: bytes=4294967297-"},
        {"with an entity tag", 5000, L"\"abc-123\"", true,
         L"Accept:*/*\r\nRange: bytes=5000-\r\nIf-Range: \"abc-123\""},
        {"with a date", 7, L"Wed, 21 Oct 2015 07:28:00 GMT", true,
         L"Accept:*/*\r\nRange: bytes=7-\r\nIf-Range: Wed, 21 Oct 2015 07:28:00 GMT"},
        {"validator with a line break", 7, L"\"a\"\r\nX-Evil: 1", false, L""},
        {"validator with a tab", 7, L"\"a\tb\"", false, L""},
        {"validator with DEL", 7, std::wstring(L"\"a") + wchar_t(0x7F) + L"\"", false, L""},
    };
    for (const HeaderCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        QV::HttpRangeStart start;
        start.offset = c.offset;
        start.ifRange = c.ifRange;
        std::wstring headers = L"untouched";
        EXPECT_EQ(QV::MakeRequestHeaders(start, headers), c.ok);
        EXPECT_EQ(headers, c.ok ? c.headers : L"untouched");
    }
}

} // namespace
