// Test program of AbortTest.ProcessEndsWhileTheNetworkThreadIsBlocked: aborts a transfer whose
// server never answers, so the transfer's network thread stays blocked for the whole stall
// time-out, then returns from wmain at once. Exit code 0 when the transfer ended as a cancellation
// within 2 s with no file left; 3 otherwise.
//   engine_abort_at_exit URL
#include "engine/engine_messages.h"
#include "engine/setup_downloader.h"
#include "engine/version_update_callback.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace
{

class CancelledCallback final : public QV::IVersionUpdateCallback
{
public:
    void OnDownloadBegin() override {}
    void OnFileSize(uint32_t) override {}
    void OnTotalReceived(uint32_t) override {}
    void OnProgress(const std::wstring&, uint32_t, uint32_t, double) override {}
    void OnDownloadComplete(bool) override {}
    void OnError(std::wstring message) override { m_errors += message + L"\n"; }
    bool IsCancelled() override { return m_bCancelled; }

    std::atomic<bool> m_bCancelled{false};
    std::wstring m_errors;
};

DWORD WINAPI Aborter(void* parameter)
{
    auto* downloader = static_cast<QV::SetupDownloader*>(parameter);
    ::Sleep(300);
    downloader->AbortTransfer();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    CancelledCallback callback;
    QV::SetupDownloader downloader;
    downloader.SetCallback(&callback);
    callback.m_bCancelled = true;
    HANDLE aborter = ::CreateThread(nullptr, 0, Aborter, &downloader, 0, nullptr);
    if (aborter == nullptr)
        return 2;
    const DWORD start = ::GetTickCount();
    const bool ok = downloader.DownloadToTempFile(argv[1]);
    const DWORD elapsed = ::GetTickCount() - start;
    ::WaitForSingleObject(aborter, INFINITE);
    ::CloseHandle(aborter);
    const bool fileLeft =
        ::GetFileAttributesW(downloader.GetLocalFile().c_str()) != INVALID_FILE_ATTRIBUTES;
    std::printf("transfer ended after %lu ms\n", static_cast<unsigned long>(elapsed));
    std::fflush(stdout);
    const bool expected = !ok && elapsed < 2000 && !fileLeft &&
                          callback.m_errors == std::wstring(QV::kMsgDownloadCancelled) + L"\n";
    return expected ? 0 : 3;
}
