#include "engine/setup_downloader_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

using QV::ChooseTempDir;
using QV::CreateLocalFile;
using QV::LocalFileNameFromUrl;
using QV::MakeRequestUrl;
using QV::QVQueryRandom;

TEST(LocalFileNameFromUrl, NamesEndingInExeOnly)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"http://h/dir/QuorvinSetup.exe?123.456", L"QuorvinSetup.exe"},
        {L"http://h/dir/Name.EXE?1.2", L"Name.EXE"},
        {L"http://h/dir/Name.ExE", L"Name.ExE"},
        {L"http://h/dir/.exe?1.2", L".exe"},
        {L"http://h/dir/?1.2", L""},
        {L"http://h/dir/", L""},
        {L"http://h/a.e?1.2", L""},
        {L"http://h/setup.msi?1.2", L""},
        {L"http://h/setup.exe.txt?1.2", L""},
        // The query goes from the last question mark: an earlier one stays in the name (which
        // the system then refuses to create, so the next choice is taken).
        {L"http://h/get?x=a.exe?1.2", L"get?x=a.exe"},
        {L"http://h/get?f=/b.exe?1.2", L"b.exe"},
        {L"Name.exe", L"Name.exe"},
        {L"", L""},
    };
    for (const auto& [url, name] : cases)
        EXPECT_EQ(LocalFileNameFromUrl(url), name) << testing::PrintToString(url);
}

TEST(MakeRequestUrl, SecondValueFirst)
{
    EXPECT_EQ(MakeRequestUrl(L"http://h/a.exe", 1, 32767), L"http://h/a.exe?32767.1");
    EXPECT_EQ(MakeRequestUrl(L"http://h/a.exe?x=1", 0, 5), L"http://h/a.exe?x=1?5.0");
    EXPECT_EQ(MakeRequestUrl(L"http://h/安装.exe", 2, 3), L"http://h/安装.exe?3.2");
}

TEST(QueryRandom, FifteenBitValuesThatDependOnTheSeed)
{
    QVQueryRandom a(1700000000), b(1700000000), c(1700000001);
    std::set<int> seen;
    bool differs = false;
    for (int i = 0; i < 1000; ++i)
    {
        int x = a.Next();
        ASSERT_GE(x, 0);
        ASSERT_LE(x, 32767);
        EXPECT_EQ(x, b.Next());
        differs = differs || x != c.Next();
        seen.insert(x);
    }
    EXPECT_TRUE(differs);
    EXPECT_GT(seen.size(), 900u);
}

struct TempDirCase
{
    const wchar_t* temp;
    uint32_t tempResult;
    const wchar_t* longPath;
    uint32_t longResult;
    const wchar_t* expected;
};

TEST(ChooseTempDir, BufferLimitsAndTrailingBackslash)
{
    const std::wstring long520 = L"C:\\" + std::wstring(517, L'x');
    const std::wstring long521 = long520 + L"y";
    const TempDirCase cases[] = {
        {L"C:\\Users\\A~1\\Temp\\", 18, L"C:\\Users\\Alice\\Temp\\", 20,
         L"C:\\Users\\Alice\\Temp\\"},
        {L"C:\\Temp", 7, L"C:\\Temp", 7, L"C:\\Temp\\"},
        {L"C:\\T\\", 5, L"", 0, L"C:\\T\\"},                 // long form failed: short one
        {L"C:\\T\\", 5, long521.c_str(), 521, L"C:\\T\\"},   // long form too long
        {L"C:\\T\\", 5, long520.c_str(), 520, nullptr},      // 520 is still taken
        {L"C:\\T\\", 5, L"D:\\Long\\xyz", 7, L"D:\\Long\\"}, // cut at the answered length
        {L"", 0, L"", 0, L"C:\\"},
        {L"C:\\T\\", 261, L"C:\\T\\", 5, L"C:\\"},
        {L"C:\\T\\", 260, L"", 0, L"C:\\T\\"},
    };
    for (const TempDirCase& c : cases)
    {
        std::wstring expected = c.expected != nullptr ? c.expected : long520 + L"\\";
        EXPECT_EQ(ChooseTempDir(c.temp, c.tempResult, c.longPath, c.longResult), expected)
            << testing::PrintToString(c.temp) << " " << c.tempResult << " " << c.longResult;
    }
}

// A file system in memory: files that cannot be deleted, paths where creation fails, and an
// optional failure of the temporary-name call; it logs every operation.
class FakeFiles : public QV::ILocalFiles
{
public:
    bool Exists(const std::wstring& path) override
    {
        log.push_back(L"exists " + path);
        return files.count(path) != 0;
    }
    void Delete(const std::wstring& path) override
    {
        log.push_back(L"delete " + path);
        if (undeletable.count(path) == 0)
            files.erase(path);
    }
    bool CreateNew(const std::wstring& path) override
    {
        log.push_back(L"create " + path);
        if (files.count(path) != 0 || uncreatable.count(path) != 0)
            return false;
        files.insert(path);
        return true;
    }
    std::wstring TempFileName(const std::wstring& dir) override
    {
        log.push_back(L"tempname " + dir);
        return tempNameFails ? std::wstring() : dir + L"ST1.TMP";
    }

    std::set<std::wstring> files, undeletable, uncreatable;
    bool tempNameFails = false;
    std::vector<std::wstring> log;
};

const std::wstring kDir = L"C:\\Tmp\\";

struct ChoiceCase
{
    const char* name;
    const wchar_t* url;
    std::set<std::wstring> files, undeletable, uncreatable;
    bool tempNameFails;
    const wchar_t* previous;
    const wchar_t* expected; // empty: no file
};

TEST(CreateLocalFile, ThreeChoicesWithDeleteThenCreateNew)
{
    const std::wstring name = kDir + L"Q.exe", setup = kDir + L"Setup.exe",
                       st1 = kDir + L"ST1_Setup.exe", old = kDir + L"Old.exe";
    const ChoiceCase cases[] = {
        {"name from the address", L"http://h/Q.exe?1.2", {}, {}, {}, false, L"", L"C:\\Tmp\\Q.exe"},
        {"existing name replaced",
         L"http://h/Q.exe?1.2",
         {name},
         {},
         {},
         false,
         L"",
         L"C:\\Tmp\\Q.exe"},
        {"no usable name", L"http://h/dir/?1.2", {}, {}, {}, false, L"", L"C:\\Tmp\\Setup.exe"},
        {"name locked: Setup.exe",
         L"http://h/Q.exe?1.2",
         {name},
         {name},
         {},
         false,
         L"",
         L"C:\\Tmp\\Setup.exe"},
        {"name not creatable: Setup.exe",
         L"http://h/Q.exe?1.2",
         {},
         {},
         {name},
         false,
         L"",
         L"C:\\Tmp\\Setup.exe"},
        {"Setup.exe locked: ST1_Setup.exe",
         L"http://h/x?1.2",
         {setup},
         {setup},
         {},
         false,
         L"",
         L"C:\\Tmp\\ST1_Setup.exe"},
        {"existing ST1_Setup.exe replaced",
         L"http://h/x?1.2",
         {setup, st1},
         {setup},
         {},
         false,
         L"",
         L"C:\\Tmp\\ST1_Setup.exe"},
        {"Setup.exe not creatable: no third choice",
         L"http://h/x?1.2",
         {},
         {},
         {setup},
         false,
         L"",
         L""},
        {"ST1_Setup.exe locked too",
         L"http://h/x?1.2",
         {setup, st1},
         {setup, st1},
         {},
         false,
         L"",
         L""},
        // Never a bare relative "Setup.exe" in the current directory.
        {"no temporary name", L"http://h/x?1.2", {setup}, {setup}, {}, true, L"", L""},
    };
    for (const ChoiceCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeFiles fs;
        fs.files = c.files;
        fs.undeletable = c.undeletable;
        fs.uncreatable = c.uncreatable;
        fs.tempNameFails = c.tempNameFails;
        std::wstring path = CreateLocalFile(fs, kDir, c.url, c.previous);
        EXPECT_EQ(path, c.expected);
        // Every creation came after the path was made free.
        for (size_t i = 0; i < fs.log.size(); ++i)
        {
            if (fs.log[i].rfind(L"create ", 0) != 0)
                continue;
            std::wstring target = fs.log[i].substr(7);
            bool checkedOrDeleted = false;
            for (size_t j = 0; j < i; ++j)
                checkedOrDeleted = checkedOrDeleted || fs.log[j] == L"exists " + target ||
                                   fs.log[j] == L"delete " + target;
            EXPECT_TRUE(checkedOrDeleted) << testing::PrintToString(fs.log[i]);
        }
        if (!path.empty())
        {
            EXPECT_EQ(fs.log.back(), L"create " + path);
            EXPECT_EQ(fs.files.count(path), 1u);
        }
    }
}

TEST(CreateLocalFile, PreviousFileDeletedOnlyBeforeTheThirdChoice)
{
    const std::wstring setup = kDir + L"Setup.exe", old = kDir + L"Old.exe";
    {
        FakeFiles fs;
        fs.files = {old};
        EXPECT_EQ(CreateLocalFile(fs, kDir, L"http://h/x?1.2", old), setup);
        EXPECT_EQ(fs.files.count(old), 1u);
    }
    {
        FakeFiles fs;
        fs.files = {old, setup};
        fs.undeletable = {setup};
        EXPECT_EQ(CreateLocalFile(fs, kDir, L"http://h/x?1.2", old), kDir + L"ST1_Setup.exe");
        EXPECT_EQ(fs.files.count(old), 0u);
    }
}

// Success needs a process that was waited for and said 0; a start without a process handle is a
// failure, since nothing tells whether it installed anything.
TEST(LaunchSucceeded, OnlyAWaitedProcessWithExitCodeZero)
{
    const struct
    {
        const char* name;
        QV::LaunchReport report;
        bool succeeded;
    } cases[] = {
        {"ran and said 0", {true, true, true, 0}, true},
        {"ran and said 3", {true, true, true, 3}, false},
        {"exit code unreadable", {true, true, false, 0}, false},
        {"started without a process handle", {true, false, false, 0}, false},
        {"not started", {false, false, false, 0}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QV::LaunchSucceeded(c.report), c.succeeded) << c.name;
}

} // namespace
