// RunInstaller with the sample setup program, downloaded from the loopback server into the private
// folder and held there until it runs; and Download with this test program's own version
// resource.
#include "engine/engine_messages.h"
#include "engine/recording_callback.h"
#include "engine/setup_downloader.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

namespace
{

using namespace QV::test;
using QV::SetupDownloader;

class RunInstallerTest : public EngineWineTest
{
protected:
    void SetUp() override
    {
        EngineWineTest::SetUp();
        m_log = m_workDir + L"setup.log";
        m_installDir = m_workDir + L"install";
        m_regKey = L"Software\\QvEngineTest\\" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(L"QV_SAMPLE_SETUP_LOG", m_log.c_str());
        SetEnvironmentVariableW(L"QV_SAMPLE_SETUP_DIR", m_installDir.c_str());
        SetEnvironmentVariableW(L"QV_SAMPLE_SETUP_REGKEY", m_regKey.c_str());
    }

    void TearDown() override
    {
        for (const wchar_t* name :
             {L"QV_SAMPLE_SETUP_LOG", L"QV_SAMPLE_SETUP_DIR", L"QV_SAMPLE_SETUP_REGKEY",
              L"QV_SAMPLE_SETUP_EXIT", L"QV_SAMPLE_SETUP_SLEEP_MS"})
            SetEnvironmentVariableW(name, nullptr);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_regKey.c_str());
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\QvEngineTest");
        EngineWineTest::TearDown();
    }

    // The sample setup's key=value log.
    std::map<std::string, std::string> SetupLog() const
    {
        std::map<std::string, std::string> values;
        std::vector<uint8_t> bytes = ReadWholeFile(m_log);
        std::string text(bytes.begin(), bytes.end());
        size_t start = 0;
        while (start < text.size())
        {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            size_t eq = line.find('=');
            if (eq != std::string::npos)
                values[line.substr(0, eq)] = line.substr(eq + 1);
            start = end + 1;
        }
        return values;
    }

    std::wstring InstalledPath() const
    {
        wchar_t value[MAX_PATH] = {};
        DWORD size = sizeof(value);
        if (RegGetValueW(HKEY_LOCAL_MACHINE, m_regKey.c_str(), L"Path", RRF_RT_REG_SZ, nullptr,
                         value, &size) != ERROR_SUCCESS)
            return std::wstring();
        return value;
    }

    // Runs file_probe (another program) with `operation` on `path`; answers its exit code: 0 when
    // the system let it do that, 1 when it refused.
    static int Probe(const wchar_t* operation, const std::wstring& path)
    {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring program = self;
        program = program.substr(0, program.find_last_of(L"\\/") + 1) +
                  Widen(QV_TOOL_DIR_FROM_TEST) + L"\\file_probe.exe";
        return QV::Test::RunProcess(L"\"" + program + L"\" " + operation + L" \"" + path + L"\"")
            .exitCode;
    }

    std::wstring m_log, m_installDir, m_regKey;
};

TEST_F(RunInstallerTest, RunsTheDownloadedProgramHiddenWithSlashS)
{
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?11.22")));
    ASSERT_NO_FATAL_FAILURE(ExpectPrivateFolder(downloader.GetTempDir()));
    const std::wstring setup = downloader.GetTempDir() + L"PellixSetup.exe";
    ASSERT_EQ(downloader.GetSetupPath(), setup);

    EXPECT_TRUE(downloader.RunInstaller());

    std::map<std::string, std::string> log = SetupLog();
    EXPECT_EQ(log["arguments"], "/S");
    EXPECT_EQ(log["show_window_flag"], "1");
    EXPECT_EQ(log["show_window"], std::to_string(SW_HIDE));
    std::string cwd = log["working_directory"];
    if (!cwd.empty() && cwd.back() != '\\')
        cwd += '\\';
    EXPECT_EQ(_stricmp(cwd.c_str(), Narrow(downloader.GetTempDir()).c_str()), 0)
        << cwd << ": the private folder is the working folder";
    EXPECT_EQ(_stricmp(log["exe"].c_str(), Narrow(setup).c_str()), 0) << log["exe"];
    EXPECT_EQ(log["exit_code"], "0");
    EXPECT_EQ(InstalledPath(), m_installDir);
    EXPECT_TRUE(FileExists(m_installDir + L"\\Pellix.exe"));
    EXPECT_FALSE(FileExists(setup)) << "the setup program is deleted after it ran";
}

TEST_F(RunInstallerTest, WaitsForTheSetupProgram)
{
    SetEnvironmentVariableW(L"QV_SAMPLE_SETUP_SLEEP_MS", L"1500");
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(downloader.RunInstaller());
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
    EXPECT_EQ(SetupLog()["exit_code"], "0") << "the setup program had ended";
}

TEST_F(RunInstallerTest, NonZeroExitCodeIsAFailureAndTheFileIsStillDeleted)
{
    SetEnvironmentVariableW(L"QV_SAMPLE_SETUP_EXIT", L"3");
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    EXPECT_FALSE(downloader.RunInstaller());
    EXPECT_EQ(SetupLog()["exit_code"], "3");
    EXPECT_TRUE(InstalledPath().empty());
    EXPECT_FALSE(FileExists(downloader.GetTempDir() + L"PellixSetup.exe"));
}

TEST_F(RunInstallerTest, NothingHeldLaunchesNothing)
{
    SetupDownloader none;
    EXPECT_FALSE(none.RunInstaller()) << "nothing downloaded";

    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    const std::wstring setup = downloader.GetSetupPath();
    downloader.DiscardSetup();
    EXPECT_FALSE(FileExists(setup)) << "a discarded download is deleted";
    EXPECT_EQ(downloader.GetSetupFile(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(downloader.RunInstaller());
    EXPECT_FALSE(FileExists(m_log));
}

// From the end of the download until the launch, another program can neither write the file nor
// delete or rename it (so what is checked is what runs); reading stays possible. The launch itself
// still works from the held file.
TEST_F(RunInstallerTest, TheFileIsLockedFromTheDownloadUntilTheLaunch)
{
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    const std::wstring setup = downloader.GetSetupPath();
    ASSERT_NE(downloader.GetSetupFile(), INVALID_HANDLE_VALUE);

    EXPECT_EQ(Probe(L"write", setup), 1) << "another program opened it for writing";
    EXPECT_EQ(Probe(L"delete", setup), 1) << "another program deleted it";
    EXPECT_EQ(Probe(L"rename", setup), 1) << "another program renamed it";
    EXPECT_EQ(Probe(L"read", setup), 0) << "reading must stay possible";
    EXPECT_TRUE(FileExists(setup));

    EXPECT_TRUE(downloader.RunInstaller());
    EXPECT_EQ(SetupLog()["exit_code"], "0");
    EXPECT_FALSE(FileExists(setup));
    EXPECT_EQ(Probe(L"read", setup), 1) << "gone after the run";
}

// A scanner that reads the new file without delete sharing makes the first delete fail: the
// delete is tried again until the scanner lets go (here 400 ms later).
TEST_F(RunInstallerTest, ADeleteThatAScannerBlocksIsRetried)
{
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    const std::wstring setup = downloader.GetSetupPath();
    HANDLE scanner = CreateFileW(setup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    std::thread release(
        [&]
        {
            Sleep(400);
            CloseHandle(scanner);
        });
    downloader.DiscardSetup();
    const bool goneAtOnce = !FileExists(setup);
    release.join();
    EXPECT_TRUE(goneAtOnce) << "deleted once the scanner let go, within the same call";
}

class DownloadAddressTest : public EngineWineTest
{
};

// This program's version resource names http://127.0.0.1:1/QuorvinSetup.exe, where nothing
// listens: PrepareDownload reads it and creates QuorvinSetup.exe, the attempt ends without a
// response (a failure worth retrying, reported by no OnError), and FinishDownload restores the
// total and leaves no file.
TEST_F(DownloadAddressTest, DownloadReadsTheAddressAndReportsAFailedConnection)
{
    RecordingCallback callback;
    SetupDownloader downloader;
    downloader.SetCallback(&callback);
    ASSERT_TRUE(downloader.PrepareDownload());
    EXPECT_EQ(downloader.GetLocalFile(), downloader.GetTempDir() + L"QuorvinSetup.exe");
    EXPECT_EQ(ListDir(downloader.GetTempDir()), std::vector<std::wstring>{L"QuorvinSetup.exe"});
    const QV::TransferOutcome outcome = downloader.DownloadAttempt();
    EXPECT_EQ(outcome.end, QV::TransferEnd::NoResponse);
    EXPECT_STREQ(outcome.message, QV::kMsgDownloadFailed);
    downloader.FinishDownload(false);
    EXPECT_EQ(callback.Events(), (std::vector<std::string>{"begin", "total 0"}));
    EXPECT_TRUE(callback.Errors().empty());
    EXPECT_TRUE(ListDir(downloader.GetTempDir()).empty());
}

} // namespace
