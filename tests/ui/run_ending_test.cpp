#include "ui/run_ending.h"

#include <gtest/gtest.h>

#include <vector>

namespace QV
{
namespace
{

// One step of an ending and what it must answer.
struct Step
{
    enum Kind
    {
        Finish,   // outcome, visible
        Reported, // the failure reached the main thread
        Notice,   // notice
        Show,     // the tray menu's show item
        Dismiss,  // close box, Esc, minimize, exit
        Restart,  // the failure reached the tray again
        Tick,     // timer
    } kind;
    uint64_t nowMs;
    EndAction action;
    RunEndState state;
    RunOutcome outcome = RunOutcome::Failed;
    bool visible = false;
    TrayNotice notice = TrayNotice::Other;
};

Step FinishStep(uint64_t now, RunOutcome outcome, bool visible, EndAction action, RunEndState state)
{
    return {Step::Finish, now, action, state, outcome, visible};
}

Step NoticeStep(uint64_t now, TrayNotice notice, EndAction action, RunEndState state)
{
    return {Step::Notice, now, action, state, RunOutcome::Failed, false, notice};
}

Step Plain(Step::Kind kind, uint64_t now, EndAction action, RunEndState state)
{
    return {kind, now, action, state};
}

struct EndingCase
{
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const EndingCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunEndingTest : public ::testing::TestWithParam<EndingCase>
{
};

constexpr auto N = EndAction::Nothing;
constexpr auto C = EndAction::Close;
constexpr auto S = EndAction::ShowFailure;
constexpr auto Run = RunEndState::Running;
constexpr auto Notice = RunEndState::Noticing;
constexpr auto Shown = RunEndState::Showing;
constexpr auto Gone = RunEndState::Closed;

TEST_P(RunEndingTest, AnswersEachStep)
{
    QVRunEnding ending;
    int index = 0;
    for (const Step& step : GetParam().steps)
    {
        SCOPED_TRACE("step " + std::to_string(index++));
        EndAction action = EndAction::Nothing;
        switch (step.kind)
        {
        case Step::Finish:
            action = ending.Finish(step.outcome, step.nowMs, step.visible);
            break;
        case Step::Reported:
            ending.OnFailureReported();
            break;
        case Step::Notice:
            action = ending.OnTrayNotice(step.notice);
            break;
        case Step::Show:
            action = ending.OnShowRequest();
            break;
        case Step::Dismiss:
            action = ending.OnDismiss();
            break;
        case Step::Restart:
            ending.RestartNotice(step.nowMs);
            break;
        case Step::Tick:
            action = ending.OnTick(step.nowMs);
            break;
        }
        EXPECT_EQ(action, step.action);
        EXPECT_EQ(ending.State(), step.state);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunEndingTest,
    ::testing::Values(
        EndingCase{"SuccessClosesAtOnce",
                   {FinishStep(0, RunOutcome::Succeeded, false, C, Gone),
                    FinishStep(10, RunOutcome::Failed, false, N, Gone)}},
        EndingCase{"ConfirmedCancelClosesAtOnce",
                   {FinishStep(0, RunOutcome::Cancelled, true, C, Gone)}},
        EndingCase{"FailureStaysUntilTheTimeIsUp",
                   {FinishStep(1000, RunOutcome::Failed, false, N, Notice),
                    FinishStep(1500, RunOutcome::Failed, false, N, Notice),
                    Plain(Step::Tick, 15999, N, Notice), Plain(Step::Tick, 16000, C, Gone),
                    Plain(Step::Tick, 17000, N, Gone)}},
        EndingCase{"BalloonClickShowsTheFailureUntilTheUserCloses",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    NoticeStep(2000, TrayNotice::BalloonClicked, S, Shown),
                    Plain(Step::Tick, 60000, N, Shown),
                    NoticeStep(61000, TrayNotice::BalloonClosed, N, Shown),
                    Plain(Step::Dismiss, 62000, C, Gone)}},
        EndingCase{"IconClickShowsTheFailure",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    NoticeStep(100, TrayNotice::Activated, S, Shown),
                    NoticeStep(200, TrayNotice::Activated, S, Shown)}},
        EndingCase{"MenuShowItemShowsTheFailure",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    Plain(Step::Show, 100, S, Shown)}},
        EndingCase{"BalloonClosedAfterItWasShownEndsTheNotice",
                   {Plain(Step::Reported, 0, N, Run),
                    NoticeStep(10, TrayNotice::BalloonShown, N, Run),
                    FinishStep(20, RunOutcome::Failed, false, N, Notice),
                    NoticeStep(5000, TrayNotice::BalloonClosed, C, Gone)}},
        EndingCase{"AnOlderBalloonsEndDoesNotCount",
                   {NoticeStep(0, TrayNotice::BalloonShown, N, Run),
                    Plain(Step::Reported, 10, N, Run),
                    FinishStep(20, RunOutcome::Failed, false, N, Notice),
                    NoticeStep(30, TrayNotice::BalloonClosed, N, Notice),
                    NoticeStep(40, TrayNotice::BalloonShown, N, Notice),
                    NoticeStep(6000, TrayNotice::BalloonClosed, C, Gone)}},
        EndingCase{"ShellWithoutBalloonNotificationsWaitsForTheTime",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    NoticeStep(3000, TrayNotice::BalloonClosed, N, Notice),
                    NoticeStep(3000, TrayNotice::Other, N, Notice),
                    Plain(Step::Tick, 15000, C, Gone)}},
        EndingCase{"DismissDuringTheNoticeEnds",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    Plain(Step::Dismiss, 10, C, Gone)}},
        EndingCase{"FailureWithTheDialogOnScreenWaitsForTheUser",
                   {FinishStep(0, RunOutcome::Failed, true, N, Shown),
                    Plain(Step::Tick, 100000, N, Shown), Plain(Step::Dismiss, 100001, C, Gone)}},
        EndingCase{"IconArrivingLateStartsTheTimeAgain",
                   {FinishStep(0, RunOutcome::Failed, false, N, Notice),
                    Plain(Step::Restart, 10000, N, Notice), Plain(Step::Tick, 15000, N, Notice),
                    Plain(Step::Tick, 25000, C, Gone)}},
        EndingCase{"BalloonClosedBeforeTheWorkersEndClosesAtTheEnd",
                   {Plain(Step::Reported, 0, N, Run),
                    NoticeStep(10, TrayNotice::BalloonShown, N, Run),
                    NoticeStep(20, TrayNotice::BalloonClosed, N, Run),
                    FinishStep(30, RunOutcome::Failed, false, C, Gone)}},
        EndingCase{"ClickBetweenTheFailureAndTheWorkersEndShowsIt",
                   {Plain(Step::Reported, 0, N, Run),
                    NoticeStep(10, TrayNotice::BalloonClicked, S, Run),
                    FinishStep(20, RunOutcome::Failed, true, N, Shown),
                    Plain(Step::Tick, 60000, N, Shown)}},
        EndingCase{"WhileRunningTheTrayAndDismissAreNotTheEndings",
                   {NoticeStep(0, TrayNotice::Activated, N, Run),
                    NoticeStep(0, TrayNotice::BalloonClicked, N, Run),
                    NoticeStep(0, TrayNotice::BalloonClosed, N, Run), Plain(Step::Show, 0, N, Run),
                    Plain(Step::Dismiss, 0, N, Run), Plain(Step::Tick, 99999, N, Run),
                    Plain(Step::Restart, 0, N, Run)}}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return info.param.name; });

struct DeadlineCase
{
    uint64_t nowMs;
    std::optional<uint32_t> remaining;
};

TEST(RunEndingDeadline, CountsDownOnlyWhileNoticing)
{
    QVRunEnding ending;
    EXPECT_EQ(ending.MsUntilDeadline(0), std::nullopt);
    ending.Finish(RunOutcome::Failed, 1000, false);
    const DeadlineCase cases[] = {{1000, 15000u}, {9000, 7000u}, {16000, 0u}, {99000, 0u}};
    for (const DeadlineCase& c : cases)
        EXPECT_EQ(ending.MsUntilDeadline(c.nowMs), c.remaining) << c.nowMs;
    ending.OnShowRequest();
    EXPECT_EQ(ending.MsUntilDeadline(2000), std::nullopt) << "no time limit once shown";
}

} // namespace
} // namespace QV
