// Times one download of a URL and prints "<mode> <bytes> <milliseconds>". Used by scripts/bench.
//   engine_bench engine|bare|barewrite URL
// engine: SetupDownloader (no user interface attached); bare: a loop of 4096-byte
// InternetReadFile calls on the same kind of request, the data dropped; barewrite: the same loop
// writing every block to a file in the temporary directory.
#include "engine/http/http_file.h"
#include "engine/http/internet_api.h"
#include "engine/setup_downloader.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

double NowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// `file`: where each block is written, or INVALID_HANDLE_VALUE to drop it.
bool Bare(const std::wstring& url, HANDLE file, unsigned long long& bytes)
{
    QV::QVInternetSession session;
    QV::QVHttpFile request;
    if (!request.Open(session.GetHandle(), url) || request.HasErrorStatus())
        return false;
    const unsigned long long length = request.GetContentLength();
    const QV::InternetApi& api = QV::GetInternetApi();
    static char buffer[4096];
    DWORD n = 0;
    while (bytes < length && api.InternetReadFile(request.GetHandle(), buffer, 4096, &n) && n > 0)
    {
        DWORD written = 0;
        if (file != INVALID_HANDLE_VALUE && !WriteFile(file, buffer, n, &written, nullptr))
            return false;
        bytes += n;
    }
    return bytes == length;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: engine_bench engine|bare|barewrite URL\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const std::wstring url = argv[2];
    unsigned long long bytes = 0;
    bool ok = false;
    double start = NowMs();
    if (mode == L"engine")
    {
        QV::SetupDownloader downloader;
        ok = downloader.DownloadToTempFile(url);
        bytes = downloader.GetTotalReceived();
    }
    else if (mode == L"bare")
    {
        ok = Bare(url, INVALID_HANDLE_VALUE, bytes);
    }
    else if (mode == L"barewrite")
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        std::wstring path = std::wstring(temp) + L"engine_bench.tmp";
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE && Bare(url, file, bytes);
        CloseHandle(file);
        DeleteFileW(path.c_str());
    }
    double elapsed = NowMs() - start;
    if (!ok)
    {
        std::fprintf(stderr, "engine_bench: the download failed\n");
        return 1;
    }
    std::printf("%ls %llu %.1f\n", mode.c_str(), bytes, elapsed);
    return 0;
}
