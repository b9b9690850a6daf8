// The probe against the real registry key HKLM\Software\PellixExplorer and real files. The key's
// previous state is restored afterwards; a named mutex keeps test processes that write the key
// (this one and the installer's end-to-end runs) from overlapping.
#include "app/installed_probe.h"

#include "common/win32_test_support.h"
#include "common/win_handle.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace
{

using QV::CKernelHandle;
using QV::CRegKey;
using QV::Test::CTempDir;

constexpr wchar_t kKey[] = L"Software\\PellixExplorer";
constexpr wchar_t kValue[] = L"Path";
// Shared with every test that writes the product key.
constexpr wchar_t kKeyMutex[] = L"QvPellixExplorerKeyTestLock";

struct SavedValue
{
    DWORD type = 0;
    std::vector<BYTE> data;
};

class InstalledProbeRegistry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_lock.Reset(::CreateMutexW(nullptr, FALSE, kKeyMutex));
        ASSERT_TRUE(m_lock.IsValid());
        DWORD wait = ::WaitForSingleObject(m_lock.Get(), 60000);
        ASSERT_TRUE(wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED);
        m_locked = true;

        HKEY key = nullptr;
        m_keyExisted =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (m_keyExisted)
        {
            CRegKey owner(key);
            DWORD type = 0, size = 0;
            if (::RegQueryValueExW(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS)
            {
                SavedValue saved;
                saved.type = type;
                saved.data.resize(size);
                if (::RegQueryValueExW(key, kValue, nullptr, &saved.type,
                                       saved.data.empty() ? nullptr : saved.data.data(),
                                       &size) == ERROR_SUCCESS)
                {
                    saved.data.resize(size);
                    m_saved = saved;
                }
            }
        }
        ASSERT_FALSE(m_dir.Path().empty());
    }

    void TearDown() override
    {
        if (!m_locked)
            return;
        if (!m_keyExisted)
        {
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey);
        }
        else
        {
            HKEY key = nullptr;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS)
            {
                CRegKey owner(key);
                if (m_saved)
                    ::RegSetValueExW(key, kValue, 0, m_saved->type, m_saved->data.data(),
                                     static_cast<DWORD>(m_saved->data.size()));
                else
                    ::RegDeleteValueW(key, kValue);
            }
        }
        ::ReleaseMutex(m_lock.Get());
    }

    static void RemoveKey() { ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kKey); }

    // The key present, with "Path" of `type` holding `text` and its NUL, or without "Path".
    static void SetKey(std::optional<std::wstring> text, DWORD type = REG_SZ)
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        CRegKey owner(key);
        if (text)
        {
            ASSERT_EQ(::RegSetValueExW(key, kValue, 0, type,
                                       reinterpret_cast<const BYTE*>(text->c_str()),
                                       static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t))),
                      ERROR_SUCCESS);
        }
        else
        {
            ::RegDeleteValueW(key, kValue);
        }
    }

    // Creates the folder `path` (one level) and, inside it, Pellix.exe as a file or a folder.
    static void MakeInstall(const std::wstring& path, bool exeAsFolder = false)
    {
        ::CreateDirectoryW(path.c_str(), nullptr);
        const std::wstring exe = path + L"\\Pellix.exe";
        if (exeAsFolder)
        {
            ASSERT_TRUE(::CreateDirectoryW(exe.c_str(), nullptr));
            return;
        }
        QV::CFileHandle file(::CreateFileW(exe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.IsValid());
    }

    CKernelHandle m_lock;
    bool m_locked = false;
    bool m_keyExisted = false;
    std::optional<SavedValue> m_saved;
    CTempDir m_dir;
};

TEST_F(InstalledProbeRegistry, PresentMissingAndFileStates)
{
    const std::wstring install = m_dir.File(L"Pellix");
    MakeInstall(install);

    SetKey(install);
    EXPECT_TRUE(QV::IsProductInstalled()) << "key, value and file present";

    SetKey(m_dir.Path());
    EXPECT_FALSE(QV::IsProductInstalled()) << "folder without Pellix.exe";

    SetKey(std::nullopt);
    EXPECT_FALSE(QV::IsProductInstalled()) << "key present, value missing";

    RemoveKey();
    EXPECT_FALSE(QV::IsProductInstalled()) << "key missing";
}

// 258 bytes (128 characters and the NUL) are read; 260 bytes are refused although the folder and
// its Pellix.exe exist.
TEST_F(InstalledProbeRegistry, SizeLimitIs260Bytes)
{
    for (size_t bytes : {size_t{258}, size_t{260}})
    {
        const size_t chars = bytes / sizeof(wchar_t) - 1;
        std::wstring folder = m_dir.Path() + L"\\";
        ASSERT_LT(folder.size(), chars);
        folder.append(chars - folder.size(), bytes == 258 ? L'a' : L'b');
        ASSERT_EQ((folder.size() + 1) * sizeof(wchar_t), bytes);
        MakeInstall(folder);
        SetKey(folder);
        EXPECT_EQ(QV::IsProductInstalled(), bytes == 258) << bytes << " bytes";
    }
}

TEST_F(InstalledProbeRegistry, PathIsUsedExactlyAsStored)
{
    // A trailing backslash gives a doubled separator, which the file system accepts.
    MakeInstall(m_dir.Path());
    SetKey(m_dir.Path() + L"\\");
    EXPECT_TRUE(QV::IsProductInstalled()) << "trailing backslash";

    // An environment reference is not expanded: the expanded folder has Pellix.exe, but the
    // probe tests the literal text...
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH), 0u);
    const std::wstring leaf = m_dir.Path().substr(m_dir.Path().find_last_of(L'\\') + 1);
    const std::wstring expanded = std::wstring(temp) + L"\\" + leaf;
    ASSERT_NE(::GetFileAttributesW((expanded + L"\\Pellix.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    SetKey(L"%TEMP%\\" + leaf, REG_EXPAND_SZ);
    EXPECT_FALSE(QV::IsProductInstalled()) << "expandable string expanded";

    // ...which finds a folder literally named %TEMP%.
    MakeInstall(m_dir.File(L"%TEMP%"));
    SetKey(m_dir.File(L"%TEMP%"), REG_EXPAND_SZ);
    EXPECT_TRUE(QV::IsProductInstalled()) << "expandable string taken literally";
}

TEST_F(InstalledProbeRegistry, DirectoryNamedPellixExeCounts)
{
    const std::wstring install = m_dir.File(L"AsFolder");
    MakeInstall(install, true);
    SetKey(install);
    EXPECT_TRUE(QV::IsProductInstalled());
}

} // namespace
