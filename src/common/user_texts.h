// Every text the installer shows to the user, in one table that the code, the tests and the test
// tools include (the end-to-end harness reads it too), so that a text is written only once.
// The texts must stay exactly as they are: the end-to-end tests and the tools compare them.
#pragma once

namespace QV
{

// Title of the progress dialog, the cancel question and every balloon; the tray icon's tooltip.
inline constexpr wchar_t kCaption[] = L"Quorvin浏览器在线安装程序";

// Status line and balloon when the dialog starts, when the download begins, and again when the
// body flows after a wait to retry.
inline constexpr wchar_t kDownloading[] = L"正在下载，请稍候...";
// Status line and balloon while the server is being reached.
inline constexpr wchar_t kConnecting[] = L"正在连接服务器，请稍候...";
// Status line and balloon once the server has answered.
inline constexpr wchar_t kConnected[] = L"已经连接服务器，请稍候...";
// Status line and balloon while the download waits to try again after a network or server
// failure; FormatString fills in the number of the coming retry and how many retries there are.
inline constexpr wchar_t kRetryingFormat[] = L"网络连接中断，正在重试（第%d次，共%d次）...";
// Status line and balloon after the whole file has arrived.
inline constexpr wchar_t kDownloadComplete[] = L"下载完成";
// Status line and balloon while the setup program runs.
inline constexpr wchar_t kInstalling[] = L"正在安装，请稍候...";
// Status line and balloon after the setup program has succeeded.
inline constexpr wchar_t kInstalled[] = L"已经成功安装";
// Status line and balloon when the setup program could not run or reported failure.
inline constexpr wchar_t kInstallFailed[] = L"安装失败";
// Status line and balloon for a job that failed without saying why.
inline constexpr wchar_t kGenericError[] = L"在线安装过程出现错误";
// Message box text when the user asks to cancel (Esc, close box, the tray menu's exit).
inline constexpr wchar_t kConfirmCancel[] = L"是否取消在线安装？";

// Status line and balloon: no local file could be created in the temporary directory.
inline constexpr wchar_t kMsgCreateFileFailed[] = L"创建本地文件失败";
// Status line and balloon: no usable response, a read failure, or a body shorter or longer than
// announced.
inline constexpr wchar_t kMsgDownloadFailed[] = L"下载文件失败";
// Reported when the user has cancelled the transfer; not shown, the job being stopped already.
inline constexpr wchar_t kMsgDownloadCancelled[] = L"下载任务已经取消";
// Status line and balloon: fewer bytes written to the local file than read.
inline constexpr wchar_t kMsgWriteFailed[] = L"写入本地文件失败";
// Status line and balloon: an exception escaped the worker's job, or the worker could not start.
inline constexpr wchar_t kMsgWorkerAborted[] = L"下载程序异常终止";
// Status line and balloon: the downloaded setup program lacks the signer or hash the build
// requires; it was deleted unrun.
inline constexpr wchar_t kMsgSetupCheckFailed[] = L"安装程序校验失败";

// Texts of res/installer.rc, which the resource compiler cannot take from this header; the exe's
// resource test checks that the two agree.

// Caption of dialog templates 105 and 102, replaced by kCaption before the dialog is first shown.
inline constexpr wchar_t kDialogTemplateCaption[] = L"在线安装程序";
// Button of the progress dialog that hides it again.
inline constexpr wchar_t kMinimizeButton[] = L"最小化到任务栏";
// Cancel button of dialog template 102, which the installer does not use.
inline constexpr wchar_t kCancelInstallButton[] = L"取消在线安装";
// First item of the tray icon's menu: shows the progress dialog.
inline constexpr wchar_t kTrayMenuShow[] = L"显示(&S)";
// Second item of the tray icon's menu: asks the cancel question.
inline constexpr wchar_t kTrayMenuExit[] = L"退出(&X)";

} // namespace QV
