// QVSetupJob over fakes of its ports: each case scripts the download's preparation and attempts,
// the check, the user's cancel and the launch, and expects the exact sequence of calls the job
// makes on its steps, its clock and its user interface (waits between attempts collapsed into one
// "wait MS" entry).
#include "engine/engine_messages.h"
#include "engine/retry_policy.h"
#include "engine/setup_downloader_rules.h"
#include "engine/setup_job.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
    {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
    return out;
}

// One journal of every call, in order, from all the fakes.
using Journal = std::vector<std::string>;

constexpr uint32_t kTotal = 10000;
constexpr uint32_t kNow = 4242;

// The user interface: host and report receiver at once, as the dialog is. Its flags follow the
// interface contracts: OnError and MarkStopped stop the job, MarkFinished finishes it. Poll number
// `cancelAtPoll` (1-based; 0: never) and every later one answer true, as after a confirmed
// cancellation; poll number `questionAtPoll` stands for a poll that blocked while the cancel
// question was open and was answered No.
class FakeHost final : public QV::ISetupJobHost, public QV::IVersionUpdateCallback
{
public:
    FakeHost(Journal& journal, unsigned cancelAtPoll = 0, unsigned questionAtPoll = 0)
        : m_journal(journal), m_cancelAtPoll(cancelAtPoll), m_questionAtPoll(questionAtPoll)
    {
    }

    void ShowStatus(const std::wstring& text) override { Add("status " + Narrow(text)); }
    void SetProgressPos(int pos) override { Add("pos " + std::to_string(pos)); }
    void EnterInstallPhase() override { Add("install phase"); }
    void MarkFinished() override
    {
        Add("finished");
        finished = true;
    }
    void MarkStopped() override
    {
        Add("stopped");
        stopped = true;
    }

    void OnDownloadBegin() override { Add("begin"); }
    void OnFileSize(uint32_t) override { Add("size"); }
    void OnTotalReceived(uint32_t) override { Add("total"); }
    void OnProgress(const std::wstring&, uint32_t total, uint32_t received, double) override
    {
        Add("progress " + std::to_string(total) + " " + std::to_string(received));
    }
    void OnDownloadComplete(bool) override { Add("complete"); }
    void OnError(std::wstring message) override
    {
        Add("error '" + Narrow(message) + "'");
        stopped = true;
    }
    bool IsCancelled() override
    {
        ++m_polls;
        if (m_polls == m_questionAtPoll)
            ++questions;
        Add("poll");
        if (m_cancelAtPoll != 0 && m_polls >= m_cancelAtPoll)
            stopped = true;
        return stopped;
    }

    bool finished = false;
    bool stopped = false;
    unsigned questions = 0;

private:
    void Add(std::string entry) { m_journal.push_back(std::move(entry)); }
    Journal& m_journal;
    unsigned m_cancelAtPoll;
    unsigned m_questionAtPoll;
    unsigned m_polls = 0;
};

// One scripted attempt: the progress reports it makes (received counts of kTotal), then its end.
struct Try
{
    QV::TransferEnd end;
    std::vector<uint32_t> progress = {};
    uint32_t status = 0;
    std::optional<uint32_t> retryAfterMs = std::nullopt;
};

// The download step. Prepare reports as the real one does (begin, then `prepareReport` if any)
// and answers `prepareOk`, or throws; each Attempt plays the next Try; Finish reports as the
// real one does.
class FakeDownload final : public QV::ISetupDownload
{
public:
    FakeDownload(Journal& journal, bool prepareOk, std::optional<std::wstring> prepareReport,
                 std::vector<Try> tries, bool throws = false)
        : m_journal(journal), m_bPrepareOk(prepareOk), m_prepareReport(std::move(prepareReport)),
          m_tries(std::move(tries)), m_bThrows(throws)
    {
    }

    bool Prepare(QV::IVersionUpdateCallback& reports) override
    {
        m_journal.push_back("prepare");
        receiver = &reports;
        reports.OnDownloadBegin();
        if (m_bThrows)
            throw std::runtime_error("prepare");
        if (m_prepareReport)
            reports.OnError(*m_prepareReport);
        return m_bPrepareOk;
    }

    QV::TransferOutcome Attempt(QV::IVersionUpdateCallback& reports) override
    {
        m_journal.push_back("attempt");
        EXPECT_LT(attempts, m_tries.size()) << "more attempts than scripted";
        QV::TransferOutcome outcome;
        outcome.end = QV::TransferEnd::Cancelled;
        outcome.message = QV::kMsgDownloadCancelled;
        if (attempts >= m_tries.size())
            return outcome;
        const Try& t = m_tries[attempts++];
        for (uint32_t received : t.progress)
            reports.OnProgress(L"u", kTotal, received, 0.0);
        outcome.end = t.end;
        outcome.status = t.status;
        outcome.retryAfterMs = t.retryAfterMs;
        switch (t.end)
        {
        case QV::TransferEnd::Complete:
            outcome.message = nullptr;
            break;
        case QV::TransferEnd::Cancelled:
            outcome.message = QV::kMsgDownloadCancelled;
            break;
        case QV::TransferEnd::WriteFailed:
            outcome.message = QV::kMsgWriteFailed;
            break;
        default:
            outcome.message = QV::kMsgDownloadFailed;
            break;
        }
        return outcome;
    }

    void Finish(bool complete, QV::IVersionUpdateCallback& reports) override
    {
        m_journal.push_back(complete ? "finish complete" : "finish failed");
        if (complete)
            reports.OnDownloadComplete(true);
        else
            reports.OnTotalReceived(0);
    }

    QV::IVersionUpdateCallback* receiver = nullptr;
    size_t attempts = 0;

private:
    Journal& m_journal;
    bool m_bPrepareOk;
    std::optional<std::wstring> m_prepareReport;
    std::vector<Try> m_tries;
    bool m_bThrows;
};

class FakeCheck final : public QV::ISetupCheck
{
public:
    FakeCheck(Journal& journal, QV::SetupCheckResult result) : m_journal(journal), m_result(result)
    {
    }

    QV::SetupCheckResult Check() override
    {
        m_journal.push_back("check");
        return m_result;
    }

private:
    Journal& m_journal;
    QV::SetupCheckResult m_result;
};

class FakeLauncher final : public QV::ISetupLauncher
{
public:
    FakeLauncher(Journal& journal, bool ok) : m_journal(journal), m_bOk(ok) {}

    bool Launch() override
    {
        m_journal.push_back("launch");
        return m_bOk;
    }

    void Discard() override { m_journal.push_back("discard"); }

private:
    Journal& m_journal;
    bool m_bOk;
};

class FakeClock final : public QV::ITransferClock
{
public:
    explicit FakeClock(Journal& journal) : m_journal(journal) {}

    uint32_t Now() override
    {
        m_journal.push_back("now");
        return kNow;
    }
    void Sleep(uint32_t ms) override
    {
        m_journal.push_back("sleep " + std::to_string(ms));
        if (ms > longestSleep)
            longestSleep = ms;
    }

    uint32_t longestSleep = 0;

private:
    Journal& m_journal;
};

// Replaces each wait between attempts (polls with sleeps between them, from a poll to a poll) by
// "wait MS", the sum of its sleeps.
Journal CollapseWaits(const Journal& journal)
{
    Journal out;
    size_t i = 0;
    while (i < journal.size())
    {
        if (journal[i] == "poll" && i + 1 < journal.size() &&
            journal[i + 1].rfind("sleep ", 0) == 0)
        {
            unsigned long total = 0;
            size_t j = i;
            while (j + 1 < journal.size() && journal[j] == "poll" &&
                   journal[j + 1].rfind("sleep ", 0) == 0)
            {
                total += std::stoul(journal[j + 1].substr(6));
                j += 2;
            }
            if (j < journal.size() && journal[j] == "poll")
                ++j;
            out.push_back("wait " + std::to_string(total));
            i = j;
            continue;
        }
        out.push_back(journal[i]);
        ++i;
    }
    return out;
}

enum class Outcome
{
    Finished,
    Stopped
};

using QV::SetupCheckResult;

struct JobCase
{
    const char* name;
    bool prepareOk;
    std::optional<std::wstring> prepareReport;
    std::vector<Try> tries;
    bool launchOk;
    unsigned cancelAtPoll;
    unsigned questionAtPoll;
    // Expected:
    Journal journal;
    Outcome outcome;
    SetupCheckResult check = SetupCheckResult::Passed;
};

const std::string kInstallingStatus = "status " + Narrow(QV::kInstalling);
const std::string kDownloadingStatus = "status " + Narrow(QV::kDownloading);

Journal Cat(Journal head, const Journal& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// An attempt with its progress reports.
Journal AttemptOf(const std::vector<uint32_t>& progress)
{
    Journal j = {"attempt"};
    for (uint32_t received : progress)
        j.push_back("progress " + std::to_string(kTotal) + " " + std::to_string(received));
    return j;
}

// The waits the job makes, in order: the policy's wait after attempt `attempt` with the job's
// jitter, which it draws from a generator seeded with the clock's tick when the download begins.
class ExpectedWaits
{
public:
    Journal After(uint32_t attempt, std::optional<uint32_t> retryAfterMs = std::nullopt)
    {
        const uint32_t ms =
            QV::RetryWaitMs(attempt, retryAfterMs, static_cast<uint32_t>(m_random.Next()));
        return {"status " + Narrow(QV::RetryStatusText(attempt)), "wait " + std::to_string(ms)};
    }

private:
    QV::QVQueryRandom m_random{kNow};
};

const Journal kPrepared = {"prepare", "begin", "now"};
const Journal kInstalledTail = {"finish complete",
                                "complete",
                                "check",
                                "poll",
                                "pos 100",
                                "install phase",
                                kInstallingStatus,
                                "launch",
                                "status " + Narrow(QV::kInstalled),
                                "sleep " + std::to_string(QV::kSuccessPauseMs),
                                "finished"};

Journal FailedTail(const wchar_t* message)
{
    return {"error '" + Narrow(message) + "'", "finish failed", "total", "error ''"};
}

std::string ErrorOf(const wchar_t* text)
{
    return "error '" + Narrow(text) + "'";
}

std::vector<JobCase> Cases()
{
    using End = QV::TransferEnd;
    std::vector<JobCase> cases = {
        {"download and launch succeed",
         true,
         std::nullopt,
         {{End::Complete, {0, 4096, kTotal}}},
         true,
         0,
         0,
         Cat(Cat(kPrepared, AttemptOf({0, 4096, kTotal})), kInstalledTail),
         Outcome::Finished},
        {"launch fails",
         true,
         std::nullopt,
         {{End::Complete}},
         false,
         0,
         0,
         Cat(kPrepared,
             {"attempt", "finish complete", "complete", "check", "poll", "pos 100", "install phase",
              kInstallingStatus, "launch", "status " + Narrow(QV::kInstallFailed), "stopped"}),
         Outcome::Stopped},
        // The generic error follows, which tells the user why nothing was installed.
        {"no address: nothing is tried",
         false,
         std::nullopt,
         {},
         true,
         0,
         0,
         {"prepare", "begin", "error ''"},
         Outcome::Stopped},
        // A failure the download reported stays the one the user sees: the job's own report
        // follows once the job is already stopped, when the user interface shows nothing more.
        {"no local file",
         false,
         std::wstring(QV::kMsgCreateFileFailed),
         {},
         true,
         0,
         0,
         {"prepare", "begin", "error '" + Narrow(QV::kMsgCreateFileFailed) + "'", "error ''"},
         Outcome::Stopped},
        // A body that is no program (a proxy's page answered with 200) is a failed download; a
        // refused signer or hash has its own text. Either way the file goes and nothing runs.
        {"the body is no program",
         true,
         std::nullopt,
         {{End::Complete, {0, kTotal}}},
         true,
         0,
         0,
         Cat(Cat(kPrepared, AttemptOf({0, kTotal})),
             {"finish complete", "complete", "check", "discard", ErrorOf(QV::kMsgDownloadFailed)}),
         Outcome::Stopped,
         SetupCheckResult::NotAProgram},
        {"the check refuses the setup program",
         true,
         std::nullopt,
         {{End::Complete, {0, kTotal}}},
         true,
         0,
         0,
         Cat(Cat(kPrepared, AttemptOf({0, kTotal})),
             {"finish complete", "complete", "check", "discard",
              ErrorOf(QV::kMsgSetupCheckFailed)}),
         Outcome::Stopped,
         SetupCheckResult::Refused},
        // The transfer's last poll came before its last block: a cancel confirmed after it still
        // stops the job before anything runs (the first poll of the job is the one after the
        // check).
        {"cancel confirmed after the last block",
         true,
         std::nullopt,
         {{End::Complete, {0, kTotal}}},
         true,
         1,
         0,
         Cat(Cat(kPrepared, AttemptOf({0, kTotal})),
             {"finish complete", "complete", "check", "poll", "discard",
              ErrorOf(QV::kMsgDownloadCancelled)}),
         Outcome::Stopped},
    };

    // Failures that are never retried: the one attempt's sentence is the user's.
    for (const Try& once : std::vector<Try>{{End::BadStatus, {}, 404},
                                            {End::BadStatus, {}, 403},
                                            {End::BadStatus, {}, 206},
                                            {End::BadResponse},
                                            {End::WriteFailed, {0, 4096}},
                                            {End::Aborted},
                                            {End::Cancelled, {0, 4096}}})
    {
        const wchar_t* message = once.end == End::WriteFailed ? QV::kMsgWriteFailed
                                 : once.end == End::Cancelled ? QV::kMsgDownloadCancelled
                                                              : QV::kMsgDownloadFailed;
        cases.push_back({"not retried",
                         true,
                         std::nullopt,
                         {once},
                         true,
                         0,
                         0,
                         Cat(Cat(kPrepared, AttemptOf(once.progress)), FailedTail(message)),
                         Outcome::Stopped});
    }
    {
        // The status says "retrying" during the wait and "downloading" again as soon as the
        // continued attempt reports bytes beyond where it started.
        ExpectedWaits waits;
        cases.push_back({"cut once, continued",
                         true,
                         std::nullopt,
                         {{End::CutShort, {0, 4096}}, {End::Complete, {4096, 8192, kTotal}}},
                         true,
                         0,
                         0,
                         Cat(Cat(Cat(Cat(kPrepared, AttemptOf({0, 4096})), waits.After(1)),
                                 {"attempt", "progress 10000 4096", kDownloadingStatus,
                                  "progress 10000 8192", "progress 10000 10000"}),
                             kInstalledTail),
                         Outcome::Finished});
    }
    {
        ExpectedWaits waits;
        Journal j = kPrepared;
        for (uint32_t attempt = 1; attempt <= 4; ++attempt)
            j = Cat(Cat(j, AttemptOf({})), waits.After(attempt));
        j = Cat(Cat(j, AttemptOf({})), FailedTail(QV::kMsgDownloadFailed));
        cases.push_back({"five failed connections: four waits, then the failure",
                         true,
                         std::nullopt,
                         {{End::NoResponse},
                          {End::NoResponse},
                          {End::ReadFailed},
                          {End::CutShort},
                          {End::NoResponse}},
                         true,
                         0,
                         0,
                         j,
                         Outcome::Stopped});
    }
    for (uint32_t status : {500u, 502u, 503u, 504u, 408u, 429u})
    {
        ExpectedWaits waits;
        cases.push_back(
            {"retryable status",
             true,
             std::nullopt,
             {{End::BadStatus, {}, status}, {End::Complete, {0, kTotal}}},
             true,
             0,
             0,
             Cat(Cat(Cat(Cat(kPrepared, AttemptOf({})), waits.After(1)),
                     {"attempt", "progress 10000 0", kDownloadingStatus, "progress 10000 10000"}),
                 kInstalledTail),
             Outcome::Finished});
    }
    {
        cases.push_back(
            {"Retry-After: the server's wait, without jitter",
             true,
             std::nullopt,
             {{End::BadStatus, {}, 503, 2000}, {End::Complete, {0, kTotal}}},
             true,
             0,
             0,
             Cat(Cat(Cat(kPrepared, AttemptOf({})),
                     {"status " + Narrow(QV::RetryStatusText(1)), "wait 2000", "attempt",
                      "progress 10000 0", kDownloadingStatus, "progress 10000 10000"}),
                 kInstalledTail),
             Outcome::Finished});
        cases.push_back({"Retry-After beyond the cap",
                         true,
                         std::nullopt,
                         {{End::BadStatus, {}, 429, 3600000}, {End::Complete, {0, kTotal}}},
                         true,
                         0,
                         0,
                         Cat(Cat(Cat(kPrepared, AttemptOf({})),
                                 {"status " + Narrow(QV::RetryStatusText(1)),
                                  "wait " + std::to_string(QV::kMaxRetryWaitMs), "attempt",
                                  "progress 10000 0", kDownloadingStatus, "progress 10000 10000"}),
                             kInstalledTail),
                         Outcome::Finished});
    }
    {
        // A refused range is no network failure: the whole is asked for at once, quietly.
        cases.push_back(
            {"range refused: at once, without a wait",
             true,
             std::nullopt,
             {{End::RangeRefused}, {End::Complete, {0, kTotal}}},
             true,
             0,
             0,
             Cat(Cat(Cat(kPrepared, AttemptOf({})), AttemptOf({0, kTotal})), kInstalledTail),
             Outcome::Finished});
    }
    {
        // The attempts in all are five, refused ranges included; waits follow the network
        // failures only (after attempts 1 and 3), numbered by the attempts made.
        ExpectedWaits waits;
        Journal j = Cat(Cat(kPrepared, AttemptOf({})), waits.After(1));
        j = Cat(Cat(j, AttemptOf({})), AttemptOf({}));
        j = Cat(Cat(j, waits.After(3)), AttemptOf({}));
        j = Cat(Cat(j, AttemptOf({})), FailedTail(QV::kMsgDownloadFailed));
        cases.push_back({"refused ranges count as attempts",
                         true,
                         std::nullopt,
                         {{End::CutShort},
                          {End::RangeRefused},
                          {End::ReadFailed},
                          {End::RangeRefused},
                          {End::CutShort}},
                         true,
                         0,
                         0,
                         j,
                         Outcome::Stopped});
    }
    {
        // A confirmed cancellation during the wait ends it at the next poll: the third poll of
        // the wait answers true, after two steps of kRetryWaitPollMs.
        cases.push_back({"cancelled during the wait",
                         true,
                         std::nullopt,
                         {{End::NoResponse}},
                         true,
                         3,
                         0,
                         Cat(Cat(kPrepared, AttemptOf({})),
                             Cat({"status " + Narrow(QV::RetryStatusText(1)),
                                  "wait " + std::to_string(2 * QV::kRetryWaitPollMs)},
                                 FailedTail(QV::kMsgDownloadCancelled))),
                         Outcome::Stopped});
    }
    {
        // The poll that waited for the answer to the cancel question holds the wait: the whole
        // wait is still slept afterwards.
        ExpectedWaits waits;
        cases.push_back(
            {"cancel question answered No during the wait",
             true,
             std::nullopt,
             {{End::NoResponse}, {End::Complete, {0, kTotal}}},
             true,
             0,
             4,
             Cat(Cat(Cat(Cat(kPrepared, AttemptOf({})), waits.After(1)),
                     {"attempt", "progress 10000 0", kDownloadingStatus, "progress 10000 10000"}),
                 kInstalledTail),
             Outcome::Finished});
    }
    return cases;
}

TEST(SetupJob, RunsTheDownloadWithRetriesThenLaunchAndRecordsTheOutcome)
{
    for (const JobCase& c : Cases())
    {
        SCOPED_TRACE(std::string(c.name) + " (" + std::to_string(c.tries.size()) + " tries)");
        Journal journal;
        FakeHost host(journal, c.cancelAtPoll, c.questionAtPoll);
        FakeDownload download(journal, c.prepareOk, c.prepareReport, c.tries);
        FakeCheck check(journal, c.check);
        FakeLauncher launcher(journal, c.launchOk);
        FakeClock clock(journal);
        QV::QVSetupJob job(download, check, launcher, clock, host, host);

        const bool finished = job.Run();

        EXPECT_EQ(CollapseWaits(journal), c.journal);
        EXPECT_EQ(finished, c.outcome == Outcome::Finished);
        EXPECT_EQ(host.finished, c.outcome == Outcome::Finished);
        EXPECT_EQ(host.stopped, c.outcome == Outcome::Stopped);
        EXPECT_EQ(download.attempts, c.tries.size());
        EXPECT_EQ(download.receiver, static_cast<QV::IVersionUpdateCallback*>(&host))
            << "the download is prepared with the job's report receiver";
        EXPECT_EQ(host.questions, c.questionAtPoll != 0 ? 1u : 0u)
            << "the question came during the wait";
        EXPECT_LE(clock.longestSleep, std::max(QV::kRetryWaitPollMs, QV::kSuccessPauseMs));
    }
}

// An exception from a step leaves both flags to the thread that runs the job (it reports the
// abnormal end): the job marks nothing and takes no further step.
TEST(SetupJob, AnExceptionFromAStepPassesThroughWithoutAMark)
{
    Journal journal;
    FakeHost host(journal);
    FakeDownload download(journal, true, std::nullopt, {}, true);
    FakeCheck check(journal, SetupCheckResult::Passed);
    FakeLauncher launcher(journal, true);
    FakeClock clock(journal);
    QV::QVSetupJob job(download, check, launcher, clock, host, host);

    EXPECT_THROW(job.Run(), std::runtime_error);

    EXPECT_EQ(journal, (Journal{"prepare", "begin"}));
    EXPECT_FALSE(host.finished);
    EXPECT_FALSE(host.stopped);
}

} // namespace
