#include "engine/http/url_rules.h"

#include <gtest/gtest.h>

namespace
{

using QV::EqualsNoCase;
using QV::IsHttpScheme;
using QV::IsHttpsScheme;
using QV::IsHttpsUrl;
using QV::NormalizeUrl;

struct EqualsCase
{
    const wchar_t* a;
    const wchar_t* b;
    bool equal;
};

TEST(EqualsNoCase, FoldsOnlyAsciiLettersAndComparesWholeStrings)
{
    const EqualsCase cases[] = {
        {L"", L"", true},           {L"http", L"HTTP", true},
        {L"HtTpS", L"hTtPs", true}, {L"http", L"https", false},
        {L"https", L"http", false}, {L"http", L"", false},
        {L"", L"http", false},      {L"a.EXE", L"A.exe", true},
        {L"@", L"`", false}, // neighbours of the letter ranges do not fold
        {L"[", L"{", false},        {L"é", L"É", false}, // only a to z fold
        {L"下载", L"下载", true},                        // other characters compare exactly
        {L"ab", L"ac", false},
    };
    for (const EqualsCase& c : cases)
    {
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal)
            << "'" << testing::PrintToString(c.a) << "' vs " << testing::PrintToString(c.b);
    }
}

TEST(EqualsNoCase, SchemeTests)
{
    EXPECT_TRUE(IsHttpScheme(L"HTTP"));
    EXPECT_FALSE(IsHttpScheme(L"https"));
    EXPECT_FALSE(IsHttpScheme(L"httpx")); // five letters beginning with http are not http
    EXPECT_TRUE(IsHttpsScheme(L"HTTPS"));
    EXPECT_FALSE(IsHttpsScheme(L"http"));
    EXPECT_FALSE(IsHttpsScheme(L""));
}

struct NormalizeCase
{
    const wchar_t* address;
    const wchar_t* expected;
    bool https;
};

TEST(NormalizeUrl, PutsHttpInFrontUnlessTheSchemeIsHttpOrHttps)
{
    const NormalizeCase cases[] = {
        {L"http://h/a.exe", L"http://h/a.exe", false},
        {L"HTTP://h/a.exe", L"HTTP://h/a.exe", false},
        {L"HTTPS://h/a.exe", L"HTTPS://h/a.exe", true},
        {L"https://h/a.exe", L"https://h/a.exe", true},
        {L"host/path/a.exe", L"http://host/path/a.exe", false},
        {L"ftp://h/a.exe", L"http://ftp://h/a.exe", false},
        {L"host:8080/a.exe", L"http://host:8080/a.exe", false},
        {L"httpx://h/a.exe", L"http://httpx://h/a.exe", false},
        {L":h/a.exe", L"http://:h/a.exe", false},
        // The colon is searched in the whole address, not only before the first slash.
        {L"h/x:y", L"http://h/x:y", false},
    };
    for (const NormalizeCase& c : cases)
    {
        std::wstring out = L"untouched";
        bool https = !c.https;
        ASSERT_TRUE(NormalizeUrl(c.address, out, https)) << testing::PrintToString(c.address);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(https, c.https) << testing::PrintToString(c.address);
    }
}

struct HttpsUrlCase
{
    const wchar_t* url;
    bool https;
};

// The address a request finally answered from (after redirects): only an https scheme counts as
// secure.
TEST(IsHttpsUrl, OnlyAnHttpsSchemeBeforeTheFirstColon)
{
    const HttpsUrlCase cases[] = {
        {L"https://127.0.0.1:8443/a.exe", true},
        {L"HTTPS://h/a.exe", true},
        {L"HtTpS://h/a.exe", true},
        {L"http://127.0.0.1:8080/a.exe", false},
        {L"HTTP://h/a.exe", false},
        {L"httpss://h/a.exe", false},
        {L"ftp://h/a.exe", false},
        {L"https", false}, // no colon: no scheme at all
        {L"", false},
        {L":https://h", false},
        {L"http://h/https://x", false}, // only the first colon ends the scheme
        {L" https://h/a.exe", false},
    };
    for (const HttpsUrlCase& c : cases)
        EXPECT_EQ(IsHttpsUrl(c.url), c.https) << testing::PrintToString(c.url);
}

TEST(NormalizeUrl, NullOrEmptyAddressFailsAndTouchesNothing)
{
    for (const wchar_t* address : {static_cast<const wchar_t*>(nullptr), L""})
    {
        std::wstring out = L"untouched";
        bool https = true;
        EXPECT_FALSE(NormalizeUrl(address, out, https));
        EXPECT_EQ(out, L"untouched");
        EXPECT_TRUE(https);
    }
}

} // namespace
