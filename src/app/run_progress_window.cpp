#include "app/run_progress_window.h"

#include "framework/app_module.h"
#include "ui/progress_nocancel_dlg.h"

namespace QV
{

int RunProgressWindow()
{
    CMessageLoop loop;
    // Without a registered loop the dialog could not find its idle handler's home; and without a
    // window nothing would ever post the quit message: either way the run ends here.
    if (!g_appModule.RegisterMessageLoop(&loop))
        return 0;
    int code = 0;
    {
        QVProgressNoCancelDlg dialog;
        if (dialog.Create(::GetDesktopWindow(), 0) != nullptr)
        {
            ::ShowWindow(dialog.m_hWnd, SW_HIDE);
            code = loop.Run();
        }
        g_appModule.UnregisterMessageLoop();
    }
    return code;
}

} // namespace QV
