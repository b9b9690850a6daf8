#include "ui/run_ending.h"

namespace QV
{

EndAction QVRunEnding::Finish(RunOutcome outcome, uint64_t nowMs, bool dialogVisible)
{
    if (m_state != RunEndState::Running)
        return EndAction::Nothing;
    if (outcome != RunOutcome::Failed)
        return CloseNow();
    m_bFailureReported = true;
    if (dialogVisible)
    {
        m_state = RunEndState::Showing;
        return EndAction::Nothing;
    }
    // The user closed the failure's balloon before the worker was done: nothing left to show.
    if (m_bClosedAfterShown)
        return CloseNow();
    m_state = RunEndState::Noticing;
    m_ullDeadlineMs = nowMs + kFailureNoticeMs;
    return EndAction::Nothing;
}

void QVRunEnding::OnFailureReported()
{
    m_bFailureReported = true;
}

EndAction QVRunEnding::OnTrayNotice(TrayNotice notice)
{
    if (notice == TrayNotice::BalloonShown && m_bFailureReported)
        m_bShownSinceFailure = true;
    if (notice == TrayNotice::BalloonClosed && m_bShownSinceFailure)
        m_bClosedAfterShown = true;
    switch (m_state)
    {
    case RunEndState::Noticing:
        if (notice == TrayNotice::Activated || notice == TrayNotice::BalloonClicked)
        {
            m_state = RunEndState::Showing;
            return EndAction::ShowFailure;
        }
        if (m_bClosedAfterShown)
            return CloseNow();
        return EndAction::Nothing;
    case RunEndState::Showing:
        if (notice == TrayNotice::Activated || notice == TrayNotice::BalloonClicked)
            return EndAction::ShowFailure;
        return EndAction::Nothing;
    case RunEndState::Running:
        // The failure is in the status line already; the worker is about to end.
        if (m_bFailureReported &&
            (notice == TrayNotice::Activated || notice == TrayNotice::BalloonClicked))
            return EndAction::ShowFailure;
        break;
    case RunEndState::Closed:
        break;
    }
    return EndAction::Nothing;
}

EndAction QVRunEnding::OnShowRequest()
{
    return OnTrayNotice(TrayNotice::Activated);
}

EndAction QVRunEnding::OnDismiss()
{
    if (m_state == RunEndState::Noticing || m_state == RunEndState::Showing)
        return CloseNow();
    return EndAction::Nothing;
}

void QVRunEnding::RestartNotice(uint64_t nowMs)
{
    if (m_state == RunEndState::Noticing)
        m_ullDeadlineMs = nowMs + kFailureNoticeMs;
}

EndAction QVRunEnding::OnTick(uint64_t nowMs)
{
    if (m_state == RunEndState::Noticing && nowMs >= m_ullDeadlineMs)
        return CloseNow();
    return EndAction::Nothing;
}

std::optional<uint32_t> QVRunEnding::MsUntilDeadline(uint64_t nowMs) const
{
    if (m_state != RunEndState::Noticing)
        return std::nullopt;
    if (nowMs >= m_ullDeadlineMs)
        return 0u;
    return static_cast<uint32_t>(m_ullDeadlineMs - nowMs);
}

EndAction QVRunEnding::CloseNow()
{
    m_state = RunEndState::Closed;
    return EndAction::Close;
}

} // namespace QV
