// The installer's whole user interface: a hidden modeless progress dialog that owns the tray
// icon and the downloader, runs the worker thread and closes itself when the job is over.
#pragma once

#include "engine/setup_downloader.h"
#include "engine/setup_job.h"
#include "engine/version_update_callback.h"
#include "framework/loop/message_loop.h"
#include "common/win_handle.h"
#include "framework/dialog_impl.h"
#include "ui/progress_text.h"
#include "ui/tray_notify_icon.h"
#include "resource.h"

#include <process.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace QV
{

class QVProgressNoCancelDlg : public CDialogImpl<QVProgressNoCancelDlg>,
                              public CIdleHandler,
                              public IVersionUpdateCallback,
                              public CMessageFilter,
                              private ISetupJobHost
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
    // Frees the downloader (which deletes a leftover download), the status font and the tray
    // icon. Call only after the window is gone and the worker has ended.
    ~QVProgressNoCancelDlg() override;

    // The dialog's message table; answers TRUE for the messages it handles.
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                              DWORD dwMsgMapID) override;

    // Idle work of the main thread's loop: closes the dialog once the job is over.
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
    // On the main thread: once the job is finished or stopped and the worker has ended, removes
    // the tray icon and destroys the window. Anywhere else it does nothing.
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
    void OnShow();
    void OnMinimizeToTray();
    void OnCancel();
    void OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    // Main thread: writes the newest progress display into the controls that changed.
    void OnDisplayUpdate();
    // Worker thread: asks the main thread for one OnDisplayUpdate unless one is already due.
    void PostDisplayUpdate();

    // Status line and balloon together (also ISetupJobHost's).
    void ShowStatus(const std::wstring& text) override;
    static HFONT CreateBoldFont();
    void CenterWindow();
    bool IsMainThread() const;

    WorkerStarter m_pfnStartWorker;
    CKernelHandle m_hWorkerThread;
    std::atomic<bool> m_bFinished{false};
    std::atomic<bool> m_bCancelled{false};
    std::atomic<bool> m_bConfirming{false};
    std::unique_ptr<SetupDownloader> m_pDownloader;
    CTrayNotifyIcon m_trayIcon;
    HICON m_hSmallIcon = nullptr;
    std::wstring m_strCaption;
    CFont m_hStatusFont;
    DWORD m_dwMainThreadId = 0;
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
