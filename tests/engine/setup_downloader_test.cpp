// SetupDownloader against the loopback server under Wine: real WinINet, real files, a real
// setup program.
#include "engine/engine_messages.h"
#include "engine/recording_callback.h"
#include "engine/setup_downloader.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wininet.h>

#include <chrono>
#include <regex>
#include <thread>

namespace
{

using namespace QV::test;
using QV::SetupDownloader;
using Clock = std::chrono::steady_clock;

const std::wstring kFailed = QV::kMsgDownloadFailed;
const std::wstring kCancelled = QV::kMsgDownloadCancelled;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The reports of one successful transfer of `total` bytes after `previous` bytes: the four
// opening reports, then per block a poll, the progress and the running total, each block adding
// at most 4096 bytes, then the closing progress and total.
void ExpectSuccessfulReports(const std::vector<std::string>& events, uint32_t total,
                             uint32_t previous)
{
    const std::string t = std::to_string(total);
    ASSERT_GE(events.size(), 6u);
    std::vector<std::string> head(events.begin(), events.begin() + 4);
    EXPECT_EQ(head, (std::vector<std::string>{"progress 0 0", "size " + t,
                                              "total " + std::to_string(previous),
                                              "progress " + t + " 0"}));
    size_t i = 4;
    uint32_t received = 0;
    while (i + 2 < events.size() && events[i] == "poll")
    {
        if (events[i + 1].rfind("poll", 0) == 0)
        {
            ++i; // an empty read
            continue;
        }
        unsigned long long now = 0;
        ASSERT_EQ(sscanf(events[i + 1].c_str(), ("progress " + t + " %llu").c_str(), &now), 1)
            << events[i + 1];
        EXPECT_GT(now, received);
        EXPECT_LE(now - received, 4096u);
        received = static_cast<uint32_t>(now);
        EXPECT_EQ(events[i + 2], "total " + std::to_string(previous + received));
        i += 3;
    }
    EXPECT_EQ(received, total);
    std::vector<std::string> tail(events.begin() + static_cast<long>(i), events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"progress " + t + " " + t,
                                              "total " + std::to_string(previous + total)}));
}

class DownloadTest : public EngineWineTest
{
};

struct ServerCase
{
    const char* name;
    std::wstring path;  // without the query
    uint32_t size;      // bytes of a successful download; 0: the download fails
    std::wstring error; // the one report of a failure
};

// Every server behaviour goes through DownloadToTempFile: a success leaves exactly the file named
// after the address with the body; a failure reports once and leaves no file behind.
TEST_F(DownloadTest, ServerBehaviours)
{
    const ServerCase cases[] = {
        {"normal body", L"/body/10000/QuorvinSetup.exe", 10000, L""},
        {"exactly 4096 x 3", L"/body/12288/QuorvinSetup.exe", 12288, L""},
        {"one byte", L"/body/1/QuorvinSetup.exe", 1, L""},
        {"many read-ahead rounds", L"/body/1000003/QuorvinSetup.exe", 1000003, L""},
        {"slow drip", L"/drip/30000/60000/QuorvinSetup.exe", 30000, L""},
        {"answer after a 1 s pause", L"/stall/1/5000/QuorvinSetup.exe", 5000, L""},
        {"status 404", L"/status/404/QuorvinSetup.exe", 0, kFailed},
        {"status 206", L"/status/206/QuorvinSetup.exe", 0, kFailed},
        {"status 500", L"/status/500/QuorvinSetup.exe", 0, kFailed},
        {"no Content-Length", L"/nolength/5000/QuorvinSetup.exe", 0, kFailed},
        {"Content-Length 0", L"/zerolength/QuorvinSetup.exe", 0, kFailed},
        {"body shorter than announced", L"/short/10000/6000/QuorvinSetup.exe", 0, kFailed},
        {"closed before any header", L"/closenow/QuorvinSetup.exe", 0, kFailed},
    };
    for (const ServerCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        RecordingCallback callback;
        SetupDownloader downloader;
        downloader.SetCallback(&callback);
        ASSERT_NO_FATAL_FAILURE(ExpectPrivateFolder(downloader.GetTempDir()));
        const std::wstring url = Url(c.path + L"?123.4567");

        bool ok = downloader.DownloadToTempFile(url);

        EXPECT_EQ(ok, c.size != 0);
        if (c.size != 0)
        {
            EXPECT_TRUE(callback.Errors().empty());
            ExpectSuccessfulReports(callback.Events(), c.size, 0);
            EXPECT_EQ(downloader.GetTotalReceived(), c.size);
            EXPECT_EQ(downloader.GetSetupPath(), downloader.GetTempDir() + L"QuorvinSetup.exe");
            EXPECT_EQ(ListDir(downloader.GetTempDir()),
                      std::vector<std::wstring>{L"QuorvinSetup.exe"});
            std::vector<uint8_t> body = ReadWholeFile(downloader.GetSetupPath());
            ASSERT_EQ(body.size(), c.size);
            for (size_t i = 0; i < body.size(); ++i)
                ASSERT_EQ(body[i], PatternByte(i)) << "offset " << i;
            for (const std::wstring& u : callback.Urls())
                EXPECT_EQ(u, url);
        }
        else
        {
            EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{c.error});
            EXPECT_EQ(callback.Events().back(), "error");
            EXPECT_EQ(downloader.GetTotalReceived(), 0u);
            EXPECT_TRUE(downloader.GetSetupPath().empty());
            EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
        }
    }
    // The downloader's destructor removed the last successful file too, and the private folder
    // with its lock.
    EXPECT_TRUE(ListDir(m_tempDir).empty());
}

// Every downloader works in a private folder of its own, and leaves nothing behind.
TEST_F(DownloadTest, EachDownloaderHasItsOwnPrivateFolder)
{
    {
        SetupDownloader first, second;
        ASSERT_NO_FATAL_FAILURE(ExpectPrivateFolder(first.GetTempDir()));
        ASSERT_NO_FATAL_FAILURE(ExpectPrivateFolder(second.GetTempDir()));
        EXPECT_NE(first.GetTempDir(), second.GetTempDir());
        ASSERT_TRUE(first.DownloadToTempFile(Url(L"/body/2000/Same.exe?1.2")));
        ASSERT_TRUE(second.DownloadToTempFile(Url(L"/body/3000/Same.exe?1.2")));
        EXPECT_EQ(ReadWholeFile(first.GetSetupPath()).size(), 2000u);
        EXPECT_EQ(ReadWholeFile(second.GetSetupPath()).size(), 3000u);
        EXPECT_EQ(ListDir(m_tempDir).size(), 4u) << "two folders and their locks";
    }
    EXPECT_TRUE(ListDir(m_tempDir).empty());
}

// True when WinINet's cache has an entry for `url`, or a file whose name begins with `stem` is
// anywhere in the cache folder.
bool InWinInetCache(const std::wstring& url, const std::wstring& stem)
{
    DWORD size = 0;
    if (!GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        return true;
    wchar_t cache[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, cache)))
        return false;
    std::vector<std::wstring> dirs = {cache};
    while (!dirs.empty())
    {
        const std::wstring dir = dirs.back();
        dirs.pop_back();
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do
        {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                dirs.push_back(dir + L"\\" + name);
            else if (_wcsnicmp(name.c_str(), stem.c_str(), stem.size()) == 0)
            {
                FindClose(find);
                return true;
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return false;
}

// A GET as WinINet does it without INTERNET_FLAG_NO_CACHE_WRITE, read to the end.
void FetchWithCacheWrites(const std::wstring& url)
{
    HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), L"Accept:*/*",
                                         static_cast<DWORD>(-1), INTERNET_FLAG_RELOAD, 0);
    ASSERT_NE(request, nullptr);
    char buffer[4096];
    DWORD n = 0;
    while (InternetReadFile(request, buffer, sizeof(buffer), &n) && n > 0)
    {
    }
    InternetCloseHandle(request);
    InternetCloseHandle(session);
}

// The download leaves no copy in the user's WinINet cache. The same GET made without the
// no-cache-write flag does leave one, which shows that the search would find it.
TEST_F(DownloadTest, NothingOfTheDownloadStaysInTheWinInetCache)
{
    const std::wstring stem = L"QvCacheProbe" + std::to_wstring(GetCurrentProcessId());
    const std::wstring ours = Url(L"/body/50000/" + stem + L"A.exe?7.8");
    const std::wstring plain = Url(L"/body/50000/" + stem + L"B.exe?7.8");
    {
        SetupDownloader downloader;
        ASSERT_TRUE(downloader.DownloadToTempFile(ours));
    }
    EXPECT_FALSE(InWinInetCache(ours, stem + L"A"));

    ASSERT_NO_FATAL_FAILURE(FetchWithCacheWrites(plain));
    EXPECT_TRUE(InWinInetCache(plain, stem + L"B")) << "the search finds a cached copy";
    DeleteUrlCacheEntryW(plain.c_str());
}

// Wine's WinINet may pass on what a closing connection sends past Content-Length, depending on
// how the bytes arrive: the transfer then fails the length check. Either way no file of another
// length than the announced one is ever kept.
TEST_F(DownloadTest, BodyLongerThanAnnouncedNeverGivesALongerFile)
{
    for (int run = 0; run < 5; ++run)
    {
        RecordingCallback callback(0, false);
        SetupDownloader downloader;
        downloader.SetCallback(&callback);
        if (downloader.DownloadToTempFile(Url(L"/long/5000/9000/Long.exe?1.2")))
        {
            std::vector<uint8_t> body = ReadWholeFile(downloader.GetTempDir() + L"Long.exe");
            ASSERT_EQ(body.size(), 5000u);
            EXPECT_EQ(body[4999], PatternByte(4999));
        }
        else
        {
            EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
            EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
        }
    }
}

TEST_F(DownloadTest, RefusedConnectionReportsDownloadFailure)
{
    // Nothing listens on port 1 of the loopback address: the connection is refused.
    RecordingCallback callback;
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    auto start = Clock::now();
    EXPECT_FALSE(downloader.DownloadToTempFile(L"http://127.0.0.1:1/Refused.exe?1.2"));
    EXPECT_EQ(callback.Events(), std::vector<std::string>{"error"});
    EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
    RecordProperty("refused_ms", static_cast<int>(MsSince(start)));
}

TEST_F(DownloadTest, RequestOnTheWire)
{
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/body/100/Wire.exe?321.7")));
    std::string log = ServerLog();
    EXPECT_NE(log.find("\"method\": \"GET\", \"path\": \"/body/100/Wire.exe\", \"query\": "
                       "\"321.7\""),
              std::string::npos)
        << log;
    // Accept is */* every time it appears (Wine's WinINet adds one of its own); no agent.
    std::regex accept("\\[\"Accept\", \"([^\"]*)\"\\]");
    int accepts = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), accept);
         it != std::sregex_iterator(); ++it)
    {
        ++accepts;
        EXPECT_EQ((*it)[1].str(), "*/*");
    }
    EXPECT_GE(accepts, 1);
    EXPECT_EQ(log.find("User-Agent"), std::string::npos) << log;
}

TEST_F(DownloadTest, TotalGrowsOverSuccessfulTransfersOnly)
{
    RecordingCallback callback(0, false);
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/body/7000/A.exe?1.1")));
    EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/short/9000/100/B.exe?1.1")));
    EXPECT_EQ(downloader.GetTotalReceived(), 7000u);
    RecordingCallback second;
    downloader.SetCallback(&second);
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/body/5000/C.exe?1.1")));
    EXPECT_EQ(downloader.GetTotalReceived(), 12000u);
    ExpectSuccessfulReports(second.Events(), 5000, 7000);
}

TEST_F(DownloadTest, CancelledInTheMiddle)
{
    RecordingCallback callback(5);
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/body/100000/Cancel.exe?1.1")));
    EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kCancelled});
    EXPECT_EQ(callback.Polls(), 5u);
    EXPECT_EQ(downloader.GetTotalReceived(), 0u);
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
}

// The local file, inside the private folder: NAME.exe from the address, Setup.exe for an unusable
// name or a locked NAME.exe, ST1_Setup.exe when Setup.exe is held open without delete sharing;
// existing files are replaced.
struct FileCase
{
    const char* name;
    const wchar_t* urlName;
    std::vector<const wchar_t*> existing;
    std::vector<const wchar_t*> locked;
    const wchar_t* expected;
};

TEST_F(DownloadTest, LocalFileChoices)
{
    const FileCase cases[] = {
        {"name from the address", L"MyName.EXE", {}, {}, L"MyName.EXE"},
        {"existing file replaced", L"MyName.exe", {L"MyName.exe"}, {}, L"MyName.exe"},
        {"no .exe name", L"setup.bin", {}, {}, L"Setup.exe"},
        {"short name", L"a.e", {}, {}, L"Setup.exe"},
        {"name locked", L"MyName.exe", {L"MyName.exe"}, {L"MyName.exe"}, L"Setup.exe"},
        {"Setup.exe locked", L"x", {L"Setup.exe"}, {L"Setup.exe"}, L"ST1_Setup.exe"},
    };
    for (const FileCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::vector<HANDLE> locks;
        std::wstring dir;
        {
            SetupDownloader downloader;
            dir = downloader.GetTempDir();
            ASSERT_FALSE(dir.empty());
            for (const wchar_t* name : c.existing)
                WriteWholeFile(dir + name, "old content that must not survive");
            for (const wchar_t* name : c.locked)
            {
                locks.push_back(CreateFileW((dir + name).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
                ASSERT_NE(locks.back(), INVALID_HANDLE_VALUE);
            }
            ASSERT_TRUE(downloader.DownloadToTempFile(
                Url(std::wstring(L"/body/3000/") + c.urlName + L"?5.6")));
            EXPECT_EQ(downloader.GetSetupPath(), dir + c.expected);
            EXPECT_EQ(downloader.GetLocalFile(), dir + c.expected);
            std::vector<uint8_t> body = ReadWholeFile(dir + c.expected);
            ASSERT_EQ(body.size(), 3000u);
            EXPECT_EQ(body[2999], PatternByte(2999));
        }
        EXPECT_FALSE(FileExists(dir + c.expected)) << "left after the downloader ended";
        for (HANDLE h : locks)
            CloseHandle(h);
        QV::Test::RemoveTree(dir);
        for (const std::wstring& name : ListDir(m_tempDir))
            DeleteFileW((m_tempDir + name).c_str());
    }
}

// A stalled server fails the download within the stall time-out and leaves no file.
struct StallCase
{
    const char* name;
    const wchar_t* path;
};

TEST_F(DownloadTest, StallsFailWithinTheTimeout)
{
    constexpr DWORD kTimeout = 1500;
    const StallCase cases[] = {
        {"accepts and never answers", L"/silent/Stall.exe"},
        {"headers, then nothing", L"/headers/100000/Stall.exe"},
        {"part of the body, then nothing", L"/partial/100000/30000/Stall.exe"},
        {"answer after longer than the time-out", L"/stall/10/100/Stall.exe"},
    };
    for (const StallCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        RecordingCallback callback(0, false);
        SetupDownloader downloader;
        downloader.SetCallback(&callback);
        downloader.SetStallTimeout(kTimeout);
        auto start = Clock::now();
        EXPECT_FALSE(downloader.DownloadToTempFile(Url(std::wstring(c.path) + L"?1.2")));
        long long elapsed = MsSince(start);
        EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
        EXPECT_GE(elapsed, kTimeout - 100);
        EXPECT_LT(elapsed, kTimeout + 2500);
        EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
        RecordProperty(c.name, static_cast<int>(elapsed));
    }
}

// The shipped bound itself, once.
TEST_F(DownloadTest, StallFailsWithinTheShippedTimeout)
{
    RecordingCallback callback(0, false);
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    auto start = Clock::now();
    EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/headers/100000/Stall.exe?1.2")));
    long long elapsed = MsSince(start);
    EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
    EXPECT_GE(elapsed, static_cast<long long>(QV::kStallTimeoutMs) - 100);
    EXPECT_LT(elapsed, static_cast<long long>(QV::kStallTimeoutMs) + 5000);
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
    RecordProperty("elapsed_ms", static_cast<int>(elapsed));
    std::printf("shipped stall time-out ended the download after %lld ms\n", elapsed);
}

class AbortTest : public EngineWineTest
{
};

TEST_F(AbortTest, AbortBeforeTheTransferFailsTheNextOneOnly)
{
    RecordingCallback callback;
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    downloader.AbortTransfer();
    auto start = Clock::now();
    EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/body/1000/Abort.exe?1.2")));
    EXPECT_LT(MsSince(start), 1000);
    // Aborted: the user interface is asked whether this is its cancellation.
    EXPECT_EQ(callback.Events(), (std::vector<std::string>{"poll", "error"}));
    EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
    EXPECT_EQ(ServerLog(), "[]") << "the aborted transfer sent no request";

    EXPECT_TRUE(downloader.DownloadToTempFile(Url(L"/body/1000/Abort.exe?1.2")));
}

// An abort while data is flowing ends the transfer at once; it is a cancellation when the user
// interface says so, else a failure.
TEST_F(AbortTest, AbortWhileReceiving)
{
    for (bool userCancelled : {false, true})
    {
        SCOPED_TRACE(userCancelled ? "user cancelled" : "not cancelled");
        RecordingCallback callback(0, false);
        SetupDownloader downloader;
        downloader.SetCallback(&callback);
        std::thread aborter(
            [&]
            {
                Sleep(700);
                if (userCancelled)
                    callback.CancelNow();
                downloader.AbortTransfer();
            });
        auto start = Clock::now();
        EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/drip/200000/20000/Abort.exe?1.2")));
        long long elapsed = MsSince(start);
        aborter.join();
        EXPECT_EQ(callback.Errors(),
                  std::vector<std::wstring>{userCancelled ? kCancelled : kFailed});
        EXPECT_LT(elapsed, 700 + 1000);
        EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
    }
}

// While the network call blocks on a stalled server (waiting for headers, for the body, or in
// the middle of it), an abort ends the transfer at once, long before the stall time-out, with the
// usual report and no file left.
TEST_F(AbortTest, AbortDuringAStallEndsAtOnce)
{
    const StallCase cases[] = {
        {"accepts and never answers", L"/silent/Abort.exe?1.2"},
        {"headers, then nothing", L"/headers/100000/Abort.exe?1.2"},
        {"part of the body, then nothing", L"/partial/100000/30000/Abort.exe?1.2"},
    };
    for (const StallCase& c : cases)
    {
        for (bool userCancelled : {true, false})
        {
            SCOPED_TRACE(std::string(c.name) + (userCancelled ? ", cancelled" : ", not cancelled"));
            RecordingCallback callback(0, false);
            SetupDownloader downloader;
            downloader.SetCallback(&callback);
            std::thread aborter(
                [&]
                {
                    Sleep(500);
                    if (userCancelled)
                        callback.CancelNow();
                    downloader.AbortTransfer();
                });
            auto start = Clock::now();
            EXPECT_FALSE(downloader.DownloadToTempFile(Url(c.path)));
            long long elapsed = MsSince(start);
            aborter.join();
            EXPECT_EQ(callback.Errors(),
                      std::vector<std::wstring>{userCancelled ? kCancelled : kFailed});
            EXPECT_EQ(callback.Events().back(), "error");
            EXPECT_EQ(downloader.GetTotalReceived(), 0u);
            EXPECT_LT(elapsed, 500 + 2000);
            EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
            RecordProperty(std::string(c.name) + (userCancelled ? "" : " (not cancelled)"),
                           static_cast<int>(elapsed - 500));
            std::printf("abort 500 ms into a stall (%s) ended the transfer after %lld ms\n", c.name,
                        elapsed - 500);
        }
    }
}

// The body read ahead before an abort is not delivered after it: the first read after the abort
// fails, however many blocks are waiting.
TEST_F(AbortTest, AbortWithBlocksWaitingFailsTheNextRead)
{
    class AbortAtPoll : public RecordingCallback
    {
    public:
        AbortAtPoll() : RecordingCallback(0, true) {}
        bool IsCancelled() override
        {
            if (Polls() == 1 && m_pDownloader != nullptr)
            {
                // Let the network thread fill its queue from the fast body before aborting.
                Sleep(300);
                m_pDownloader->AbortTransfer();
            }
            return RecordingCallback::IsCancelled();
        }
        SetupDownloader* m_pDownloader = nullptr;
    };
    AbortAtPoll callback;
    SetupDownloader downloader;
    callback.m_pDownloader = &downloader;
    downloader.SetCallback(&callback);
    EXPECT_FALSE(downloader.DownloadToTempFile(Url(L"/body/1000000/Abort.exe?1.2")));
    std::vector<std::string> events = callback.Events();
    ASSERT_EQ(events.size(), 10u) << testing::PrintToString(events);
    // One block before the abort, then the poll during which it came, then the failure.
    EXPECT_EQ(events[4], "poll");
    EXPECT_EQ(events[7], "poll");
    EXPECT_EQ(events[8], "poll") << "the failure asks whether it is a cancellation";
    EXPECT_EQ(events[9], "error");
    EXPECT_EQ(callback.Errors(), std::vector<std::wstring>{kFailed});
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
}

// A process may end while a transfer's network thread is still blocked on the network: it returns
// from its entry point promptly and exits with code 0 (no crash in the thread or at unload).
TEST_F(AbortTest, ProcessEndsWhileTheNetworkThreadIsBlocked)
{
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + Widen(QV_TOOL_DIR_FROM_TEST) +
              L"\\engine_abort_at_exit.exe";
    ASSERT_TRUE(FileExists(program)) << Narrow(program);
    std::wstring commandLine = L"\"" + program + L"\" \"" + Url(L"/silent/Exit.exe?1.2") + L"\"";

    QV::Test::ProcessOptions options;
    options.timeoutMs = 10000;
    QV::Test::ProcessResult run = QV::Test::RunProcess(commandLine, options);
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut) << "still running after 10 s";
    EXPECT_EQ(run.exitCode, 0) << "3: the transfer did not end as a prompt cancellation";
    // Far below the 30 s stall time-out that ends the blocked call.
    const long long elapsed = run.elapsedMs;
    EXPECT_LT(elapsed, 5000);
    std::printf("the process ended %lld ms after its start\n", elapsed);
}

} // namespace
