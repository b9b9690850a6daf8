// SetupDownloader's attempts against the loopback server's resumable modes under Wine: real
// WinINet, a real file. Each case runs attempts as the job does (without its waits) until the
// retry policy stops, then checks what the server was asked and the file that was kept.
#include "engine/engine_messages.h"
#include "engine/recording_callback.h"
#include "engine/retry_policy.h"
#include "engine/setup_downloader.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace
{

using namespace QV::test;
using End = QV::TransferEnd;

constexpr uint32_t kSize = 300000;

// The value of header `name` in each request of the server's JSON log, in order; empty where the
// request had none. The log writes a header as ["Name", "value"] with JSON escapes.
std::vector<std::string> HeaderPerRequest(const std::string& log, const std::string& name)
{
    std::vector<std::string> values;
    size_t at = log.find("{\"method\"");
    while (at != std::string::npos)
    {
        const size_t next = log.find("{\"method\"", at + 1);
        const std::string entry = log.substr(at, next == std::string::npos ? next : next - at);
        const std::string key = "[\"" + name + "\", \"";
        const size_t found = entry.find(key);
        std::string value;
        if (found != std::string::npos)
        {
            const size_t start = found + key.size();
            value = entry.substr(start, entry.find("\"]", start) - start);
        }
        values.push_back(value);
        at = next;
    }
    return values;
}

std::vector<uint8_t> Expected(uint32_t version)
{
    std::vector<uint8_t> bytes;
    for (uint32_t i = 0; i < kSize; ++i)
        bytes.push_back(PatternByte(i));
    if (version != 0)
    {
        std::string trailer = "qv-version-" + std::to_string(version);
        trailer.resize(64, '.');
        bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    }
    return bytes;
}

struct ResumeCase
{
    const char* name;
    std::wstring path; // without the query
    // Expected:
    std::vector<End> ends;            // of each attempt; a cut body ends as ReadFailed or CutShort
    std::vector<std::string> ranges;  // the Range of each request ("" for none)
    std::vector<std::string> ifRange; // its If-Range, as the log writes it
    uint32_t version;                 // 0: the plain body, else that version of /changing
};

class ResumeDownloadTest : public EngineWineTest
{
};

TEST_F(ResumeDownloadTest, AttemptsJoinOnlyTheSameVersion)
{
    const std::string tag = "\\\"qv-300000\\\"";
    const ResumeCase cases[] = {
        {"cut twice, continued twice",
         L"/drop/100000/2/300000/Resume.exe",
         {End::CutShort, End::CutShort, End::Complete},
         {"", "bytes=100000-", "bytes=200000-"},
         {"", tag, tag},
         0},
        {"Range ignored: starts over in the same file",
         L"/norange/100000/1/300000/Resume.exe",
         {End::CutShort, End::Complete},
         {"", "bytes=100000-"},
         {"", tag},
         0},
        {"416: the whole again",
         L"/unsatisfiable/100000/1/300000/Resume.exe",
         {End::CutShort, End::RangeRefused, End::Complete},
         {"", "bytes=100000-", ""},
         {"", tag, ""},
         0},
        {"no validators: never a ranged request",
         L"/novalidators/100000/1/300000/Resume.exe",
         {End::CutShort, End::Complete},
         {"", ""},
         {"", ""},
         0},
        {"new content under the range: refused, the whole of the newest",
         L"/changing/100000/1/300000/Resume.exe",
         {End::CutShort, End::RangeRefused, End::Complete},
         {"", "bytes=100000-", ""},
         {"", "\\\"qv-v1\\\"", ""},
         3},
        {"503 with Retry-After, then the body",
         L"/busy/1/1/300000/Resume.exe",
         {End::BadStatus, End::Complete},
         {"", ""},
         {"", ""},
         0},
    };
    for (const ResumeCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        Fetch(L"/__clear");
        RecordingCallback callback(0, false);
        QV::SetupDownloader downloader;
        downloader.SetCallback(&callback);
        ASSERT_TRUE(downloader.PrepareLocalFile(Url(c.path + L"?5.6")));
        std::vector<End> ends;
        QV::TransferOutcome outcome;
        for (uint32_t attempt = 1;; ++attempt)
        {
            outcome = downloader.DownloadAttempt();
            // A connection closed early may show as a failed read or as the end of the body.
            ends.push_back(outcome.end == End::ReadFailed ? End::CutShort : outcome.end);
            if (outcome.end == End::Complete ||
                QV::NextRetryStep(outcome, attempt) == QV::RetryStep::Stop)
                break;
        }
        downloader.FinishDownload(outcome.end == End::Complete);

        EXPECT_EQ(ends, c.ends);
        EXPECT_TRUE(callback.Errors().empty());
        const std::string log = ServerLog();
        EXPECT_EQ(HeaderPerRequest(log, "Range"), c.ranges) << log;
        EXPECT_EQ(HeaderPerRequest(log, "If-Range"), c.ifRange) << log;
        ASSERT_FALSE(downloader.GetSetupPath().empty());
        const std::vector<uint8_t> file = ReadWholeFile(downloader.GetSetupPath());
        const std::vector<uint8_t> expected = Expected(c.version);
        ASSERT_EQ(file.size(), expected.size());
        EXPECT_TRUE(file == expected) << "the kept file is not exactly the served version";
    }
}

// The display never goes back on a continuation: every progress report of a download cut twice
// counts at least as many bytes as the one before it (a new attempt opens where the last stood).
TEST_F(ResumeDownloadTest, ProgressNeverGoesBackOnAContinuation)
{
    RecordingCallback callback(0, false);
    QV::SetupDownloader downloader;
    downloader.SetCallback(&callback);
    ASSERT_TRUE(downloader.PrepareLocalFile(Url(L"/drop/100000/2/300000/Resume.exe?5.6")));
    for (int attempt = 0; attempt < 3; ++attempt)
        downloader.DownloadAttempt();
    downloader.FinishDownload(true);
    uint32_t last = 0;
    size_t reports = 0;
    for (const std::string& event : callback.Events())
    {
        unsigned long total = 0, received = 0;
        if (std::sscanf(event.c_str(), "progress %lu %lu", &total, &received) != 2 || total == 0)
            continue;
        EXPECT_EQ(total, kSize);
        EXPECT_GE(received, last) << "progress went back";
        last = static_cast<uint32_t>(received);
        ++reports;
    }
    EXPECT_EQ(last, kSize);
    EXPECT_GT(reports, 3u);
}

// Retry-After reaches the policy in both forms; a date is measured against the answer's Date.
TEST_F(ResumeDownloadTest, RetryAfterInSecondsAndAsADate)
{
    struct Case
    {
        const wchar_t* path;
        uint32_t low, high; // expected ms
    };
    const Case cases[] = {{L"/busy/1/7/100/Busy.exe?1.2", 7000, 7000},
                          {L"/busy/1/date3/100/Busy.exe?1.2", 2000, 4000},
                          {L"/busy/1/none/100/Busy.exe?1.2", 0, 0}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Narrow(c.path));
        QV::SetupDownloader downloader;
        ASSERT_TRUE(downloader.PrepareLocalFile(Url(c.path)));
        const QV::TransferOutcome outcome = downloader.DownloadAttempt();
        downloader.FinishDownload(false);
        EXPECT_EQ(outcome.end, End::BadStatus);
        EXPECT_EQ(outcome.status, 503u);
        if (c.high == 0)
        {
            EXPECT_FALSE(outcome.retryAfterMs.has_value());
            continue;
        }
        ASSERT_TRUE(outcome.retryAfterMs.has_value());
        EXPECT_GE(*outcome.retryAfterMs, c.low);
        EXPECT_LE(*outcome.retryAfterMs, c.high);
    }
}

} // namespace
