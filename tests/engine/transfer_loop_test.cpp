#include "engine/engine_messages.h"
#include "engine/transfer_loop.h"
#include "engine/recording_callback.h"

#include <gtest/gtest.h>

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
    bool HasErrorStatus() override { return m_status != 200; }
    uint64_t GetContentLength() override { return m_length; }
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
            buffer[i] = BodyByte(m_offset + i);
        m_offset += static_cast<uint64_t>(step.result);
        m_clock.now = step.tick;
        return step.result;
    }
    bool WasAborted() override { return aborted; }

    std::wstring openedUrl;
    size_t reads = 0;
    bool aborted = false;

private:
    ScriptedClock& m_clock;
    bool m_bOpens;
    int m_status;
    uint64_t m_length;
    std::vector<Step> m_steps;
    uint64_t m_offset = 0;
};

class MemorySink : public QV::IFileSink
{
public:
    explicit MemorySink(std::optional<uint32_t> shortWriteAt = std::nullopt,
                        bool flushFails = false)
        : m_shortWriteAt(shortWriteAt), m_bFlushFails(flushFails)
    {
    }
    bool Flush() override
    {
        ++flushes;
        return !m_bFlushFails;
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

private:
    std::optional<uint32_t> m_shortWriteAt;
    bool m_bFlushFails;
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

} // namespace
