// The installer's whole user interface: a hidden modeless progress dialog that owns the tray
// icon and the downloader, runs the worker thread and closes itself when the job is over (after
// a failure, once the user has seen it or its notice time is up). It follows the DPI of its
// monitor.
#pragma once

#include "engine/setup_downloader.h"
#include "engine/setup_job.h"
#include "engine/version_update_callback.h"
#include "framework/loop/message_loop.h"
#include "common/win_handle.h"
#include "framework/dialog_impl.h"
#include "ui/dpi_scale.h"
#include "ui/progress_text.h"
#include "ui/run_ending.h"
#include "ui/tray_notify_icon.h"
#include "ui/window_dpi.h"
#include "resource.h"

#include <process.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace QV
{

class QVProgressNoCancelDlg : public CDialogImpl<QVProgressNoCancelDlg>,
                              public CIdleHandler,
                              public IVersionUpdateCallback,
                              public CMessageFilter,
                              private ISetupJobHost,
                              private IProxySignInPrompt
{
public:
    enum
    {
        IDD = IDD_PROGRESS_NOCANCEL
    };

    // How the worker thread is started: the runtime's _beginthreadex, or a stand-in for it.
    using WorkerStarter = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*,
                                              unsigned, unsigned*);

    // Does no window work: flags false, no downloader, caption set, tray icon constructed. The
    // worker will be started with `startWorker`.
    explicit QVProgressNoCancelDlg(WorkerStarter startWorker = &::_beginthreadex);
    // Frees the downloader (which deletes a leftover download), the fonts, the icons and the tray
    // icon. Call only after the window is gone and the worker has ended.
    ~QVProgressNoCancelDlg() override;

    // The dialog's message table; answers TRUE for the messages it handles.
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override;

    // Idle work of the main thread's loop: ends the run once the job is over (CloseIfDone).
    BOOL HandleIdle() override;

    // The loop runs no dialog keyboard handling, so Esc on the dialog would reach only its
    // focused button; this turns it into the dialog's cancel command. Other keys pass, so Enter
    // still does nothing.
    bool PreTranslateMessage(LoopMessage* pMsg) override;

    // IVersionUpdateCallback, called on the worker thread.
    void OnDownloadBegin() override;
    void OnFileSize(uint32_t size) override;
    void OnTotalReceived(uint32_t bytes) override;
    void OnProgress(const std::wstring& url, uint32_t total, uint32_t received,
                    double speed) override;
    void OnDownloadComplete(bool success) override;
    // Shows the first error only (an empty one as the generic error) and stops the job.
    void OnError(std::wstring message) override;
    // Waits while the cancel question is open; true once the job must stop.
    bool IsCancelled() override;

    // Sets the status line (control 1004).
    void SetStatusText(const std::wstring& text);
    // Shows `text` as a balloon of the tray icon, titled with the caption, if the icon exists.
    void ShowTrayBalloon(const std::wstring& text);
    // Moves the progress bar (range 0 to 100), through the same hand-over as the progress texts so
    // that the bar never steps back to an older position.
    void SetProgressPos(int pos) override;
    // On the main thread: once the job is finished or stopped and the worker has ended, ends the
    // run: a success or a confirmed cancel removes the tray icon and destroys the window at once;
    // a failure first keeps its tray notice (QVRunEnding). Anywhere else it does nothing.
    void CloseIfDone();
    // Hides and removes the tray icon, then destroys the window (which ends the message loop).
    void CloseDialog();

    // Status hooks for a downloader that reports its connection steps.
    virtual void OnServerConnecting();
    virtual void OnServerConnected(DWORD, DWORD);

private:
    // Thread procedure of the worker: runs the job, reports an escaped exception, returns 0.
    static unsigned __stdcall WorkerThreadProc(void* dialog);
    // The worker's sequence: QVSetupJob over the downloader, with this dialog as its host and
    // report receiver. False without a downloader (no flag set then).
    bool RunSetupJob();

    // ISetupJobHost, called on the worker thread: hides the window and disables the
    // cancel-installation button (EnterInstallPhase), sets the finished or the stop flag.
    void EnterInstallPhase() override;
    void MarkFinished() override;
    void MarkStopped() override;

    LRESULT OnInitDialog();
    void OnDestroy();
    // The window moved to a monitor of another DPI: `dpi` and the system's suggested window
    // rectangle (its position is kept, the size is the layout's at `dpi`).
    void OnDpiChanged(uint32_t dpi, const RECT* suggested);
    // The window size the layout takes at `dpi` with base units `base`; also the answer to the
    // system's WM_GETDPISCALEDSIZE question.
    bool ScaledWindowSize(uint32_t dpi, DialogBaseUnits base, SIZE& size) const;
    void OnShow();
    void OnMinimizeToTray();
    void OnCancel();
    void OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    // Main thread: writes the newest progress display into the controls that changed.
    void OnDisplayUpdate();
    // Worker thread: asks the main thread for one OnDisplayUpdate unless one is already due.
    void PostDisplayUpdate();

    // IProxySignInPrompt, called on a network thread: carries the prompt to the main thread
    // (AnswerProxySignIn) and waits for it.
    bool AskProxyCredentials(HINTERNET request) override;
    // Main thread: shows the dialog and, owned by it, the system's proxy credential prompt for
    // `request`; true when the user confirmed it. False at once after a confirmed cancel.
    bool AnswerProxySignIn(HINTERNET request);

    // Status line and balloon together (also ISetupJobHost's).
    void ShowStatus(const std::wstring& text) override;
    // The bold status font at `dpi`, from the icon title font; null when it cannot be made.
    HFONT CreateBoldFont(uint32_t dpi) const;
    void CenterWindow();
    bool IsMainThread() const;

    WorkerStarter m_pfnStartWorker;

    // DPI: the layout as the dialog manager made it at m_uLayoutDpi (the dialog font, and the
    // client area and each control in dialog units), and the same layout at another DPI: the
    // font scaled, every rectangle placed again from its dialog units with the new font's base
    // units, as the dialog manager would have placed it at that DPI.
    void RecordLayout();
    // The DPI the template's font was made for (after RecordLayout), else the window's.
    uint32_t LayoutDpi() const;
    void ApplyDpi(uint32_t dpi, const RECT* suggested);
    // The base units of `font` (null: the layout's scaled to `dpi`).
    DialogBaseUnits BaseUnitsOf(HFONT font, uint32_t dpi) const;
    void LoadWindowIcons(uint32_t dpi);

    // Tray at logon: the icon could not be added at first; each timer tick tries again, and the
    // taskbar's announcement adds it too. Then the current status is shown as a balloon.
    void RetryTrayIcon();
    void OnTrayIconArrived();

    // Failure notice: how the job ended, what the ending asks for, the timer of its deadline.
    RunOutcome Outcome() const;
    bool CarryOut(EndAction action);
    void ArmNoticeTimer();
    // Milliseconds since the dialog was created (wraps after 49 days, far beyond any run).
    uint64_t Now() const;

    CKernelHandle m_hWorkerThread;
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bConfirming{false};
    // Set when the user answered the cancel question with yes: the run then ends at once.
    std::atomic<bool> m_bUserCancelled{false};
    std::unique_ptr<SetupDownloader> m_pDownloader;
    // The tray's icon at the system's small-icon size (declared first: it outlives the tray
    // icon); the window's own icons follow its DPI.
    CIcon m_hTrayIcon;
    CTrayNotifyIcon m_trayIcon;
    CIcon m_hSmallIcon;
    CIcon m_hBigIcon;
    std::wstring m_strCaption;
    CFont m_hStatusFont;
    // The dialog font at a DPI other than the layout's (null while the dialog manager's serves).
    CFont m_hDialogFont;
    DWORD m_dwMainThreadId = 0;
    DWORD m_dwStartTick = 0;
    // Main thread only.
    // True while the proxy credential prompt is open: the run does not end under it.
    bool m_bPrompting = false;
    QVRunEnding m_ending;
    QVWindowDpi m_dpi;
    uint32_t m_uLayoutDpi = kDefaultDpi;
    uint32_t m_uDpi = kDefaultDpi;
    DialogBaseUnits m_layoutBase;
    DpiRect m_layoutClientUnits;
    LOGFONTW m_layoutFont = {};
    bool m_bHaveLayoutFont = false;
    struct ControlLayout
    {
        HWND hWnd;
        DpiRect units;
    };
    std::vector<ControlLayout> m_layoutControls;
    // The base units at m_uDpi, from which WM_GETDPISCALEDSIZE's answer is scaled.
    DialogBaseUnits m_currentBase;
    // How progress reaches the screen: the worker folds every report into m_pendingDisplay under
    // m_displayLock and posts one update message while none is due; the main thread takes the
    // newest state and sets only the controls whose text or position changed. A control repaints
    // only when the main thread gets to it, so texts superseded before then were never visible;
    // coalescing them keeps a block's cost from including several cross-thread window calls.
    SRWLOCK m_displayLock = SRWLOCK_INIT;
    ProgressDisplay m_pendingDisplay;
    std::atomic<bool> m_bDisplayUpdateDue{false};
    // What the progress controls show now; main thread only.
    ProgressDisplay m_shown;
};

} // namespace QV
