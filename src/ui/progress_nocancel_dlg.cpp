#include "ui/progress_nocancel_dlg.h"

#include "common/srw_lock.h"
#include "common/user_texts.h"
#include "engine/setup_job_win32.h"
#include "framework/app_module.h"
#include "ui/running_installer.h"

#include <commctrl.h>
#include <process.h>

namespace QV
{

namespace
{
constexpr UINT kDisplayUpdateMessage = WM_APP + 1;
constexpr UINT_PTR kCloseTimerId = 4001;
constexpr UINT kCloseTimerPeriodMs = 3000;
constexpr DWORD kConfirmPollMs = 30;
} // namespace

QVProgressNoCancelDlg::QVProgressNoCancelDlg(WorkerStarter startWorker)
    : m_pfnStartWorker(startWorker), m_strCaption(kCaption)
{
}

QVProgressNoCancelDlg::~QVProgressNoCancelDlg() = default;

BOOL QVProgressNoCancelDlg::ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                                 LRESULT& lResult, DWORD dwMsgMapID)
{
    if (dwMsgMapID != 0)
        return FALSE;
    lResult = 0;
    switch (uMsg)
    {
    case WM_INITDIALOG:
        lResult = OnInitDialog();
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam))
        {
        case ID_TRAY_SHOW:
            OnShow();
            return TRUE;
        case IDC_MINIMIZE:
            OnMinimizeToTray();
            return TRUE;
        case IDCANCEL:
        case ID_TRAY_EXIT: // the tray menu's exit asks the same question as Esc
            OnCancel();
            return TRUE;
        case IDOK: // Enter must not close the dialog
            return TRUE;
        }
        return FALSE;
    case kTrayCallbackMessage:
        OnTrayNotify(wParam, lParam);
        return TRUE;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case kDisplayUpdateMessage:
        OnDisplayUpdate();
        return TRUE;
    }
    // A second start of the installer asks to be shown this dialog instead of running itself.
    if (uMsg == ShowDialogMessage() && uMsg != 0)
    {
        OnShow();
        ::SetForegroundWindow(m_hWnd);
        return TRUE;
    }
    return FALSE;
}

LRESULT QVProgressNoCancelDlg::OnInitDialog()
{
    m_dwMainThreadId = ::GetCurrentThreadId();
    m_bConfirming = false;
    ::SetWindowTextW(m_hWnd, m_strCaption.c_str());
    if (CMessageLoop* loop = g_appModule.FindMessageLoop(::GetCurrentThreadId()))
    {
        loop->RegisterIdleHandler(this);
        loop->RegisterMessageFilter(this);
    }
    CenterWindow();
    ::SetTimer(m_hWnd, kCloseTimerId, kCloseTimerPeriodMs, nullptr);

    HINSTANCE resources = g_appModule.GetResourceInstance();
    auto bigIcon = static_cast<HICON>(::LoadImageW(resources, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXICON),
                                                   ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    auto smallIcon = static_cast<HICON>(::LoadImageW(
        resources, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    m_hStatusFont.Reset(CreateBoldFont());
    ::SendDlgItemMessageW(m_hWnd, IDC_STATUS, WM_SETFONT,
                          reinterpret_cast<WPARAM>(m_hStatusFont.Get()), TRUE);
    m_hSmallIcon = smallIcon;

    if (!m_trayIcon.Create(m_hWnd, m_strCaption.c_str(), m_hSmallIcon))
    {
        CloseDialog();
        return FALSE;
    }
    ShowTrayBalloon(kDownloading);

    m_pDownloader = std::make_unique<SetupDownloader>();
    // Started suspended so that the handle is stored before the worker can look at it.
    auto thread = reinterpret_cast<HANDLE>(
        m_pfnStartWorker(nullptr, 0, &WorkerThreadProc, this, CREATE_SUSPENDED, nullptr));
    m_hWorkerThread.Reset(thread);
    if (m_hWorkerThread)
    {
        ::ResumeThread(m_hWorkerThread.Get());
    }
    else
    {
        // No worker would ever end the job: the run ends now, saying why, and closes at the next
        // idle moment (not inside this message, whose window must survive it).
        ShowStatus(kMsgWorkerAborted);
        m_bCancelled = true;
    }
    return TRUE;
}

void QVProgressNoCancelDlg::OnDestroy()
{
    if (CMessageLoop* loop = g_appModule.FindMessageLoop(::GetCurrentThreadId()))
    {
        loop->UnregisterIdleHandler(this);
        loop->UnregisterMessageFilter(this);
    }
    ::PostQuitMessage(0);
}

void QVProgressNoCancelDlg::OnShow()
{
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::BringWindowToTop(m_hWnd);
}

void QVProgressNoCancelDlg::OnMinimizeToTray()
{
    ::ShowWindow(m_hWnd, SW_HIDE);
    if (m_trayIcon.IsHidden())
        m_trayIcon.ShowIcon();
}

void QVProgressNoCancelDlg::OnCancel()
{
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::BringWindowToTop(m_hWnd);
    m_bConfirming = true;
    int answer = ::MessageBoxW(m_hWnd, kConfirmCancel, m_strCaption.c_str(),
                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES)
    {
        m_bCancelled = true;
        ::ShowWindow(m_hWnd, SW_HIDE);
        // A worker blocked in a stalled network call would never reach its next poll.
        if (m_pDownloader)
            m_pDownloader->AbortTransfer();
    }
    // Cleared after the answer is recorded, so the waiting poll reads the answer.
    m_bConfirming = false;
}

void QVProgressNoCancelDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (static_cast<UINT>(lParam) == WM_LBUTTONDBLCLK)
    {
        OnShow();
        return;
    }
    m_trayIcon.OnTrayNotification(wParam, lParam);
}

void QVProgressNoCancelDlg::OnTimer(UINT_PTR id)
{
    if (id == kCloseTimerId)
        CloseIfDone();
}

bool QVProgressNoCancelDlg::PreTranslateMessage(LoopMessage* pMsg)
{
    if (pMsg->message != WM_KEYDOWN || pMsg->wParam != VK_ESCAPE)
        return false;
    auto target = static_cast<HWND>(pMsg->hwnd);
    if (target != m_hWnd && !::IsChild(m_hWnd, target))
        return false;
    // Posted, not handled here: the question it raises runs a modal loop of its own.
    ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return true;
}

BOOL QVProgressNoCancelDlg::HandleIdle()
{
    CloseIfDone();
    return FALSE;
}

void QVProgressNoCancelDlg::OnDownloadBegin()
{
    ShowStatus(kDownloading);
}

void QVProgressNoCancelDlg::OnFileSize(uint32_t) {}

void QVProgressNoCancelDlg::OnTotalReceived(uint32_t) {}

void QVProgressNoCancelDlg::OnProgress(const std::wstring&, uint32_t total, uint32_t received,
                                       double speed)
{
    ProgressDisplay next = ComputeProgressDisplay(total, received, speed);
    {
        CSrwExclusiveLock lock(m_displayLock);
        ApplyProgressDisplay(m_pendingDisplay, next);
    }
    PostDisplayUpdate();
}

void QVProgressNoCancelDlg::PostDisplayUpdate()
{
    if (!m_bDisplayUpdateDue.exchange(true) && !::PostMessageW(m_hWnd, kDisplayUpdateMessage, 0, 0))
        m_bDisplayUpdateDue = false;
}

void QVProgressNoCancelDlg::OnDisplayUpdate()
{
    // Cleared before the copy: a report folded in after it posts a new update.
    m_bDisplayUpdateDue = false;
    ProgressDisplay next;
    {
        CSrwExclusiveLock lock(m_displayLock);
        next = m_pendingDisplay;
    }
    ProgressDisplayChanges changes = CompareProgressDisplay(m_shown, next);
    if (changes.percentText)
        ::SetDlgItemTextW(m_hWnd, IDC_PERCENT, next.percentText.c_str());
    if (changes.speedText)
        ::SetDlgItemTextW(m_hWnd, IDC_SPEED, next.speedText.c_str());
    if (changes.position)
        ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS_BAR, PBM_SETPOS,
                              static_cast<WPARAM>(next.position), 0);
    ApplyProgressDisplay(m_shown, next);
}

void QVProgressNoCancelDlg::OnDownloadComplete(bool)
{
    ShowStatus(kDownloadComplete);
}

void QVProgressNoCancelDlg::OnError(std::wstring message)
{
    if (m_bCancelled)
        return;
    ShowStatus(message.empty() ? std::wstring(kGenericError) : message);
    m_bCancelled = true;
    CloseIfDone();
}

bool QVProgressNoCancelDlg::IsCancelled()
{
    while (m_bConfirming && !m_bCancelled)
        ::Sleep(kConfirmPollMs);
    return m_bCancelled;
}

void QVProgressNoCancelDlg::SetStatusText(const std::wstring& text)
{
    ::SetDlgItemTextW(m_hWnd, IDC_STATUS, text.c_str());
}

void QVProgressNoCancelDlg::ShowTrayBalloon(const std::wstring& text)
{
    if (::IsWindow(m_trayIcon.m_hWnd))
        m_trayIcon.ShowBalloon(text.c_str(), m_strCaption.c_str());
}

void QVProgressNoCancelDlg::SetProgressPos(int pos)
{
    {
        CSrwExclusiveLock lock(m_displayLock);
        m_pendingDisplay.position = static_cast<uint32_t>(pos);
    }
    PostDisplayUpdate();
}

void QVProgressNoCancelDlg::CloseIfDone()
{
    // Only the main thread may close: the worker's own handle is not signalled while it runs,
    // and the window must outlive every call the worker makes on it.
    if (!IsMainThread())
        return;
    if (!m_bFinished && !m_bCancelled)
        return;
    if (m_hWorkerThread)
    {
        if (::WaitForSingleObject(m_hWorkerThread.Get(), 1) != WAIT_OBJECT_0)
            return;
        m_hWorkerThread.Reset();
    }
    CloseDialog();
}

void QVProgressNoCancelDlg::CloseDialog()
{
    m_trayIcon.HideIcon();
    m_trayIcon.Delete(true);
    ::DestroyWindow(m_hWnd);
}

void QVProgressNoCancelDlg::OnServerConnecting()
{
    ShowStatus(kConnecting);
}

void QVProgressNoCancelDlg::OnServerConnected(DWORD, DWORD)
{
    ShowStatus(kConnected);
}

void QVProgressNoCancelDlg::ShowStatus(const std::wstring& text)
{
    SetStatusText(text);
    ShowTrayBalloon(text);
}

bool QVProgressNoCancelDlg::IsMainThread() const
{
    return m_dwMainThreadId != 0 && ::GetCurrentThreadId() == m_dwMainThreadId;
}

unsigned __stdcall QVProgressNoCancelDlg::WorkerThreadProc(void* dialog)
{
    auto* self = static_cast<QVProgressNoCancelDlg*>(dialog);
    try
    {
        self->RunSetupJob();
    }
    catch (...)
    {
        static_cast<IVersionUpdateCallback*>(self)->OnError(kMsgWorkerAborted);
    }
    self->CloseIfDone();
    return 0;
}

bool QVProgressNoCancelDlg::RunSetupJob()
{
    if (!m_pDownloader)
        return false;
    return RunSetupJobWin32(*m_pDownloader, *this, *this);
}

void QVProgressNoCancelDlg::EnterInstallPhase()
{
    ::ShowWindow(m_hWnd, SW_HIDE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_CANCEL_INSTALL), FALSE);
}

void QVProgressNoCancelDlg::MarkFinished()
{
    m_bFinished = true;
}

void QVProgressNoCancelDlg::MarkStopped()
{
    m_bCancelled = true;
}

HFONT QVProgressNoCancelDlg::CreateBoldFont()
{
    LOGFONTW font = {};
    ::SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0);
    font.lfWeight = FW_BOLD;
    return ::CreateFontIndirectW(&font);
}

void QVProgressNoCancelDlg::CenterWindow()
{
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    bool child = (style & WS_CHILD) != 0;
    HWND center = child ? ::GetParent(m_hWnd) : ::GetWindow(m_hWnd, GW_OWNER);
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    RECT area;
    RECT centre;
    if (!child)
    {
        if (center != nullptr)
        {
            LONG_PTR centerStyle = ::GetWindowLongPtrW(center, GWL_STYLE);
            if ((centerStyle & WS_VISIBLE) == 0 || (centerStyle & WS_MINIMIZE) != 0)
                center = nullptr;
        }
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        if (center != nullptr)
            ::GetWindowRect(center, &centre);
        else
            centre = area;
    }
    else
    {
        HWND parent = ::GetParent(m_hWnd);
        ::GetClientRect(parent, &area);
        ::GetClientRect(center, &centre);
        ::MapWindowPoints(center, parent, reinterpret_cast<POINT*>(&centre), 2);
    }
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = (centre.left + centre.right) / 2 - width / 2;
    int y = (centre.top + centre.bottom) / 2 - height / 2;
    if (x < area.left)
        x = area.left;
    else if (x + width > area.right)
        x = area.right - width;
    if (y < area.top)
        y = area.top;
    else if (y + height > area.bottom)
        y = area.bottom - height;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace QV
