// RunInstaller with the sample setup program, downloaded from the loopback server; and Download
// with this test program's own version resource.
#include "engine/engine_messages.h"
#include "engine/recording_callback.h"
#include "engine/setup_downloader.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

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

    std::wstring m_log, m_installDir, m_regKey;
};

TEST_F(RunInstallerTest, RunsTheDownloadedProgramHiddenWithSlashS)
{
    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?11.22")));
    const std::wstring setup = m_tempDir + L"PellixSetup.exe";
    ASSERT_EQ(downloader.GetSetupPath(), setup);

    EXPECT_TRUE(downloader.RunInstaller());

    std::map<std::string, std::string> log = SetupLog();
    EXPECT_EQ(log["arguments"], "/S");
    EXPECT_EQ(log["show_window_flag"], "1");
    EXPECT_EQ(log["show_window"], std::to_string(SW_HIDE));
    std::string cwd = log["working_directory"];
    if (!cwd.empty() && cwd.back() != '\\')
        cwd += '\\';
    EXPECT_EQ(_stricmp(cwd.c_str(), Narrow(m_tempDir).c_str()), 0) << cwd;
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
    EXPECT_FALSE(FileExists(m_tempDir + L"PellixSetup.exe"));
}

TEST_F(RunInstallerTest, MissingFileLaunchesNothing)
{
    SetupDownloader none;
    EXPECT_FALSE(none.RunInstaller()) << "nothing downloaded";

    SetupDownloader downloader;
    ASSERT_TRUE(downloader.DownloadToTempFile(Url(L"/file/sample/PellixSetup.exe?1.2")));
    ASSERT_TRUE(DeleteFileW(downloader.GetSetupPath().c_str()));
    EXPECT_FALSE(downloader.RunInstaller());
    EXPECT_FALSE(FileExists(m_log));
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
    EXPECT_EQ(downloader.GetLocalFile(), m_tempDir + L"QuorvinSetup.exe");
    EXPECT_EQ(ListDir(m_tempDir), std::vector<std::wstring>{L"QuorvinSetup.exe"});
    const QV::TransferOutcome outcome = downloader.DownloadAttempt();
    EXPECT_EQ(outcome.end, QV::TransferEnd::NoResponse);
    EXPECT_STREQ(outcome.message, QV::kMsgDownloadFailed);
    downloader.FinishDownload(false);
    EXPECT_EQ(callback.Events(), (std::vector<std::string>{"begin", "total 0"}));
    EXPECT_TRUE(callback.Errors().empty());
    EXPECT_TRUE(ListDir(m_tempDir).empty());
}

} // namespace
