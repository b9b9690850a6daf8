// A DLL planted beside the exe (version.dll, wininet.dll) is never loaded by the system-DLL
// loader, even when Wine is told to prefer DLLs found beside the exe, as Windows does for DLLs
// that are not KnownDLLs. A control run that loads them by bare name proves the plant works.
// Wine takes that preference from its per-application registry settings (a WINEDLLOVERRIDES
// set inside a Wine process does not reach its children), so each test names its copy of the
// loader uniquely and sets, then removes, the overrides for that name only.
#include "common/win32_test_support.h"
#include "common/win_handle.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using namespace QV::Test;

class PlantedDll : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_dir.Path().empty());
        m_exeName = m_dir.Path().substr(m_dir.Path().find_last_of(L'\\') + 1) + L".exe";
        ASSERT_TRUE(::CopyFileW(HostPath(QV_TEST_LOADER_EXE).c_str(), m_dir.File(m_exeName).c_str(),
                                FALSE));
        ASSERT_TRUE(::CopyFileW(HostPath(QV_TEST_PLANTED_VERSION).c_str(),
                                m_dir.File(L"version.dll").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(HostPath(QV_TEST_PLANTED_WININET).c_str(),
                                m_dir.File(L"wininet.dll").c_str(), FALSE));
    }

    void TearDown() override
    {
        if (!m_exeName.empty())
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (kAppDefaults + m_exeName).c_str());
    }

    // Runs the copied loader in the temporary folder with Wine's native-first order for the two
    // DLLs; answers its exit code, or -1 when it did not run to the end.
    int Run(const wchar_t* arguments)
    {
        HKEY key = nullptr;
        const std::wstring path = kAppDefaults + m_exeName + L"\\DllOverrides";
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr) != ERROR_SUCCESS)
            return -1;
        QV::CRegKey keyOwner(key);
        static const wchar_t kNativeFirst[] = L"native,builtin";
        for (const wchar_t* dll : {L"version", L"wininet"})
            ::RegSetValueExW(key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                             sizeof(kNativeFirst));

        std::wstring command = L"\"" + m_dir.File(m_exeName) + L"\" " + arguments;
        QV::Test::ProcessOptions options;
        options.directory = m_dir.Path().c_str();
        return QV::Test::RunProcess(command, options).exitCode;
    }

    bool Loaded(const wchar_t* dll) const
    {
        return ::GetFileAttributesW(m_dir.File(std::wstring(dll) + L".loaded").c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }

    static inline const std::wstring kAppDefaults = L"Software\\Wine\\AppDefaults\\";

    CTempDir m_dir;
    std::wstring m_exeName;
};

TEST_F(PlantedDll, SystemLibraryLoaderIgnoresDllsBesideTheExe)
{
    EXPECT_EQ(Run(L""), 0) << "the version resource or wininet could not be loaded";
    EXPECT_FALSE(Loaded(L"version.dll"));
    EXPECT_FALSE(Loaded(L"wininet.dll"));
}

TEST_F(PlantedDll, LoadingByBareNameWouldTakeThePlantedDlls)
{
    Run(L"--by-name");
    EXPECT_TRUE(Loaded(L"version.dll"));
    EXPECT_TRUE(Loaded(L"wininet.dll"));
}

} // namespace
