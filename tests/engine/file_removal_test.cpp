// Deleting with retries: which answers are tried again, how often, and with which pauses.
#include "engine/file_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using QV::DeleteOutcome;

class ScriptedDeleter final : public QV::IFileDeleter
{
public:
    explicit ScriptedDeleter(std::vector<DeleteOutcome> answers) : m_answers(std::move(answers)) {}

    DeleteOutcome Delete(const std::wstring& path) override
    {
        paths.push_back(path);
        const size_t i = paths.size() - 1;
        return i < m_answers.size() ? m_answers[i] : m_answers.back();
    }

    std::vector<std::wstring> paths;

private:
    std::vector<DeleteOutcome> m_answers;
};

class PauseClock final : public QV::ITransferClock
{
public:
    uint32_t Now() override { return 0; }
    void Sleep(uint32_t ms) override { pauses.push_back(ms); }
    std::vector<uint32_t> pauses;
};

TEST(DeleteWithRetry, TriesAgainOnlyWhileTheFileIsBusy)
{
    const DeleteOutcome busy = DeleteOutcome::Busy;
    const struct
    {
        const char* name;
        std::vector<DeleteOutcome> answers;
        bool deleted;
        size_t attempts;
    } cases[] = {
        {"deleted at once", {DeleteOutcome::Deleted}, true, 1},
        {"other failure: no retry", {DeleteOutcome::Failed}, false, 1},
        {"busy once", {busy, DeleteOutcome::Deleted}, true, 2},
        {"busy, then another failure", {busy, busy, DeleteOutcome::Failed}, false, 3},
        {"busy until the last try", std::vector<DeleteOutcome>(QV::kDeleteRetries, busy), false,
         QV::kDeleteRetries + 1},
        {"free at the last try",
         []
         {
             std::vector<DeleteOutcome> answers(QV::kDeleteRetries, DeleteOutcome::Busy);
             answers.push_back(DeleteOutcome::Deleted);
             return answers;
         }(),
         true, QV::kDeleteRetries + 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        ScriptedDeleter deleter(c.answers);
        PauseClock clock;
        EXPECT_EQ(QV::DeleteWithRetry(deleter, clock, L"C:\\x\\Setup.exe"), c.deleted);
        EXPECT_EQ(deleter.paths, std::vector<std::wstring>(c.attempts, L"C:\\x\\Setup.exe"));
        EXPECT_EQ(clock.pauses, std::vector<uint32_t>(c.attempts - 1, QV::kDeleteRetryPauseMs));
    }
}

} // namespace
