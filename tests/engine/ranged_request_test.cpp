// The HTTP request opened at a byte offset, against the loopback server under Wine: both the
// plain request (QVHttpFile) and the transfer loop's source (QVReadAheadRequest) send
// "Range: bytes=N-" (and If-Range when given) and deliver the body from byte N on.
#include "engine/http/http_file.h"
#include "engine/http/internet_handle.h"
#include "engine/http/read_ahead_request.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace QV::test;

constexpr uint64_t kSize = 100000;

struct Response
{
    bool opened = false;
    uint32_t status = 0;
    uint64_t length = 0;
    std::string body;
    bool readFailed = false;
};

// Reads up to `length` bytes through `read` (QVHttpFile or QVReadAheadRequest ReadChunk).
template <typename Read> void ReadBody(Response& r, Read read)
{
    uint8_t buffer[QV::kTransferBlockSize];
    int empty = 0;
    while (r.body.size() < r.length && empty < 100)
    {
        const int32_t n = read(buffer);
        if (n < 0)
        {
            r.readFailed = true;
            return;
        }
        if (n == 0)
        {
            ++empty;
            Sleep(5);
        }
        r.body.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
    }
}

Response ThroughHttpFile(const std::wstring& url, const QV::HttpRangeStart& start)
{
    Response r;
    QV::QVInternetSession session;
    QV::QVHttpFile request;
    r.opened = request.Open(session.GetHandle(), url, start);
    if (!r.opened)
        return r;
    DWORD status = 0;
    if (request.QueryStatusCode(status))
        r.status = status;
    r.length = request.GetContentLength();
    ReadBody(r, [&](uint8_t* buffer) { return request.ReadChunk(buffer); });
    return r;
}

Response ThroughReadAhead(const std::wstring& url, const QV::HttpRangeStart& start)
{
    Response r;
    QV::ReadAheadSettings settings;
    settings.start = start;
    QV::QVReadAheadRequest request(settings);
    r.opened = request.Open(url);
    if (!r.opened)
        return r;
    r.status = request.GetStatusCode();
    r.length = request.GetContentLength();
    ReadBody(r, [&](uint8_t* buffer) { return request.ReadChunk(buffer); });
    return r;
}

struct RangeCase
{
    const char* name;
    uint64_t offset;
    std::wstring ifRange;
    uint32_t status;         // expected
    const char* rangeSent;   // the Range header the server must see; null: none
    const char* ifRangeSent; // the If-Range header as the log writes it; null: none
};

class RangedRequestTest : public EngineWineTest
{
};

TEST_F(RangedRequestTest, OpensAtAnOffset)
{
    const RangeCase cases[] = {
        {"whole body", 0, L"", 200, nullptr, nullptr},
        {"whole body: a validator alone sends nothing", 0, L"\"v1\"", 200, nullptr, nullptr},
        {"from byte 1", 1, L"", 206, "bytes=1-", nullptr},
        {"from the middle", 54321, L"", 206, "bytes=54321-", nullptr},
        {"the last byte", kSize - 1, L"", 206, "bytes=99999-", nullptr},
        {"with an entity tag", 4096, L"\"v1\"", 206, "bytes=4096-", "\\\"v1\\\""},
        {"with a date", 8192, L"Wed, 21 Oct 2015 07:28:00 GMT", 206, "bytes=8192-",
         "Wed, 21 Oct 2015 07:28:00 GMT"},
    };
    struct Client
    {
        const char* name;
        Response (*open)(const std::wstring&, const QV::HttpRangeStart&);
    };
    const Client clients[] = {{"QVHttpFile", ThroughHttpFile},
                              {"QVReadAheadRequest", ThroughReadAhead}};
    const std::wstring url = Url(L"/body/" + std::to_wstring(kSize) + L"/Ranged.exe?1.2");
    for (const Client& client : clients)
    {
        for (const RangeCase& c : cases)
        {
            SCOPED_TRACE(std::string(client.name) + ": " + c.name);
            Fetch(L"/__clear");
            QV::HttpRangeStart start;
            start.offset = c.offset;
            start.ifRange = c.ifRange;

            Response r = client.open(url, start);

            ASSERT_TRUE(r.opened);
            EXPECT_EQ(r.status, c.status);
            EXPECT_EQ(r.length, kSize - c.offset);
            EXPECT_FALSE(r.readFailed);
            ASSERT_EQ(r.body.size(), kSize - c.offset);
            for (size_t i = 0; i < r.body.size(); ++i)
                ASSERT_EQ(static_cast<uint8_t>(r.body[i]), PatternByte(c.offset + i))
                    << "body byte " << i;

            const std::string log = ServerLog();
            ASSERT_NE(log.find("/body/"), std::string::npos) << log;
            EXPECT_EQ(log.find("/body/"), log.rfind("/body/")) << "one request: " << log;
            EXPECT_NE(log.find("[\"Accept\", \"*/*\"]"), std::string::npos) << log;
            if (c.rangeSent != nullptr)
                EXPECT_NE(log.find(std::string("[\"Range\", \"") + c.rangeSent + "\"]"),
                          std::string::npos)
                    << log;
            else
                EXPECT_EQ(log.find("\"Range\""), std::string::npos) << log;
            if (c.ifRangeSent != nullptr)
                EXPECT_NE(log.find(std::string("[\"If-Range\", \"") + c.ifRangeSent + "\"]"),
                          std::string::npos)
                    << log;
            else
                EXPECT_EQ(log.find("\"If-Range\""), std::string::npos) << log;
        }
    }
}

// The transfer loop's check stays as it is: a ranged answer is not the whole body it accepts.
TEST_F(RangedRequestTest, RangedAnswerIsAnErrorStatusForTheWholeBodyCheck)
{
    QV::ReadAheadSettings settings;
    settings.start.offset = 10;
    QV::QVReadAheadRequest request(settings);
    ASSERT_TRUE(request.Open(Url(L"/body/100/Ranged.exe?1.2")));
    EXPECT_EQ(request.GetStatusCode(), 206u);
    EXPECT_TRUE(request.HasErrorStatus());
}

// A validator that would end its header line early is refused before anything is sent.
TEST_F(RangedRequestTest, ValidatorWithALineBreakSendsNothing)
{
    QV::HttpRangeStart start;
    start.offset = 10;
    start.ifRange = L"\"v1\"\r\nX-Injected: 1";
    EXPECT_FALSE(ThroughHttpFile(Url(L"/body/100/Ranged.exe?1.2"), start).opened);
    EXPECT_FALSE(ThroughReadAhead(Url(L"/body/100/Ranged.exe?1.2"), start).opened);
    EXPECT_EQ(ServerLog(), "[]");
}

} // namespace
