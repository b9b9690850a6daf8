// Fixture of the engine's Wine tests: the loopback server's address, a private temporary
// directory (TMP and TEMP point at it while a test runs) and small file helpers.
#pragma once

#include "common/win32_test_support.h"
#include "engine/http/http_file.h"
#include "engine/private_folder_rules.h"
#include "engine/http/internet_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace QV::test
{

// Byte i of every body the server generates.
inline uint8_t PatternByte(uint64_t i)
{
    return static_cast<uint8_t>(i % 251);
}

inline std::wstring Widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

inline std::string Narrow(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

inline std::vector<uint8_t> ReadWholeFile(const std::wstring& path)
{
    std::vector<uint8_t> data;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    uint8_t buffer[65536];
    DWORD n = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &n, nullptr) && n > 0)
        data.insert(data.end(), buffer, buffer + n);
    CloseHandle(file);
    return data;
}

inline void WriteWholeFile(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(file);
}

inline bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names of the entries of `dir` (ending in a backslash), without "." and "..".
inline std::vector<std::wstring> ListDir(const std::wstring& dir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

class EngineWineTest : public testing::Test
{
protected:
    void SetUp() override
    {
        char port[16] = {};
        ASSERT_GT(GetEnvironmentVariableA("QV_TEST_SERVER_PORT", port, sizeof(port)), 0u)
            << "run through tests/tools/server_launcher.py";
        m_port = port;

        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        m_savedTmp = Env(L"TMP");
        m_savedTemp = Env(L"TEMP");
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::wstring name = Widen(std::string(info->test_suite_name()) + "." + info->name());
        for (wchar_t& c : name)
        {
            if (c == L'/')
                c = L'_';
        }
        m_root = std::wstring(temp) + L"qv-engine-" + name + L"-" +
                 std::to_wstring(GetCurrentProcessId()) + L"\\";
        QV::Test::RemoveTree(m_root);
        CreateDirectoryW(m_root.c_str(), nullptr);
        m_tempDir = m_root + L"tmp\\";
        m_workDir = m_root + L"work\\";
        CreateDirectoryW(m_tempDir.c_str(), nullptr);
        CreateDirectoryW(m_workDir.c_str(), nullptr);
        SetEnvironmentVariableW(L"TMP", m_tempDir.c_str());
        SetEnvironmentVariableW(L"TEMP", m_tempDir.c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"TMP", m_savedTmp.empty() ? nullptr : m_savedTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", m_savedTemp.empty() ? nullptr : m_savedTemp.c_str());
        if (!m_root.empty())
            QV::Test::RemoveTree(m_root);
    }

    static std::wstring Env(const wchar_t* name)
    {
        wchar_t buffer[1024] = {};
        DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
        return (n > 0 && n < 1024) ? std::wstring(buffer, n) : std::wstring();
    }

    // The server's address for `path` (which starts with a slash).
    std::wstring Url(const std::wstring& path) const
    {
        return L"http://127.0.0.1:" + Widen(m_port) + path;
    }

    // GETs `path` from the server with the client under test and answers the body.
    std::string Fetch(const std::wstring& path) const
    {
        QVInternetSession session;
        QVHttpFile request;
        std::string body;
        if (!request.Open(session.GetHandle(), Url(path)) || request.HasErrorStatus())
            return body;
        uint64_t length = request.GetContentLength();
        uint8_t buffer[kTransferBlockSize];
        int empty = 0;
        while (body.size() < length && empty < 100)
        {
            int32_t n = request.ReadChunk(buffer);
            if (n < 0)
                break;
            if (n == 0)
            {
                ++empty;
                Sleep(5);
            }
            body.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        }
        return body;
    }

    // Checks that `dir` is a private folder made in this test's temporary directory: the form of
    // its name, its lock file beside it.
    void ExpectPrivateFolder(const std::wstring& dir) const
    {
        ASSERT_GT(dir.size(), m_tempDir.size());
        ASSERT_EQ(dir.compare(0, m_tempDir.size(), m_tempDir), 0) << Narrow(dir);
        ASSERT_EQ(dir.back(), L'\\');
        const std::wstring name = dir.substr(m_tempDir.size(), dir.size() - m_tempDir.size() - 1);
        EXPECT_TRUE(QV::IsPrivateFolderName(name)) << Narrow(name);
        EXPECT_TRUE(FileExists(m_tempDir + QV::PrivateFolderLockName(name)));
    }

    // The server's request log as JSON text.
    std::string ServerLog() const { return Fetch(L"/__log"); }

    std::string m_port;
    std::wstring m_root, m_tempDir, m_workDir, m_savedTmp, m_savedTemp;
};

} // namespace QV::test
