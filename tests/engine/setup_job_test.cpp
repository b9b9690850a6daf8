// QVSetupJob over fakes of its ports: each case scripts the download, the check, the user's
// cancel and the launch, and expects the exact sequence of calls the job makes on its steps, its
// clock and its user interface.
#include "engine/engine_messages.h"
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

// The user interface: host and report receiver at once, as the dialog is. Its flags follow the
// interface contracts: OnError and MarkStopped stop the job, MarkFinished finishes it. The user
// confirms a cancel at poll number `cancelAtPoll` (0: never).
class FakeHost final : public QV::ISetupJobHost, public QV::IVersionUpdateCallback
{
public:
    explicit FakeHost(Journal& journal, unsigned cancelAtPoll = 0)
        : m_journal(journal), m_cancelAtPoll(cancelAtPoll)
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
    void OnProgress(const std::wstring&, uint32_t, uint32_t, double) override { Add("progress"); }
    void OnDownloadComplete(bool) override { Add("complete"); }
    void OnError(std::wstring message) override
    {
        Add("error '" + Narrow(message) + "'");
        stopped = true;
    }
    bool IsCancelled() override
    {
        Add("poll");
        if (++m_polls == m_cancelAtPoll)
            stopped = true;
        return stopped;
    }

    bool finished = false;
    bool stopped = false;

private:
    void Add(std::string entry) { m_journal.push_back(std::move(entry)); }
    Journal& m_journal;
    unsigned m_cancelAtPoll;
    unsigned m_polls = 0;
};

// The download step: polls once as the transfer does, then reports `report` (if any) and answers
// `ok`; or throws.
class FakeDownload final : public QV::ISetupDownload
{
public:
    FakeDownload(Journal& journal, bool ok, std::optional<std::wstring> report, bool throws)
        : m_journal(journal), m_bOk(ok), m_report(std::move(report)), m_bThrows(throws)
    {
    }

    bool Download(QV::IVersionUpdateCallback& reports) override
    {
        m_journal.push_back("download");
        receiver = &reports;
        reports.IsCancelled();
        if (m_bThrows)
            throw std::runtime_error("download");
        if (m_report)
            reports.OnError(*m_report);
        return m_bOk;
    }

    QV::IVersionUpdateCallback* receiver = nullptr;

private:
    Journal& m_journal;
    bool m_bOk;
    std::optional<std::wstring> m_report;
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
        return 0;
    }
    void Sleep(uint32_t ms) override { m_journal.push_back("sleep " + std::to_string(ms)); }

private:
    Journal& m_journal;
};

enum class Outcome
{
    Finished,
    Stopped
};

using QV::SetupCheckResult;

struct JobCase
{
    const char* name;
    bool downloadOk;
    std::optional<std::wstring> report; // what the download reports before it answers
    SetupCheckResult check;
    unsigned cancelAtPoll; // the user's confirmed cancel (0: none)
    bool launchOk;
    // Expected:
    Journal journal;
    Outcome outcome;
};

const std::string kInstallingStatus = "status " + Narrow(QV::kInstalling);

std::string ErrorOf(const wchar_t* text)
{
    return "error '" + Narrow(text) + "'";
}

std::vector<JobCase> Cases()
{
    const Journal installPhase = {"download", "poll",          "check",           "poll",
                                  "pos 100",  "install phase", kInstallingStatus, "launch"};
    auto then = [](Journal head, const Journal& tail)
    {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const SetupCheckResult passed = SetupCheckResult::Passed;
    std::vector<JobCase> cases = {
        {"download, check and launch succeed", true, std::nullopt, passed, 0, true,
         then(installPhase, {"status " + Narrow(QV::kInstalled),
                             "sleep " + std::to_string(QV::kSuccessPauseMs), "finished"}),
         Outcome::Finished},
        {"launch fails", true, std::nullopt, passed, 0, false,
         then(installPhase, {"status " + Narrow(QV::kInstallFailed), "stopped"}), Outcome::Stopped},
        // The generic error follows, which tells the user why nothing was installed.
        {"download fails without a report",
         false,
         std::nullopt,
         passed,
         0,
         true,
         {"download", "poll", "error ''"},
         Outcome::Stopped},
        // A body that is no program (a proxy's page answered with 200) is a failed download; a
        // refused signer or hash has its own text. Either way the file goes and nothing runs.
        {"the body is no program",
         true,
         std::nullopt,
         SetupCheckResult::NotAProgram,
         0,
         true,
         {"download", "poll", "check", "discard", ErrorOf(QV::kMsgDownloadFailed)},
         Outcome::Stopped},
        {"the check refuses the setup program",
         true,
         std::nullopt,
         SetupCheckResult::Refused,
         0,
         true,
         {"download", "poll", "check", "discard", ErrorOf(QV::kMsgSetupCheckFailed)},
         Outcome::Stopped},
        // The transfer's last poll came before its last block: a cancel confirmed after it still
        // stops the job before anything runs.
        {"cancel confirmed after the last block",
         true,
         std::nullopt,
         passed,
         2,
         true,
         {"download", "poll", "check", "poll", "discard", ErrorOf(QV::kMsgDownloadCancelled)},
         Outcome::Stopped},
    };
    // A failure the download reported stays the one the user sees: the job's own report follows
    // once the job is already stopped, when the user interface shows nothing more.
    for (const wchar_t* report : {QV::kMsgDownloadFailed, QV::kMsgDownloadCancelled,
                                  QV::kMsgCreateFileFailed, QV::kMsgWriteFailed})
    {
        cases.push_back({"download fails with a report",
                         false,
                         std::wstring(report),
                         passed,
                         0,
                         true,
                         {"download", "poll", "error '" + Narrow(report) + "'", "error ''"},
                         Outcome::Stopped});
    }
    return cases;
}

TEST(SetupJob, RunsDownloadThenLaunchAndRecordsTheOutcome)
{
    for (const JobCase& c : Cases())
    {
        SCOPED_TRACE(std::string(c.name) + (c.report ? ": " + Narrow(*c.report) : ""));
        Journal journal;
        FakeHost host(journal, c.cancelAtPoll);
        FakeDownload download(journal, c.downloadOk, c.report, false);
        FakeCheck check(journal, c.check);
        FakeLauncher launcher(journal, c.launchOk);
        FakeClock clock(journal);
        QV::QVSetupJob job(download, check, launcher, clock, host, host);

        const bool finished = job.Run();

        EXPECT_EQ(journal, c.journal);
        EXPECT_EQ(finished, c.outcome == Outcome::Finished);
        EXPECT_EQ(host.finished, c.outcome == Outcome::Finished);
        EXPECT_EQ(host.stopped, c.outcome == Outcome::Stopped);
        EXPECT_EQ(download.receiver, static_cast<QV::IVersionUpdateCallback*>(&host))
            << "the download reports to, and polls, the job's report receiver";
    }
}

// An exception from a step leaves both flags to the thread that runs the job (it reports the
// abnormal end): the job marks nothing and takes no further step.
TEST(SetupJob, AnExceptionFromAStepPassesThroughWithoutAMark)
{
    Journal journal;
    FakeHost host(journal);
    FakeDownload download(journal, true, std::nullopt, true);
    FakeCheck check(journal, SetupCheckResult::Passed);
    FakeLauncher launcher(journal, true);
    FakeClock clock(journal);
    QV::QVSetupJob job(download, check, launcher, clock, host, host);

    EXPECT_THROW(job.Run(), std::runtime_error);

    EXPECT_EQ(journal, (Journal{"download", "poll"}));
    EXPECT_FALSE(host.finished);
    EXPECT_FALSE(host.stopped);
}

} // namespace
