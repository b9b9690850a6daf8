// Entry point of the online installer.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/installed_probe.h"
#include "app/run_progress_window.h"
#include "app/single_instance.h"
#include "common/system_library.h"
#include "engine/private_folder_win32.h"
#include "framework/app_module.h"
#include "ui/running_installer.h"

#include <cstdlib>

// The runtime's default handler for an exception nobody catches prints its demangled type name,
// which pulls a C++ demangler into the exe; this program has no console to print to anyway.
namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    // Before anything can load a DLL by name: a planted one beside the exe must never win.
    QV::RestrictDllSearchPath();

    // Another installer of this session runs: it is brought into view, and this one never
    // downloads.
    QV::QVSingleInstance instance;
    if (!instance.IsFirst())
    {
        QV::ShowRunningInstaller();
        return 0;
    }

    // Private folders of earlier runs that were killed; only the first instance may judge them.
    QV::SweepPrivateFolders(QV::SystemTempDir());

    // The browser is already there: nothing to do, no window, no network.
    if (QV::IsProductInstalled())
        return 0;

    ::CoInitialize(nullptr);
    // Lets the window manager know the process has a GUI before the first window exists.
    ::DefWindowProcW(nullptr, 0, 0, 0);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    QV::g_appModule.Initialize();

    int code = QV::RunProgressWindow();

    QV::g_appModule.Terminate();
    ::CoUninitialize();
    return code;
}
