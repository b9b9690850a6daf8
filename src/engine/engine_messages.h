// The engine's user-visible sentences: the failures it reports through
// IVersionUpdateCallback::OnError, and the install phase's status texts that QVSetupJob shows.
#pragma once

namespace QV
{

// No local file could be created in the temporary directory.
inline constexpr wchar_t kMsgCreateFileFailed[] = L"创建本地文件失败";
// No usable response, a read failure, or a body shorter or longer than announced.
inline constexpr wchar_t kMsgDownloadFailed[] = L"下载文件失败";
// The user interface asked the transfer to stop.
inline constexpr wchar_t kMsgDownloadCancelled[] = L"下载任务已经取消";
// Fewer bytes written to the local file than read.
inline constexpr wchar_t kMsgWriteFailed[] = L"写入本地文件失败";
// An exception escaped the worker's job (reported by the worker thread of the user interface).
inline constexpr wchar_t kMsgWorkerAborted[] = L"下载程序异常终止";
// The download is complete and the setup program is about to run.
inline constexpr wchar_t kMsgInstalling[] = L"正在安装，请稍候...";
// The setup program ran and reported success.
inline constexpr wchar_t kMsgInstalled[] = L"已经成功安装";
// The setup program could not be run or reported failure.
inline constexpr wchar_t kMsgInstallFailed[] = L"安装失败";

} // namespace QV
