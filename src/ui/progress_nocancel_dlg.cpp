#include "ui/progress_nocancel_dlg.h"

#include "common/srw_lock.h"
#include "common/user_texts.h"
#include "engine/http/internet_api.h"
#include "engine/setup_job_win32.h"
#include "framework/app_module.h"
#include "ui/running_installer.h"

#include <commctrl.h>
#include <process.h>

#include <utility>

namespace QV
{

namespace
{
constexpr UINT kDisplayUpdateMessage = WM_APP + 1;
// Sent by the worker before the balloon of a failure is asked for, so that the main thread knows
// which of the shell's balloon notifications belong to it.
constexpr UINT kFailureReportedMessage = WM_APP + 2;
// Sent by a network thread whose request a proxy answered 407: the dialog asks the user to sign in.
constexpr UINT kProxySignInMessage = WM_APP + 3;
// Sent to a per-monitor (v2) window before a DPI change: the window size it wants at the new DPI.
// Defined here because the headers declare it only for a newer target system than ours.
constexpr UINT kGetDpiScaledSizeMessage = 0x02E4; // WM_GETDPISCALEDSIZE
constexpr UINT_PTR kCloseTimerId = 4001;
constexpr UINT kCloseTimerPeriodMs = 3000;
constexpr UINT_PTR kNoticeTimerId = 4002;
constexpr DWORD kConfirmPollMs = 30;

DpiRect ToDpiRect(const RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}
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
    case kFailureReportedMessage:
        m_ending.OnFailureReported();
        return TRUE;
    case kProxySignInMessage:
        lResult = AnswerProxySignIn(reinterpret_cast<HINTERNET>(lParam));
        return TRUE;
    case kTrayAddedMessage:
        OnTrayIconArrived();
        return TRUE;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case kGetDpiScaledSizeMessage:
    {
        // Asked before the new font exists: the base units are scaled from the current ones.
        auto dpi = static_cast<uint32_t>(wParam);
        DialogBaseUnits base = {ScaleForDpi(m_currentBase.x, m_uDpi, dpi),
                                ScaleForDpi(m_currentBase.y, m_uDpi, dpi)};
        SIZE* size = reinterpret_cast<SIZE*>(lParam);
        lResult = size != nullptr && ScaledWindowSize(dpi, base, *size);
        return TRUE;
    }
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
    m_dwStartTick = ::GetTickCount();
    m_bConfirming = false;
    ::SetWindowTextW(m_hWnd, m_strCaption.c_str());
    if (CMessageLoop* loop = g_appModule.FindMessageLoop(::GetCurrentThreadId()))
    {
        loop->RegisterIdleHandler(this);
        loop->RegisterMessageFilter(this);
    }
    m_dpi.TakeOverDialogScaling(m_hWnd);
    RecordLayout();
    m_uLayoutDpi = LayoutDpi();
    m_uDpi = m_uLayoutDpi;
    CenterWindow();
    ::SetTimer(m_hWnd, kCloseTimerId, kCloseTimerPeriodMs, nullptr);

    LoadWindowIcons(m_uDpi);
    // The notification area is drawn at the system DPI, whatever monitor the window is on.
    m_hTrayIcon.Reset(static_cast<HICON>(::LoadImageW(
        g_appModule.GetResourceInstance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
        ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));

    m_hStatusFont.Reset(CreateBoldFont(m_uDpi));
    ::SendDlgItemMessageW(m_hWnd, IDC_STATUS, WM_SETFONT,
                          reinterpret_cast<WPARAM>(m_hStatusFont.Get()), TRUE);

    // Refused while the taskbar is not up yet (a logon script, right after sign-in): the download
    // goes on, and the icon follows on the taskbar's announcement or a later timer tick.
    if (m_trayIcon.Create(m_hWnd, m_strCaption.c_str(), m_hTrayIcon.Get()))
        ShowTrayBalloon(kDownloading);

    m_pDownloader = std::make_unique<SetupDownloader>();
    m_pDownloader->SetProxyPrompt(this);
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
    if (CarryOut(m_ending.OnShowRequest()))
        return;
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::BringWindowToTop(m_hWnd);
}

void QVProgressNoCancelDlg::OnMinimizeToTray()
{
    // After a failure the user has seen it: hiding the dialog ends the run.
    if (CarryOut(m_ending.OnDismiss()))
        return;
    ::ShowWindow(m_hWnd, SW_HIDE);
    if (m_trayIcon.IsHidden())
        m_trayIcon.ShowIcon();
}

void QVProgressNoCancelDlg::OnCancel()
{
    // After a failure there is nothing left to cancel: the run ends without a question.
    if (CarryOut(m_ending.OnDismiss()))
        return;
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::BringWindowToTop(m_hWnd);
    m_bConfirming = true;
    int answer = ::MessageBoxW(m_hWnd, kConfirmCancel, m_strCaption.c_str(),
                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    if (answer == IDYES)
    {
        m_bUserCancelled = true;
        m_bCancelled = true;
        ::ShowWindow(m_hWnd, SW_HIDE);
        // A worker blocked in a stalled network call would never reach its next poll.
        if (m_pDownloader)
            m_pDownloader->AbortTransfer();
    }
    // Cleared after the answer is recorded, so the waiting poll reads the answer.
    m_bConfirming = false;
    // The job may have failed while the question was open: a yes then ends the run too.
    if (answer == IDYES)
        CarryOut(m_ending.OnDismiss());
}

void QVProgressNoCancelDlg::OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam == kTrayIconId &&
        CarryOut(m_ending.OnTrayNotice(ClassifyTrayNotice(static_cast<uint64_t>(lParam)))))
        return;
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
    {
        RetryTrayIcon();
        CloseIfDone();
    }
    else if (id == kNoticeTimerId)
    {
        ::KillTimer(m_hWnd, kNoticeTimerId);
        if (!CarryOut(m_ending.OnTick(Now())))
            ArmNoticeTimer();
    }
}

void QVProgressNoCancelDlg::RetryTrayIcon()
{
    // No helper window: Create never got as far as asking the shell, so there is nothing to add.
    if (m_trayIcon.IsAdded() || !::IsWindow(m_trayIcon.m_hWnd))
        return;
    if (m_trayIcon.AddIfMissing())
        OnTrayIconArrived();
}

void QVProgressNoCancelDlg::OnTrayIconArrived()
{
    wchar_t status[256] = {};
    ::GetDlgItemTextW(m_hWnd, IDC_STATUS, status, 256);
    ShowTrayBalloon(status);
    m_ending.RestartNotice(Now());
    ArmNoticeTimer();
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
    ::SendMessageW(m_hWnd, kFailureReportedMessage, 0, 0);
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

bool QVProgressNoCancelDlg::AskProxyCredentials(HINTERNET request)
{
    return ::SendMessageW(m_hWnd, kProxySignInMessage, 0, reinterpret_cast<LPARAM>(request)) != 0;
}

bool QVProgressNoCancelDlg::AnswerProxySignIn(HINTERNET request)
{
    const InternetApi& api = GetInternetApi();
    if (m_bCancelled || m_bPrompting || !api.ready)
        return false;
    OnShow();
    ::SetForegroundWindow(m_hWnd);
    // The system's own prompt: it tells a proxy's 407 from a server's 401 by the request's
    // status, keeps what the user typed in the request's session, and answers FORCE_RETRY for OK.
    m_bPrompting = true;
    const DWORD answer = api.InternetErrorDlg(m_hWnd, request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                              FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                                  FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                                  FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                              nullptr);
    m_bPrompting = false;
    return answer == ERROR_INTERNET_FORCE_RETRY && !m_bCancelled;
}

void QVProgressNoCancelDlg::CloseIfDone()
{
    // Only the main thread may close: the worker's own handle is not signalled while it runs,
    // and the window must outlive every call the worker makes on it.
    if (!IsMainThread() || m_bPrompting)
        return;
    if (m_ending.State() != RunEndState::Running)
        return;
    if (!m_bFinished && !m_bCancelled)
        return;
    if (m_hWorkerThread)
    {
        if (::WaitForSingleObject(m_hWorkerThread.Get(), 1) != WAIT_OBJECT_0)
            return;
        m_hWorkerThread.Reset();
    }
    if (!CarryOut(m_ending.Finish(Outcome(), Now(), ::IsWindowVisible(m_hWnd) != FALSE)))
        ArmNoticeTimer();
}

RunOutcome QVProgressNoCancelDlg::Outcome() const
{
    if (m_bFinished)
        return RunOutcome::Succeeded;
    return m_bUserCancelled ? RunOutcome::Cancelled : RunOutcome::Failed;
}

bool QVProgressNoCancelDlg::CarryOut(EndAction action)
{
    switch (action)
    {
    case EndAction::Nothing:
        return false;
    case EndAction::Close:
        CloseDialog();
        return true;
    case EndAction::ShowFailure:
        ::ShowWindow(m_hWnd, SW_SHOW);
        ::BringWindowToTop(m_hWnd);
        ::SetForegroundWindow(m_hWnd);
        return true;
    }
    return false;
}

void QVProgressNoCancelDlg::ArmNoticeTimer()
{
    if (std::optional<uint32_t> remaining = m_ending.MsUntilDeadline(Now()))
        ::SetTimer(m_hWnd, kNoticeTimerId, *remaining == 0 ? 1 : *remaining, nullptr);
}

uint64_t QVProgressNoCancelDlg::Now() const
{
    return static_cast<uint32_t>(::GetTickCount() - m_dwStartTick);
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
    if (!m_bCancelled)
        ::SendMessageW(m_hWnd, kFailureReportedMessage, 0, 0);
    m_bCancelled = true;
}

HFONT QVProgressNoCancelDlg::CreateBoldFont(uint32_t dpi) const
{
    LOGFONTW font = {};
    m_dpi.IconTitleFont(font, dpi);
    font.lfWeight = FW_BOLD;
    return ::CreateFontIndirectW(&font);
}

void QVProgressNoCancelDlg::RecordLayout()
{
    RECT units = {0, 0, 4, 8};
    ::MapDialogRect(m_hWnd, &units);
    m_layoutBase = {units.right, units.bottom};
    m_currentBase = m_layoutBase;
    RECT client = {};
    ::GetClientRect(m_hWnd, &client);
    m_layoutClientUnits = PixelsToDialogUnits(ToDpiRect(client), m_layoutBase);
    m_layoutControls.clear();
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT))
    {
        RECT r = {};
        ::GetWindowRect(child, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        m_layoutControls.push_back({child, PixelsToDialogUnits(ToDpiRect(r), m_layoutBase)});
    }
    auto font = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    m_bHaveLayoutFont =
        font != nullptr && ::GetObjectW(font, sizeof(m_layoutFont), &m_layoutFont) != 0;
}

uint32_t QVProgressNoCancelDlg::LayoutDpi() const
{
    // Windows makes the template's font for the window's monitor (per-monitor v2) or for the
    // system DPI; Wine always for the system DPI, while it may report another for the window.
    // The font itself tells.
    HINSTANCE resources = g_appModule.GetResourceInstance();
    HRSRC info = ::FindResourceW(resources, MAKEINTRESOURCEW(IDD), RT_DIALOG);
    const void* data = info != nullptr ? ::LockResource(::LoadResource(resources, info)) : nullptr;
    if (data != nullptr && m_bHaveLayoutFont)
    {
        std::optional<uint16_t> points = DialogTemplatePointSize(static_cast<const uint8_t*>(data),
                                                                 ::SizeofResource(resources, info));
        uint32_t dpi = points ? DpiOfFontHeight(m_layoutFont.lfHeight, *points) : 0;
        if (dpi != 0)
            return dpi;
    }
    return m_dpi.ForWindow(m_hWnd);
}

DialogBaseUnits QVProgressNoCancelDlg::BaseUnitsOf(HFONT font, uint32_t dpi) const
{
    DialogBaseUnits scaled = {ScaleForDpi(m_layoutBase.x, m_uLayoutDpi, dpi),
                              ScaleForDpi(m_layoutBase.y, m_uLayoutDpi, dpi)};
    HDC dc = font != nullptr ? ::GetDC(m_hWnd) : nullptr;
    if (dc == nullptr)
        return scaled;
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    SIZE letters = {};
    static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    bool measured =
        ::GetTextMetricsW(dc, &metrics) && ::GetTextExtentPoint32W(dc, kLetters, 52, &letters);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    return measured ? BaseUnitsFromMetrics(letters.cx, metrics.tmHeight) : scaled;
}

bool QVProgressNoCancelDlg::ScaledWindowSize(uint32_t dpi, DialogBaseUnits base, SIZE& size) const
{
    if (dpi == 0)
        return false;
    DpiRect client = DialogUnitsToPixels(m_layoutClientUnits, base);
    RECT frame = {0, 0, client.right, client.bottom};
    auto style = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE));
    if (!m_dpi.ClientToWindow(frame, style, exStyle, dpi))
        return false;
    size = {frame.right - frame.left, frame.bottom - frame.top};
    return true;
}

void QVProgressNoCancelDlg::OnDpiChanged(uint32_t dpi, const RECT* suggested)
{
    if (dpi == 0 || dpi == m_uDpi)
        return;
    ApplyDpi(dpi, suggested);
}

void QVProgressNoCancelDlg::ApplyDpi(uint32_t dpi, const RECT* suggested)
{
    m_uDpi = dpi;
    // New fonts reach the controls before the old ones are deleted.
    CFont dialogFont;
    if (m_bHaveLayoutFont)
    {
        LOGFONTW font = m_layoutFont;
        font.lfHeight = ScaleForDpi(font.lfHeight, m_uLayoutDpi, dpi);
        font.lfWidth = ScaleForDpi(font.lfWidth, m_uLayoutDpi, dpi);
        dialogFont.Reset(::CreateFontIndirectW(&font));
    }
    CFont statusFont(CreateBoldFont(dpi));
    // Text heights do not grow in proportion with the DPI: rectangles scaled by the DPI alone
    // could cut a line by a pixel, those placed by the font's own base units never do.
    m_currentBase = BaseUnitsOf(dialogFont.Get(), dpi);
    for (const ControlLayout& control : m_layoutControls)
    {
        HFONT font =
            ::GetDlgCtrlID(control.hWnd) == IDC_STATUS ? statusFont.Get() : dialogFont.Get();
        if (font != nullptr)
            ::SendMessageW(control.hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        DpiRect r = DialogUnitsToPixels(control.units, m_currentBase);
        ::SetWindowPos(control.hWnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (dialogFont)
        m_hDialogFont = std::move(dialogFont);
    if (statusFont)
        m_hStatusFont = std::move(statusFont);

    SIZE size = {};
    if (ScaledWindowSize(dpi, m_currentBase, size))
    {
        RECT now = {};
        ::GetWindowRect(m_hWnd, &now);
        POINT at = suggested != nullptr ? POINT{suggested->left, suggested->top}
                                        : POINT{now.left, now.top};
        ::SetWindowPos(m_hWnd, nullptr, at.x, at.y, size.cx, size.cy,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        // Where the frame does not follow the window's DPI (per-monitor v1, Wine), it kept its
        // old size: the client area is corrected to the layout's size by what is left over.
        DpiRect wanted = DialogUnitsToPixels(m_layoutClientUnits, m_currentBase);
        RECT client = {};
        ::GetClientRect(m_hWnd, &client);
        const int dx = wanted.right - client.right;
        const int dy = wanted.bottom - client.bottom;
        if (dx != 0 || dy != 0)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, size.cx + dx, size.cy + dy,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LoadWindowIcons(dpi);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void QVProgressNoCancelDlg::LoadWindowIcons(uint32_t dpi)
{
    HINSTANCE resources = g_appModule.GetResourceInstance();
    auto load = [&](int cx, int cy)
    {
        return static_cast<HICON>(::LoadImageW(resources, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               m_dpi.Metric(cx, dpi), m_dpi.Metric(cy, dpi),
                                               LR_DEFAULTCOLOR));
    };
    CIcon bigIcon(load(SM_CXICON, SM_CYICON));
    CIcon smallIcon(load(SM_CXSMICON, SM_CYSMICON));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.Get()));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.Get()));
    // The window holds the new icons now; the old ones go.
    m_hBigIcon = std::move(bigIcon);
    m_hSmallIcon = std::move(smallIcon);
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
