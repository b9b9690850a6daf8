#include "engine/engine_messages.h"
#include "engine/transfer_loop.h"
#include "engine/recording_callback.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

namespace
{

using QV::test::RecordingCallback;

constexpr int kFail = -1;

// One read of the script: its result (kFail, 0 or a count) and the tick at which it completes.
struct Step
{
    int result;
    uint32_t tick = 0;
    bool abortBefore = false; // an abort from outside arrives while this read blocks
};

// The byte at offset i of every scripted body.
uint8_t BodyByte(uint64_t i)
{
    return static_cast<uint8_t>(i % 251);
}

class ScriptedClock : public QV::ITransferClock
{
public:
    uint32_t Now() override { return now; }
    void Sleep(uint32_t ms) override { sleeps.push_back(ms); }

    uint32_t now = 1000;
    std::vector<uint32_t> sleeps;
};

class ScriptedSource : public QV::ITransferSource
{
public:
    ScriptedSource(ScriptedClock& clock, bool opens, int status, uint64_t length,
                   std::vector<Step> steps)
        : m_clock(clock), m_bOpens(opens), m_status(status), m_length(length),
          m_steps(std::move(steps))
    {
    }

    bool Open(const std::wstring& url) override
    {
        openedUrl = url;
        return m_bOpens;
    }
    uint32_t GetStatusCode() override { return static_cast<uint32_t>(m_status); }
    uint64_t GetContentLength() override { return m_length; }
    std::wstring GetHeader(QV::ResponseHeader header) override
    {
        auto it = headers.find(header);
        return it != headers.end() ? it->second : std::wstring();
    }
    // The read takes until the step's tick: the loop measures the speed on its clock.
    int32_t ReadChunk(uint8_t* buffer) override
    {
        EXPECT_LT(reads, m_steps.size()) << "read past the end of the script";
        if (reads >= m_steps.size())
            return kFail;
        const Step& step = m_steps[reads++];
        aborted = aborted || step.abortBefore;
        if (step.result < 0)
            return kFail;
        EXPECT_LE(step.result, static_cast<int>(QV::kTransferBlockSize));
        for (int i = 0; i < step.result; ++i)
            buffer[i] = BodyByte(offset + i);
        offset += static_cast<uint64_t>(step.result);
        m_clock.now = step.tick;
        return step.result;
    }
    bool WasAborted() override { return aborted; }
    bool WasRefusedAsUnsafe() override { return refusedAsUnsafe; }

    std::wstring openedUrl;
    bool refusedAsUnsafe = false;
    size_t reads = 0;
    bool aborted = false;
    std::map<QV::ResponseHeader, std::wstring> headers;
    uint64_t offset = 0; // the offset in the whole body of the next byte delivered

private:
    ScriptedClock& m_clock;
    bool m_bOpens;
    int m_status;
    uint64_t m_length;
    std::vector<Step> m_steps;
};

class MemorySink : public QV::IFileSink
{
public:
    explicit MemorySink(std::optional<uint32_t> shortWriteAt = std::nullopt,
                        bool flushFails = false, bool restartFails = false)
        : m_shortWriteAt(shortWriteAt), m_bFlushFails(flushFails), m_bRestartFails(restartFails)
    {
    }
    bool Flush() override
    {
        ++flushes;
        return !m_bFlushFails;
    }
    bool Restart() override
    {
        ++restarts;
        bytes.clear();
        return !m_bRestartFails;
    }
    uint32_t Write(const uint8_t* data, uint32_t size) override
    {
        ++writes;
        uint32_t n = (m_shortWriteAt && *m_shortWriteAt == writes) ? size - 1 : size;
        bytes.insert(bytes.end(), data, data + n);
        return n;
    }

    std::vector<uint8_t> bytes;
    uint32_t writes = 0;
    uint32_t flushes = 0;
    uint32_t restarts = 0;

private:
    std::optional<uint32_t> m_shortWriteAt;
    bool m_bFlushFails;
    bool m_bRestartFails;
};

const std::wstring kUrl = L"http://h/a.exe?7.9";
constexpr uint32_t kPrevious = 100;

struct LoopCase
{
    const char* name;
    bool opens = true;
    int status = 200;
    uint64_t length = 0;
    std::vector<Step> steps;
    unsigned cancelAtPoll = 0;
    std::optional<uint32_t> shortWriteAt;
    bool flushFails = false;
    // Expected:
    bool ok = false;
    std::vector<std::string> events;
    std::vector<std::wstring> errors;
    size_t reads = 0;
    std::vector<uint32_t> sleeps;
};

std::vector<std::string> Head(uint32_t total)
{
    return {"progress 0 0", "size " + std::to_string(total), "total 100",
            "progress " + std::to_string(total) + " 0"};
}

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> Block(uint32_t total, uint32_t received)
{
    return {"poll", "progress " + std::to_string(total) + " " + std::to_string(received),
            "total " + std::to_string(kPrevious + received)};
}

std::vector<std::string> Tail(uint32_t total)
{
    return {"progress " + std::to_string(total) + " " + std::to_string(total),
            "total " + std::to_string(kPrevious + total)};
}

std::vector<LoopCase> Cases()
{
    const std::wstring failed = QV::kMsgDownloadFailed;
    const std::wstring cancelled = QV::kMsgDownloadCancelled;
    std::vector<LoopCase> cases;
    {
        LoopCase c;
        c.name = "full block then a short one";
        c.length = 5000;
        c.steps = {{4096, 1000}, {904, 1010}};
        c.ok = true;
        c.events = Cat(Cat(Cat(Head(5000), Block(5000, 4096)), Block(5000, 5000)), Tail(5000));
        c.reads = 2;
        cases.push_back(c);
    }
    {
        // The loop ends on the last full block: the empty read after it is never made.
        LoopCase c;
        c.name = "exactly two full blocks";
        c.length = 8192;
        c.steps = {{4096, 1001}, {4096, 1002}, {0, 1003}};
        c.ok = true;
        c.events = Cat(Cat(Cat(Head(8192), Block(8192, 4096)), Block(8192, 8192)), Tail(8192));
        c.reads = 2;
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "body ends early: six empty reads";
        c.length = 5000;
        c.steps = {{4096, 1001}, {0}, {0}, {0}, {0}, {0}, {0}, {0}};
        c.events = Cat(Head(5000), Block(5000, 4096));
        for (int i = 0; i < 6; ++i)
            c.events.push_back("poll");
        c.events.push_back("error");
        c.errors = {failed};
        c.reads = 7;
        c.sleeps = {5, 5, 5, 5, 5, 5};
        cases.push_back(c);
    }
    {
        // Empty reads are counted over the whole transfer, not only consecutive ones.
        LoopCase c;
        c.name = "six empty reads spread over the transfer";
        c.length = 4096 * 10;
        c.steps = {{4096, 1001}, {0}, {4096, 1002}, {0}, {4096, 1003}, {0},
                   {4096, 1004}, {0}, {4096, 1005}, {0}, {4096, 1006}, {0}};
        c.events = Head(4096 * 10);
        for (uint32_t k = 1; k <= 6; ++k)
        {
            c.events = Cat(c.events, Block(4096 * 10, 4096 * k));
            c.events.push_back("poll");
        }
        c.events.push_back("error");
        c.errors = {failed};
        c.reads = 12;
        c.sleeps = {5, 5, 5, 5, 5, 5};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "five empty reads are tolerated";
        c.length = 100;
        c.steps = {{0}, {0}, {0}, {0}, {0}, {100, 1005}};
        c.ok = true;
        c.events = Head(100);
        for (int i = 0; i < 5; ++i)
            c.events.push_back("poll");
        c.events = Cat(Cat(c.events, Block(100, 100)), Tail(100));
        c.reads = 6;
        c.sleeps = {5, 5, 5, 5, 5};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "body longer than announced";
        c.length = 5000;
        c.steps = {{4096, 1001}, {4096, 1002}};
        c.events = Cat(Cat(Cat(Head(5000), Block(5000, 4096)), Block(5000, 8192)), {"error"});
        c.errors = {failed};
        c.reads = 2;
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "read failure";
        c.length = 5000;
        c.steps = {{4096, 1001}, {kFail}};
        c.events = Cat(Cat(Head(5000), Block(5000, 4096)), {"poll", "error"});
        c.errors = {failed};
        c.reads = 2;
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "short write";
        c.length = 5000;
        c.steps = {{4096, 1001}, {904, 1002}};
        c.shortWriteAt = 2;
        c.events = Cat(Cat(Head(5000), Block(5000, 4096)), {"poll", "error"});
        c.errors = {QV::kMsgWriteFailed};
        c.reads = 2;
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "held-back blocks cannot be written";
        c.length = 5000;
        c.steps = {{4096, 1001}, {904, 1002}};
        c.flushFails = true;
        c.events = Cat(Cat(Cat(Head(5000), Block(5000, 4096)), Block(5000, 5000)), {"error"});
        c.errors = {QV::kMsgWriteFailed};
        c.reads = 2;
        cases.push_back(c);
    }
    for (int status : {206, 404, 500})
    {
        LoopCase c;
        c.name = "status other than 200";
        c.status = status;
        c.length = 5000;
        c.events = {"error"};
        c.errors = {failed};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "no or zero Content-Length";
        c.length = 0;
        c.events = {"error"};
        c.errors = {failed};
        cases.push_back(c);
    }
    {
        // Only the low 32 bits of the length count; 4 GiB exactly is a zero length.
        LoopCase c;
        c.name = "Content-Length of 4 GiB";
        c.length = 0x100000000ull;
        c.events = {"error"};
        c.errors = {failed};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "no response";
        c.opens = false;
        c.events = {"error"};
        c.errors = {failed};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "cancelled at the first poll";
        c.length = 5000;
        c.steps = {{4096, 1001}};
        c.cancelAtPoll = 1;
        c.events = Cat(Head(5000), {"poll", "error"});
        c.errors = {cancelled};
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "cancelled at the second poll";
        c.length = 5000;
        c.steps = {{4096, 1001}, {904, 1002}};
        c.cancelAtPoll = 2;
        c.events = Cat(Cat(Head(5000), Block(5000, 4096)), {"poll", "error"});
        c.errors = {cancelled};
        c.reads = 1;
        cases.push_back(c);
    }
    {
        // An abort that ends a blocking read: the user interface is asked once more.
        LoopCase c;
        c.name = "aborted read, user cancelled";
        c.length = 5000;
        c.steps = {{4096, 1001}, {kFail, 0, true}};
        c.cancelAtPoll = 3;
        c.events = Cat(Cat(Head(5000), Block(5000, 4096)), {"poll", "poll", "error"});
        c.errors = {cancelled};
        c.reads = 2;
        cases.push_back(c);
    }
    {
        LoopCase c;
        c.name = "aborted read, not cancelled";
        c.length = 5000;
        c.steps = {{4096, 1001}, {kFail, 0, true}};
        c.events = Cat(Cat(Head(5000), Block(5000, 4096)), {"poll", "poll", "error"});
        c.errors = {failed};
        c.reads = 2;
        cases.push_back(c);
    }
    return cases;
}

TEST(TransferLoop, ReportsInOrderAndChecksTheLength)
{
    for (const LoopCase& c : Cases())
    {
        SCOPED_TRACE(c.name);
        ScriptedClock clock;
        ScriptedSource source(clock, c.opens, c.status, c.length, c.steps);
        MemorySink sink(c.shortWriteAt, c.flushFails);
        RecordingCallback callback(c.cancelAtPoll);
        uint32_t total = kPrevious;

        bool ok = QV::RunTransferLoop(source, sink, clock, &callback, kUrl, total);

        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(callback.Events(), c.events);
        EXPECT_EQ(callback.Errors(), c.errors);
        EXPECT_EQ(source.reads, c.reads);
        EXPECT_EQ(clock.sleeps, c.sleeps);
        // What the sink holds back is written before a success is reported.
        EXPECT_EQ(sink.flushes, c.ok || c.flushFails ? 1u : 0u);
        EXPECT_EQ(source.openedUrl, kUrl);
        EXPECT_EQ(total, c.ok ? kPrevious + static_cast<uint32_t>(c.length) : kPrevious);
        for (const std::wstring& url : callback.Urls())
            EXPECT_EQ(url, kUrl);
        if (c.ok)
        {
            ASSERT_EQ(sink.bytes.size(), c.length);
            for (size_t i = 0; i < sink.bytes.size(); ++i)
                ASSERT_EQ(sink.bytes[i], BodyByte(i)) << "offset " << i;
        }
    }
}

// Speeds, measured on the loop's clock: 0.0 in the first calls and until the tick moves, then
// received / ms since the start, unchanged while the tick stands still; the final report repeats
// the last speed.
TEST(TransferLoop, SpeedFollowsTheTickCounter)
{
    ScriptedClock clock;
    clock.now = 5000;
    ScriptedSource source(clock, true, 200, 4096 * 3 + 10,
                          {{4096, 5000}, {4096, 5004}, {4096, 5004}, {10, 5008}});
    MemorySink sink;
    RecordingCallback callback;
    uint32_t total = 0;
    ASSERT_TRUE(QV::RunTransferLoop(source, sink, clock, &callback, kUrl, total));
    const std::vector<double> expected = {0.0,        0.0,         0.0,        8192.0 / 4,
                                          8192.0 / 4, 12298.0 / 8, 12298.0 / 8};
    EXPECT_EQ(callback.Speeds(), expected);
}

// An empty read counts for the speed too: at a new tick it measures, and a block read within that
// tick then reports the speed measured before it.
TEST(TransferLoop, EmptyReadAtANewTickMeasuresTheSpeed)
{
    ScriptedClock clock;
    clock.now = 5000;
    ScriptedSource source(clock, true, 200, 8192, {{4096, 5000}, {0, 5010}, {4096, 5010}});
    MemorySink sink;
    RecordingCallback callback;
    uint32_t total = 0;
    ASSERT_TRUE(QV::RunTransferLoop(source, sink, clock, &callback, kUrl, total));
    const std::vector<double> expected = {0.0, 0.0, 0.0, 4096.0 / 10, 4096.0 / 10};
    EXPECT_EQ(callback.Speeds(), expected);
    EXPECT_EQ(clock.sleeps, std::vector<uint32_t>{QV::kEmptyReadPauseMs});
}

TEST(TransferLoop, RunsWithoutCallback)
{
    ScriptedClock clock;
    ScriptedSource good(clock, true, 200, 5000, {{4096, 1001}, {904, 1002}});
    MemorySink sink;
    uint32_t total = 7;
    EXPECT_TRUE(QV::RunTransferLoop(good, sink, clock, nullptr, kUrl, total));
    EXPECT_EQ(total, 5007u);
    EXPECT_EQ(sink.bytes.size(), 5000u);

    ScriptedSource bad(clock, true, 200, 5000, {{4096, 1001}, {kFail}});
    EXPECT_FALSE(QV::RunTransferLoop(bad, sink, clock, nullptr, kUrl, total));
    EXPECT_EQ(total, 5007u);
}

// Attempts after an earlier one left part of the file: each case gives what the file holds (the
// resume record and that many body bytes in the sink), the answer, and expects the outcome, the
// reports, the record afterwards and what the file holds.
constexpr uint32_t kWhole = 10000;
const std::wstring kTag = L"\"v1\"";
const std::wstring kDate = L"Wed, 21 Oct 2015 07:28:00 GMT";

struct AttemptCase
{
    const char* name;
    QV::TransferResume resume;
    bool opens = true;
    bool refusedAsUnsafe = false; // with opens false: the source says why
    int status = 206;
    uint64_t length = 0;
    std::map<QV::ResponseHeader, std::wstring> headers;
    uint64_t bodyStart = 0; // where in the whole body the answer's bytes begin
    std::vector<Step> steps;
    bool flushFails = false;
    bool restartFails = false;
    // Expected:
    QV::TransferEnd end = QV::TransferEnd::Complete;
    std::vector<std::string> events;
    QV::TransferResume after;
    uint64_t fileBytes = 0; // body bytes from the first on that the file holds afterwards
    uint32_t flushes = 0;
    uint32_t restarts = 0;
    uint32_t outcomeStatus = 0;
    std::optional<uint32_t> retryAfterMs;
};

QV::TransferResume Resume(uint64_t written, std::wstring etag = kTag, std::wstring date = L"")
{
    QV::TransferResume r;
    r.length = kWhole;
    r.etag = std::move(etag);
    r.lastModified = std::move(date);
    r.written = written;
    return r;
}

std::map<QV::ResponseHeader, std::wstring> Ranged(const std::wstring& range,
                                                  const std::wstring& etag = kTag)
{
    std::map<QV::ResponseHeader, std::wstring> h = {{QV::ResponseHeader::ContentRange, range}};
    if (!etag.empty())
        h[QV::ResponseHeader::ETag] = etag;
    return h;
}

// The opening reports of an attempt that continues the file at `at`.
std::vector<std::string> ContinueHead(uint32_t at)
{
    return {"size " + std::to_string(kWhole), "total " + std::to_string(kPrevious + at),
            "progress " + std::to_string(kWhole) + " " + std::to_string(at)};
}

std::vector<AttemptCase> AttemptCases()
{
    using End = QV::TransferEnd;
    std::vector<AttemptCase> cases;
    {
        AttemptCase c;
        c.name = "206 continues the file; the display starts where it stood";
        c.resume = Resume(4096);
        c.length = kWhole - 4096;
        c.headers = Ranged(L"bytes 4096-9999/10000");
        c.bodyStart = 4096;
        c.steps = {{4096, 1001}, {1808, 1002}};
        c.events = Cat(Cat(Cat(ContinueHead(4096), Block(kWhole, 8192)), Block(kWhole, kWhole)),
                       Tail(kWhole));
        c.after = Resume(kWhole);
        c.fileBytes = kWhole;
        c.flushes = 1;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "206 validated by the date when there is no strong tag";
        c.resume = Resume(4096, L"W/\"weak\"", kDate);
        c.length = kWhole - 4096;
        c.headers = {{QV::ResponseHeader::ContentRange, L"bytes 4096-9999/10000"},
                     {QV::ResponseHeader::ETag, L"W/\"weak\""},
                     {QV::ResponseHeader::LastModified, kDate}};
        c.bodyStart = 4096;
        c.steps = {{4096, 1001}, {1808, 1002}};
        c.events = Cat(Cat(Cat(ContinueHead(4096), Block(kWhole, 8192)), Block(kWhole, kWhole)),
                       Tail(kWhole));
        c.after = Resume(kWhole, L"W/\"weak\"", kDate);
        c.fileBytes = kWhole;
        c.flushes = 1;
        cases.push_back(c);
    }
    {
        // The server ignored the range: the file starts over, truncated, with this answer.
        AttemptCase c;
        c.name = "200 to a ranged request starts over";
        c.resume = Resume(4096);
        c.status = 200;
        c.length = kWhole;
        c.headers = {{QV::ResponseHeader::ETag, L"\"v2\""}};
        c.steps = {{4096, 1001}, {4096, 1002}, {1808, 1003}};
        c.events = Cat(Cat(Cat(Cat(Head(kWhole), Block(kWhole, 4096)), Block(kWhole, 8192)),
                           Block(kWhole, kWhole)),
                       Tail(kWhole));
        c.after = Resume(kWhole, L"\"v2\"");
        c.fileBytes = kWhole;
        c.flushes = 1;
        c.restarts = 1;
        cases.push_back(c);
    }
    for (const auto& refused : std::vector<std::pair<const char*, AttemptCase>>{
             {"416", {}},
             {"range starts elsewhere", {}},
             {"another total", {}},
             {"range ends early", {}},
             {"length does not match the range", {}},
             {"another entity tag", {}},
             {"no entity tag although asked with one", {}},
             {"another date", {}},
             {"another weak tag beside the date", {}},
             {"no Content-Range", {}},
         })
    {
        AttemptCase c;
        c.name = refused.first;
        c.resume = Resume(4096);
        c.length = kWhole - 4096;
        c.headers = Ranged(L"bytes 4096-9999/10000");
        const std::string name = refused.first;
        if (name == "416")
        {
            c.status = 416;
            c.headers = {{QV::ResponseHeader::ContentRange, L"bytes */10000"}};
        }
        else if (name == "range starts elsewhere")
        {
            c.length = kWhole;
            c.headers = Ranged(L"bytes 0-9999/10000");
        }
        else if (name == "another total")
        {
            c.length = 5905;
            c.headers = Ranged(L"bytes 4096-10000/10001");
        }
        else if (name == "range ends early")
        {
            c.length = 904;
            c.headers = Ranged(L"bytes 4096-4999/10000");
        }
        else if (name == "length does not match the range")
        {
            c.length = kWhole;
        }
        else if (name == "another entity tag")
        {
            c.headers = Ranged(L"bytes 4096-9999/10000", L"\"v2\"");
        }
        else if (name == "no entity tag although asked with one")
        {
            c.headers = Ranged(L"bytes 4096-9999/10000", L"");
        }
        else if (name == "another date")
        {
            c.resume = Resume(4096, L"", kDate);
            c.headers = Ranged(L"bytes 4096-9999/10000", L"");
            c.headers[QV::ResponseHeader::LastModified] = L"Thu, 22 Oct 2015 07:28:00 GMT";
        }
        else if (name == "another weak tag beside the date")
        {
            c.resume = Resume(4096, L"W/\"weak\"", kDate);
            c.headers = Ranged(L"bytes 4096-9999/10000", L"W/\"other\"");
            c.headers[QV::ResponseHeader::LastModified] = kDate;
        }
        else if (name == "no Content-Range")
        {
            c.headers.erase(QV::ResponseHeader::ContentRange);
        }
        c.steps = {{4096, 1001}};
        c.end = End::RangeRefused;
        c.after = QV::TransferResume();
        c.fileBytes = 4096; // untouched; the next attempt asks for the whole and empties it
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "continued body cut short: kept for the next attempt";
        c.resume = Resume(4096);
        c.length = kWhole - 4096;
        c.headers = Ranged(L"bytes 4096-9999/10000");
        c.bodyStart = 4096;
        c.steps = {{4096, 1001}, {0}, {0}, {0}, {0}, {0}, {0}};
        c.events = Cat(ContinueHead(4096), Block(kWhole, 8192));
        for (int i = 0; i < 6; ++i)
            c.events.push_back("poll");
        c.end = End::CutShort;
        c.after = Resume(8192);
        c.fileBytes = 8192;
        c.flushes = 1;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "first answer with a tag, read fails: kept";
        c.resume = QV::TransferResume();
        c.status = 200;
        c.length = kWhole;
        c.headers = {{QV::ResponseHeader::ETag, kTag}};
        c.steps = {{4096, 1001}, {kFail}};
        c.events = Cat(Cat(Head(kWhole), Block(kWhole, 4096)), {"poll"});
        c.end = End::ReadFailed;
        c.after = Resume(4096);
        c.fileBytes = 4096;
        c.flushes = 1;
        c.restarts = 1;
        cases.push_back(c);
    }
    {
        // Nothing to ask a continuation with: the bytes are not worth writing out.
        AttemptCase c;
        c.name = "first answer without validators, read fails";
        c.resume = QV::TransferResume();
        c.status = 200;
        c.length = kWhole;
        c.steps = {{4096, 1001}, {kFail}};
        c.events = Cat(Cat(Head(kWhole), Block(kWhole, 4096)), {"poll"});
        c.end = End::ReadFailed;
        c.after = Resume(4096, L"");
        c.fileBytes = 4096;
        c.restarts = 1;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "bytes kept but the file cannot take them";
        c.resume = Resume(4096);
        c.length = kWhole - 4096;
        c.headers = Ranged(L"bytes 4096-9999/10000");
        c.bodyStart = 4096;
        c.steps = {{4096, 1001}, {kFail}};
        c.flushFails = true;
        c.events = Cat(Cat(ContinueHead(4096), Block(kWhole, 8192)), {"poll"});
        c.end = End::WriteFailed;
        c.after = Resume(8192);
        c.fileBytes = 8192;
        c.flushes = 1;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "the file cannot be emptied for a new answer";
        c.resume = Resume(4096);
        c.status = 200;
        c.length = kWhole;
        c.restartFails = true;
        c.end = End::WriteFailed;
        c.after = Resume(4096);
        c.restarts = 1;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "503 with Retry-After in seconds";
        c.resume = Resume(4096);
        c.status = 503;
        c.length = 12;
        c.headers = {{QV::ResponseHeader::RetryAfter, L"3"}};
        c.end = End::BadStatus;
        c.after = Resume(4096);
        c.fileBytes = 4096;
        c.outcomeStatus = 503;
        c.retryAfterMs = 3000;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "429 with Retry-After as a date, measured against the answer's Date";
        c.status = 429;
        c.length = 12;
        c.headers = {{QV::ResponseHeader::RetryAfter, L"Wed, 21 Oct 2015 07:28:07 GMT"},
                     {QV::ResponseHeader::Date, kDate}};
        c.end = End::BadStatus;
        c.outcomeStatus = 429;
        c.retryAfterMs = 7000;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "no response";
        c.resume = Resume(4096);
        c.opens = false;
        c.end = End::NoResponse;
        c.after = Resume(4096);
        c.fileBytes = 4096;
        cases.push_back(c);
    }
    {
        AttemptCase c;
        c.name = "connection refused as unsafe";
        c.resume = Resume(4096);
        c.opens = false;
        c.refusedAsUnsafe = true;
        c.end = End::Refused;
        c.after = Resume(4096);
        c.fileBytes = 4096;
        cases.push_back(c);
    }
    return cases;
}

TEST(TransferLoop, AttemptsContinueOnlyTheSameVersion)
{
    for (const AttemptCase& c : AttemptCases())
    {
        SCOPED_TRACE(c.name);
        ScriptedClock clock;
        ScriptedSource source(clock, c.opens, c.status, c.length, c.steps);
        source.headers = c.headers;
        source.offset = c.bodyStart;
        source.refusedAsUnsafe = c.refusedAsUnsafe;
        MemorySink sink(std::nullopt, c.flushFails, c.restartFails);
        for (uint64_t i = 0; i < c.resume.written; ++i)
            sink.bytes.push_back(BodyByte(i));
        RecordingCallback callback;
        QV::TransferResume resume = c.resume;
        uint32_t total = kPrevious;

        const QV::TransferOutcome outcome =
            QV::RunTransferAttempt(source, sink, clock, &callback, kUrl, resume, total);

        EXPECT_EQ(static_cast<int>(outcome.end), static_cast<int>(c.end));
        EXPECT_EQ(callback.Events(), c.events);
        EXPECT_TRUE(callback.Errors().empty()) << "an attempt reports no error";
        EXPECT_EQ(resume.length, c.after.length);
        EXPECT_EQ(resume.etag, c.after.etag);
        EXPECT_EQ(resume.lastModified, c.after.lastModified);
        EXPECT_EQ(resume.written, c.after.written);
        EXPECT_EQ(sink.flushes, c.flushes);
        EXPECT_EQ(sink.restarts, c.restarts);
        EXPECT_EQ(outcome.status, c.outcomeStatus);
        EXPECT_EQ(outcome.retryAfterMs, c.retryAfterMs);
        EXPECT_EQ(total, c.end == QV::TransferEnd::Complete ? kPrevious + kWhole : kPrevious);
        if (!c.restartFails)
        {
            ASSERT_EQ(sink.bytes.size(), c.fileBytes);
            for (size_t i = 0; i < sink.bytes.size(); ++i)
                ASSERT_EQ(sink.bytes[i], BodyByte(i)) << "offset " << i;
        }
        if (c.end == QV::TransferEnd::Complete)
            EXPECT_EQ(outcome.message, nullptr);
        else
            EXPECT_STREQ(outcome.message, c.end == QV::TransferEnd::WriteFailed
                                              ? QV::kMsgWriteFailed
                                              : QV::kMsgDownloadFailed);
    }
}

// The speed of a continued attempt counts its own bytes over its own time, not the bytes an
// earlier attempt left in the file.
TEST(TransferLoop, SpeedOfAContinuedAttemptCountsItsOwnBytes)
{
    ScriptedClock clock;
    clock.now = 7000;
    ScriptedSource source(clock, true, 206, kWhole - 4096, {{4096, 7008}, {1808, 7010}});
    source.headers = Ranged(L"bytes 4096-9999/10000");
    source.offset = 4096;
    MemorySink sink;
    RecordingCallback callback;
    QV::TransferResume resume = Resume(4096);
    uint32_t total = 0;
    ASSERT_EQ(QV::RunTransferAttempt(source, sink, clock, &callback, kUrl, resume, total).end,
              QV::TransferEnd::Complete);
    const std::vector<double> expected = {0.0, 4096.0 / 8, 5904.0 / 10, 5904.0 / 10};
    EXPECT_EQ(callback.Speeds(), expected);
}

} // namespace

namespace
{

// Which failed sends are final: the certificate and downgrade refusals, not the network's faults.
TEST(UnsafeConnection, CertificateAndDowngradeRefusalsOnly)
{
    const struct
    {
        uint32_t error;
        bool unsafe;
    } cases[] = {
        {12037, true},  // certificate expired or not yet valid
        {12038, true},  // certificate for another host name
        {12040, true},  // https redirected to plain http
        {12045, true},  // untrusted root
        {12055, true},  // certificate errors
        {12056, true},  // no revocation information
        {12057, true},  // revocation check failed
        {12169, true},  // invalid certificate
        {12170, true},  // revoked certificate
        {0, false},     // no error recorded
        {12002, false}, // time-out
        {12007, false}, // host name not resolved
        {12029, false}, // cannot connect
        {12030, false}, // connection aborted
        {12031, false}, // connection reset
        {12152, false}, // invalid server response
        {12175, false}, // secure channel error (a handshake cut by the network)
    };
    for (const auto& c : cases)
        EXPECT_EQ(QV::IsUnsafeConnectionError(c.error), c.unsafe) << c.error;
}

} // namespace
