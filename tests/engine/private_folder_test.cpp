// The private folder and the start-up sweep on real files: the lock that marks a folder in use,
// removal on every path, and what the sweep removes and keeps.
#include "engine/private_folder_rules.h"
#include "engine/private_folder_win32.h"
#include "engine/wine_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace
{

using namespace QV::test;
using QV::QVPrivateFolder;

class PrivateFolderTest : public EngineWineTest
{
protected:
    // The folder's name (no backslashes) of a path that ends in a backslash.
    std::wstring NameOf(const std::wstring& folder) const
    {
        return folder.substr(m_tempDir.size(), folder.size() - m_tempDir.size() - 1);
    }

    std::wstring LockOf(const std::wstring& folder) const
    {
        return m_tempDir + QV::PrivateFolderLockName(NameOf(folder));
    }

    // The error of opening `path` without any sharing, as a sweep does; 0 when it opened.
    static DWORD ExclusiveOpenError(const std::wstring& path)
    {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return GetLastError();
        CloseHandle(h);
        return 0;
    }

    // A folder of the private form as an ended run leaves it: files, a subfolder, and (when
    // `withLock`) its lock file, held by nobody.
    std::wstring MakeLeftover(const std::wstring& name, bool withLock) const
    {
        const std::wstring folder = m_tempDir + name + L"\\";
        EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        WriteWholeFile(folder + L"QuorvinSetup.exe", "MZ left by a killed run");
        EXPECT_TRUE(CreateDirectoryW((folder + L"sub").c_str(), nullptr));
        WriteWholeFile(folder + L"sub\\written-by-setup.txt", "x");
        if (withLock)
            WriteWholeFile(m_tempDir + QV::PrivateFolderLockName(name), "");
        return folder;
    }

    std::vector<std::wstring> SortedTemp() const
    {
        std::vector<std::wstring> names = ListDir(m_tempDir);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PrivateFolderTest, ANewFolderWithItsLockHeldAndRemovedWithEverythingInIt)
{
    QVPrivateFolder folder(m_tempDir);
    ASSERT_NO_FATAL_FAILURE(ExpectPrivateFolder(folder.Path()));
    EXPECT_TRUE(ListDir(folder.Path()).empty());
    const std::wstring lock = LockOf(folder.Path());
    EXPECT_EQ(ExclusiveOpenError(lock), static_cast<DWORD>(ERROR_SHARING_VIOLATION))
        << "the running installer holds its lock";
    EXPECT_FALSE(DeleteFileW(lock.c_str()));

    WriteWholeFile(folder.Path() + L"Setup.exe", "MZ");
    ASSERT_TRUE(CreateDirectoryW((folder.Path() + L"made-by-setup").c_str(), nullptr));
    WriteWholeFile(folder.Path() + L"made-by-setup\\log.txt", "x");
    SetFileAttributesW((folder.Path() + L"Setup.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    folder.Remove();
    EXPECT_TRUE(folder.Path().empty());
    EXPECT_TRUE(ListDir(m_tempDir).empty());
}

TEST_F(PrivateFolderTest, NoFolderWhereNoneCanBeMade)
{
    QVPrivateFolder folder(m_tempDir + L"missing\\");
    EXPECT_TRUE(folder.Path().empty());
    EXPECT_TRUE(ListDir(m_tempDir).empty()) << "no lock left behind";
}

// A file still in use keeps the folder: the lock stays, released, and a later sweep removes both
// once the file is free.
TEST_F(PrivateFolderTest, WhatCannotGoNowIsLeftForALaterSweep)
{
    std::wstring path, lock;
    HANDLE inUse = INVALID_HANDLE_VALUE;
    {
        QVPrivateFolder folder(m_tempDir);
        path = folder.Path();
        lock = LockOf(path);
        WriteWholeFile(path + L"Setup.exe", "MZ");
        inUse = CreateFileW((path + L"Setup.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(inUse, INVALID_HANDLE_VALUE);
    }
    EXPECT_TRUE(FileExists(path + L"Setup.exe"));
    EXPECT_TRUE(FileExists(lock));
    EXPECT_EQ(ExclusiveOpenError(lock), 0u) << "released with its run";

    QV::SweepPrivateFolders(m_tempDir);
    EXPECT_TRUE(FileExists(lock)) << "kept while the folder cannot be removed";

    CloseHandle(inUse);
    QV::SweepPrivateFolders(m_tempDir);
    EXPECT_TRUE(ListDir(m_tempDir).empty());
}

// The sweep removes what ended runs left (a folder whose lock nobody holds, an empty folder
// without a lock, a lock without its folder) and keeps everything else: a running installer's
// folder, a folder without a lock that is not empty, a lock that is held, other names.
TEST_F(PrivateFolderTest, TheSweepRemovesOnlyWhatEndedRunsLeft)
{
    QVPrivateFolder running(m_tempDir);
    ASSERT_FALSE(running.Path().empty());
    WriteWholeFile(running.Path() + L"QuorvinSetup.exe", "MZ being checked");

    const std::wstring ended = L"qvsetup-00000000000000a1";
    const std::wstring emptyWithoutLock = L"qvsetup-00000000000000a2";
    const std::wstring fullWithoutLock = L"qvsetup-00000000000000a3";
    const std::wstring orphanLock = QV::PrivateFolderLockName(L"qvsetup-00000000000000a4");
    const std::wstring heldOrphanLock = QV::PrivateFolderLockName(L"qvsetup-00000000000000a5");
    MakeLeftover(ended, true);
    ASSERT_TRUE(CreateDirectoryW((m_tempDir + emptyWithoutLock).c_str(), nullptr));
    MakeLeftover(fullWithoutLock, false);
    WriteWholeFile(m_tempDir + orphanLock, "");
    WriteWholeFile(m_tempDir + heldOrphanLock, "");
    HANDLE held = CreateFileW((m_tempDir + heldOrphanLock).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::wstring notOurs[] = {L"qvsetup-short", L"other", L"qvsetup-00000000000000a6.tmp"};
    for (const std::wstring& name : notOurs)
        WriteWholeFile(m_tempDir + name, "someone else's");
    MakeLeftover(L"qvsetup-00000000000000a7x", true);

    QV::SweepPrivateFolders(m_tempDir);
    CloseHandle(held);

    std::vector<std::wstring> expected = {NameOf(running.Path()),
                                          QV::PrivateFolderLockName(NameOf(running.Path())),
                                          fullWithoutLock,
                                          heldOrphanLock,
                                          L"qvsetup-00000000000000a7x",
                                          L"qvsetup-00000000000000a7x.lock"};
    expected.insert(expected.end(), std::begin(notOurs), std::end(notOurs));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(SortedTemp(), expected);
    EXPECT_TRUE(FileExists(running.Path() + L"QuorvinSetup.exe"));
    EXPECT_TRUE(FileExists(m_tempDir + fullWithoutLock + L"\\QuorvinSetup.exe"));

    running.Remove();
    QV::Test::RemoveTree(m_tempDir + fullWithoutLock);
    QV::Test::RemoveTree(m_tempDir + L"qvsetup-00000000000000a7x");
}

// Another process's lock (a second installer, in another session) keeps its folder too.
TEST_F(PrivateFolderTest, ALockHeldByAnotherProcessKeepsItsFolder)
{
    const std::wstring name = L"qvsetup-00000000000000b1";
    const std::wstring folder = MakeLeftover(name, true);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + Widen(QV_TOOL_DIR_FROM_TEST) +
              L"\\file_probe.exe";
    // file_probe holds the lock for 3 s; the sweep runs once it surely has it.
    std::thread holder(
        [&]
        {
            QV::Test::RunProcess(L"\"" + program + L"\" hold \"" + m_tempDir +
                                 QV::PrivateFolderLockName(name) + L"\" 3000");
        });
    const bool heldInTime = [&]
    {
        for (int i = 0; i < 100; ++i)
        {
            if (ExclusiveOpenError(m_tempDir + QV::PrivateFolderLockName(name)) ==
                ERROR_SHARING_VIOLATION)
                return true;
            Sleep(20);
        }
        return false;
    }();
    QV::SweepPrivateFolders(m_tempDir);
    const bool kept = FileExists(folder + L"QuorvinSetup.exe");
    holder.join();
    ASSERT_TRUE(heldInTime);
    EXPECT_TRUE(kept);

    QV::SweepPrivateFolders(m_tempDir);
    EXPECT_TRUE(ListDir(m_tempDir).empty()) << "removed once its holder has ended";
}

} // namespace
