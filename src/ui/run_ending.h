// How the installer's run ends, away from the windows: a success or a confirmed cancel closes at
// once; a failure keeps the tray icon and its balloon until the user clicks or closes the balloon
// or the notice time is up, and a click opens the dialog with the failure until the user closes
// it. The caller passes the clock and carries out the answers.
#pragma once

#include "ui/tray_notify_record.h"

#include <cstdint>
#include <optional>

namespace QV
{

// How long a failure stays in the notification area when nobody reacts to it.
inline constexpr uint32_t kFailureNoticeMs = 15000;

// How the job ended, as the user interface sees it once the worker is done.
enum class RunOutcome
{
    Succeeded,
    Cancelled, // the user confirmed the cancel question
    Failed,
};

// Where the ending is.
enum class RunEndState
{
    Running,  // the job is not over
    Noticing, // a failure: the icon and its balloon stay
    Showing,  // a failure: the dialog shows it until the user closes it
    Closed,   // the user interface may go
};

// What the caller must do after a step of the ending.
enum class EndAction
{
    Nothing,
    Close,       // remove the icon and destroy the window: the run ends
    ShowFailure, // show the dialog, whose status line holds the failure
};

class QVRunEnding
{
public:
    // Running, no failure known, no deadline.
    QVRunEnding() = default;

    // The job is over. Running: a success or cancel closes (Closed); a failure starts the notice
    // (Noticing, deadline nowMs + kFailureNoticeMs), goes to Showing when the dialog is already
    // on screen, or closes when its balloon was closed already. In any other state nothing
    // changes (Nothing): it may be called repeatedly.
    EndAction Finish(RunOutcome outcome, uint64_t nowMs, bool dialogVisible);

    // The main thread learned of a failure, before or after its balloon was asked for: balloons
    // the shell reports shown from now on may end the notice when they close.
    void OnFailureReported();

    // A notification of the tray icon. In Noticing: a click on the icon or the balloon shows the
    // failure (Showing); a closed balloon ends the notice (Close) once a balloon was reported
    // shown since the failure (an older balloon's end does not count). In Showing a click shows
    // the dialog again. In Running a click shows the failure once one was reported (the job is
    // about to end; Finish then finds the dialog on screen), anything else is Nothing apart from
    // noting shown balloons. In Closed: Nothing.
    EndAction OnTrayNotice(TrayNotice notice);

    // The user asked for the dialog (the tray menu's show item): as a click on the icon.
    EndAction OnShowRequest();

    // The user closed or hid the dialog, or chose exit: in Noticing or Showing the run ends
    // (Close); in Running it is the ordinary cancel question, not handled here (Nothing).
    EndAction OnDismiss();

    // The failure reached the tray again (its icon came late): the notice time starts again.
    // Only in Noticing.
    void RestartNotice(uint64_t nowMs);

    // A timer tick: in Noticing at or after the deadline the run ends (Close).
    EndAction OnTick(uint64_t nowMs);

    // Milliseconds until the notice ends (0 when due); none outside Noticing.
    std::optional<uint32_t> MsUntilDeadline(uint64_t nowMs) const;

    RunEndState State() const { return m_state; }

private:
    EndAction CloseNow();

    RunEndState m_state = RunEndState::Running;
    bool m_bFailureReported = false;
    bool m_bShownSinceFailure = false;
    bool m_bClosedAfterShown = false;
    uint64_t m_ullDeadlineMs = 0;
};

} // namespace QV
