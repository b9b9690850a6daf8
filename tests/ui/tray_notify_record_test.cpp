#include "ui/tray_notify_record.h"

#include "common/user_texts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace QV
{
namespace
{

struct ShellCall
{
    uint32_t message;
    TrayRecord record;
};

// Records every call and answers from a script (true once the script runs out).
class RecordingShell : public ITrayShell
{
public:
    bool Notify(uint32_t message, const TrayRecord& record) override
    {
        calls.push_back({message, record});
        if (answers.empty())
            return true;
        bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }

    std::vector<ShellCall> calls;
    std::vector<bool> answers;
};

constexpr uintptr_t kOwner = 0x1234;
constexpr uintptr_t kIcon = 0x5678;
constexpr uint32_t kAddFlags = kTrayFlagMessage | kTrayFlagIcon | kTrayFlagTip;

void ExpectIdentity(const TrayRecord& r, uint32_t size)
{
    EXPECT_EQ(r.cbSize, size);
    EXPECT_EQ(r.hWnd, kOwner);
    EXPECT_EQ(r.hIcon, kIcon);
    EXPECT_EQ(r.uID, 104u);
    EXPECT_EQ(r.uCallbackMessage, 0x0464u);
    EXPECT_STREQ(r.szTip, kCaption);
}

struct LevelCase
{
    const char* name;
    std::optional<uint32_t> osMajor;
    std::optional<uint32_t> shellMajor;
    int level;
    uint32_t size;
};

void PrintTo(const LevelCase& c, std::ostream* os)
{
    *os << c.name;
}

class ShellLevelTest : public ::testing::TestWithParam<LevelCase>
{
};

TEST_P(ShellLevelTest, PicksLevelAndRecordSize)
{
    const LevelCase& c = GetParam();
    int level = DecideTrayShellLevel(c.osMajor, c.shellMajor);
    EXPECT_EQ(level, c.level);
    RecordingShell shell;
    QVTrayNotifyRecord record(shell, level);
    EXPECT_EQ(record.RecordSize(), c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShellLevelTest,
    ::testing::Values(LevelCase{"Vista", 6u, std::nullopt, 3, 956},
                      LevelCase{"Win10WithOldShell", 10u, 5u, 3, 956},
                      LevelCase{"XpWithShell6", 5u, 6u, 2, 952},
                      LevelCase{"NoOsVersionShell6", std::nullopt, 6u, 2, 952},
                      LevelCase{"Win2000Shell5", 5u, 5u, 1, 936},
                      LevelCase{"OldSystemShellNotLoaded", 5u, std::nullopt, 0, 152},
                      LevelCase{"Shell4", 4u, 4u, 0, 152},
                      LevelCase{"NothingKnown", std::nullopt, std::nullopt, 0, 152}),
    [](const ::testing::TestParamInfo<LevelCase>& info) { return info.param.name; });

TEST(TrayRecordSizes, OtherPlatformSizesAndClampedLevels)
{
    RecordingShell shell;
    TrayRecordSizes sizes64 = {{168, 952, 968, 976}};
    EXPECT_EQ(QVTrayNotifyRecord(shell, 1, sizes64).RecordSize(), 952u);
    EXPECT_EQ(QVTrayNotifyRecord(shell, 7).RecordSize(), 956u);
    EXPECT_EQ(QVTrayNotifyRecord(shell, -1).RecordSize(), 152u);
}

struct AddCase
{
    const char* name;
    int level;
    bool addAccepted;
    std::vector<uint32_t> messages;
};

void PrintTo(const AddCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayAddTest : public ::testing::TestWithParam<AddCase>
{
};

TEST_P(TrayAddTest, AddsAndAsksForVersionFromLevelOne)
{
    const AddCase& c = GetParam();
    RecordingShell shell;
    shell.answers = {c.addAccepted};
    QVTrayNotifyRecord tray(shell, c.level);
    EXPECT_EQ(tray.Add(kOwner, kCaption, kIcon), c.addAccepted);
    EXPECT_EQ(tray.IsAdded(), c.addAccepted);
    EXPECT_FALSE(tray.IsHidden());
    ASSERT_EQ(shell.calls.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i)
    {
        EXPECT_EQ(shell.calls[i].message, c.messages[i]) << "call " << i;
        EXPECT_EQ(shell.calls[i].record.uFlags, kAddFlags) << "call " << i;
        ExpectIdentity(shell.calls[i].record, kTrayRecordSizes32.level[c.level]);
    }
    EXPECT_EQ(shell.calls[0].record.uTimeoutOrVersion, 0u);
    if (c.messages.size() > 1)
    {
        EXPECT_EQ(shell.calls[1].record.uTimeoutOrVersion, 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayAddTest,
    ::testing::Values(AddCase{"Level0NoVersion", 0, true, {kTrayAdd}},
                      AddCase{"Level1AsksVersion", 1, true, {kTrayAdd, kTraySetVersion}},
                      AddCase{"Level3AsksVersion", 3, true, {kTrayAdd, kTraySetVersion}},
                      AddCase{"RefusedNoVersion", 3, false, {kTrayAdd}}),
    [](const ::testing::TestParamInfo<AddCase>& info) { return info.param.name; });

TEST(TrayAdd, TipIsCutToFieldAndNullIsEmpty)
{
    RecordingShell shell;
    QVTrayNotifyRecord tray(shell, 3);
    std::wstring longTip(200, L'x');
    tray.Add(kOwner, longTip.c_str(), kIcon);
    EXPECT_EQ(std::wstring(shell.calls[0].record.szTip), std::wstring(127, L'x'));

    tray.Add(kOwner, nullptr, kIcon);
    EXPECT_STREQ(shell.calls.back().record.szTip, L"");
}

class TrayFixture : public ::testing::Test
{
protected:
    void AddIcon(int level = 3)
    {
        tray = std::make_unique<QVTrayNotifyRecord>(shell, level);
        ASSERT_TRUE(tray->Add(kOwner, kCaption, kIcon));
        shell.calls.clear();
    }

    RecordingShell shell;
    std::unique_ptr<QVTrayNotifyRecord> tray;
};

TEST_F(TrayFixture, BalloonSendsInfoFields)
{
    AddIcon();
    EXPECT_TRUE(tray->ShowBalloon(kDownloading, kCaption));
    ASSERT_EQ(shell.calls.size(), 1u);
    const ShellCall& call = shell.calls[0];
    EXPECT_EQ(call.message, kTrayModify);
    EXPECT_EQ(call.record.uFlags, 0x10u);
    EXPECT_STREQ(call.record.szInfo, kDownloading);
    EXPECT_STREQ(call.record.szInfoTitle, kCaption);
    EXPECT_EQ(call.record.uTimeoutOrVersion, 3u);
    EXPECT_EQ(call.record.dwInfoFlags, 1u);
    ExpectIdentity(call.record, 956);

    shell.answers = {false};
    EXPECT_FALSE(tray->ShowBalloon(kDownloadComplete, L"t")) << "the shell's refusal is passed on";
    EXPECT_TRUE(tray->IsAdded());
}

TEST_F(TrayFixture, BalloonTextsAreCutToTheirFields)
{
    AddIcon();
    std::wstring text(300, L'中');
    std::wstring title(100, L'题');
    tray->ShowBalloon(text.c_str(), title.c_str());
    EXPECT_EQ(std::wstring(shell.calls[0].record.szInfo), std::wstring(255, L'中'));
    EXPECT_EQ(std::wstring(shell.calls[0].record.szInfoTitle), std::wstring(63, L'题'));

    // A shorter second text must not keep the tail of the first.
    tray->ShowBalloon(kDownloadComplete, L"短");
    EXPECT_STREQ(shell.calls[1].record.szInfo, kDownloadComplete);
    EXPECT_STREQ(shell.calls[1].record.szInfoTitle, L"短");
}

TEST_F(TrayFixture, CutNeverEndsInsideASurrogatePair)
{
    AddIcon();
    // 62 characters, then a surrogate pair across the 63-character limit of the title.
    std::wstring title(62, L'a');
    title += static_cast<wchar_t>(0xD83D);
    title += static_cast<wchar_t>(0xDE00);
    tray->ShowBalloon(L"x", title.c_str());
    EXPECT_EQ(std::wstring(shell.calls[0].record.szInfoTitle), std::wstring(62, L'a'));
}

TEST(TrayBalloon, NothingIsSentBeforeAddOrAfterRemove)
{
    RecordingShell shell;
    QVTrayNotifyRecord tray(shell, 3);
    EXPECT_FALSE(tray.ShowBalloon(kDownloading, L"t"));
    EXPECT_TRUE(shell.calls.empty());

    shell.answers = {false};
    tray.Add(kOwner, L"tip", kIcon);
    shell.calls.clear();
    EXPECT_FALSE(tray.ShowBalloon(L"x", L"t")) << "refused add";
    EXPECT_TRUE(shell.calls.empty());

    tray.AddAgain();
    ASSERT_TRUE(tray.IsAdded());
    EXPECT_TRUE(tray.Remove());
    shell.calls.clear();
    EXPECT_FALSE(tray.ShowBalloon(L"x", L"t"));
    EXPECT_TRUE(shell.calls.empty());
}

struct StateCase
{
    const char* name;
    bool hide;     // HideIcon, else ShowIcon
    bool accepted; // the shell's answer
    bool hiddenBefore;
    bool hiddenAfter;
};

void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayStateTest : public TrayFixture, public ::testing::WithParamInterface<StateCase>
{
};

TEST_P(TrayStateTest, StateFlagFollowsTheShellsAnswer)
{
    const StateCase& c = GetParam();
    AddIcon();
    if (c.hiddenBefore)
    {
        ASSERT_TRUE(tray->Hide());
    }
    shell.calls.clear();
    shell.answers = {c.accepted};
    EXPECT_EQ(c.hide ? tray->Hide() : tray->Show(), c.accepted);
    EXPECT_EQ(tray->IsHidden(), c.hiddenAfter);
    ASSERT_EQ(shell.calls.size(), 1u);
    const TrayRecord& r = shell.calls[0].record;
    EXPECT_EQ(shell.calls[0].message, kTrayModify);
    EXPECT_EQ(r.uFlags, 0x08u);
    EXPECT_EQ(r.dwState, c.hide ? 1u : 0u);
    EXPECT_EQ(r.dwStateMask, 1u);
    ExpectIdentity(r, 956);
}

INSTANTIATE_TEST_SUITE_P(Table, TrayStateTest,
                         ::testing::Values(StateCase{"Hide", true, true, false, true},
                                           StateCase{"HideRefused", true, false, false, false},
                                           StateCase{"Show", false, true, true, false},
                                           StateCase{"ShowRefused", false, false, true, true}),
                         [](const ::testing::TestParamInfo<StateCase>& info)
                         { return info.param.name; });

TEST(TrayState, HideAndShowAskTheShellEvenWhenNotAdded)
{
    RecordingShell shell;
    QVTrayNotifyRecord tray(shell, 3);
    shell.answers = {false, false};
    EXPECT_FALSE(tray.Hide());
    EXPECT_FALSE(tray.Show());
    EXPECT_EQ(shell.calls.size(), 2u);
    EXPECT_FALSE(tray.IsHidden());
}

TEST_F(TrayFixture, RemoveSendsDeleteOnceWithNoFlags)
{
    AddIcon();
    shell.answers = {false};
    EXPECT_FALSE(tray->Remove()) << "the shell's refusal is the result";
    EXPECT_FALSE(tray->IsAdded()) << "but the icon no longer counts as added";
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].message, kTrayDelete);
    EXPECT_EQ(shell.calls[0].record.uFlags, 0u);
    ExpectIdentity(shell.calls[0].record, 956);

    EXPECT_TRUE(tray->Remove());
    EXPECT_EQ(shell.calls.size(), 1u) << "not added: nothing sent";
}

struct ReAddCase
{
    const char* name;
    bool hidden;
    bool added;
    bool reAddAccepted;
    std::vector<uint32_t> messages;
    uint32_t addFlags;
    bool addedAfter;
    bool hiddenAfter;
};

void PrintTo(const ReAddCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayReAddTest : public TrayFixture, public ::testing::WithParamInterface<ReAddCase>
{
};

TEST_P(TrayReAddTest, ReturnsToTheSameState)
{
    const ReAddCase& c = GetParam();
    AddIcon(1);
    if (c.hidden)
    {
        ASSERT_TRUE(tray->Hide());
    }
    if (!c.added)
    {
        ASSERT_TRUE(tray->Remove());
    }
    shell.calls.clear();
    shell.answers =
        c.added ? std::vector<bool>{true, c.reAddAccepted} : std::vector<bool>{c.reAddAccepted};

    tray->AddAgain();

    ASSERT_EQ(shell.calls.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i)
        EXPECT_EQ(shell.calls[i].message, c.messages[i]) << "call " << i;
    size_t addCall = c.added ? 1 : 0;
    ASSERT_EQ(shell.calls[addCall].message, kTrayAdd);
    const TrayRecord& add = shell.calls[addCall].record;
    EXPECT_EQ(add.uFlags, c.addFlags);
    ExpectIdentity(add, 936);
    if (c.addFlags & kTrayFlagState)
    {
        EXPECT_EQ(add.dwState, 1u);
        EXPECT_EQ(add.dwStateMask, 1u);
    }
    if (c.added)
    {
        EXPECT_EQ(shell.calls[0].record.uFlags, 0u) << "delete with no flags";
    }
    if (c.messages.back() == kTraySetVersion)
    {
        EXPECT_EQ(shell.calls.back().record.uTimeoutOrVersion, 3u)
            << "a new shell is asked for version 3 again";
    }
    EXPECT_EQ(tray->IsAdded(), c.addedAfter);
    EXPECT_EQ(tray->IsHidden(), c.hiddenAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayReAddTest,
    ::testing::Values(
        ReAddCase{"Visible",
                  false,
                  true,
                  true,
                  {kTrayDelete, kTrayAdd, kTraySetVersion},
                  0x07,
                  true,
                  false},
        ReAddCase{
            "Hidden", true, true, true, {kTrayDelete, kTrayAdd, kTraySetVersion}, 0x0F, true, true},
        ReAddCase{
            "VisibleRefused", false, true, false, {kTrayDelete, kTrayAdd}, 0x07, false, false},
        ReAddCase{"HiddenRefused", true, true, false, {kTrayDelete, kTrayAdd}, 0x0F, false, true},
        ReAddCase{"NotAddedNoDelete",
                  false,
                  false,
                  true,
                  {kTrayAdd, kTraySetVersion},
                  0x07,
                  true,
                  false}),
    [](const ::testing::TestParamInfo<ReAddCase>& info) { return info.param.name; });

TEST_F(TrayFixture, ReAddedIconKeepsWorking)
{
    AddIcon();
    tray->AddAgain();
    shell.calls.clear();
    EXPECT_TRUE(tray->ShowBalloon(kDownloadComplete, L"t"));
    EXPECT_TRUE(tray->Hide());
    EXPECT_TRUE(tray->Remove());
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[2].message, kTrayDelete);
}

// Balloons from a second thread and state changes from this one: the lock must keep every
// record that reaches the shell consistent with the operation that sent it.
class CheckingShell : public ITrayShell
{
public:
    bool Notify(uint32_t message, const TrayRecord& r) override
    {
        int inside = ++m_nInside;
        std::this_thread::yield();
        bool ok = inside == 1;
        if (message == kTrayModify && r.uFlags == kTrayFlagInfo)
            ok = ok && std::wcscmp(r.szInfo, L"balloon") == 0 && r.dwInfoFlags == 1;
        else if (message == kTrayModify)
            ok = ok && r.uFlags == kTrayFlagState && r.dwStateMask == 1;
        if (!ok)
            ++m_nBroken;
        --m_nInside;
        return true;
    }

    std::atomic<int> m_nInside{0};
    std::atomic<int> m_nBroken{0};
};

TEST(TrayConcurrency, BalloonsAndStateChangesNeverInterleave)
{
    CheckingShell shell;
    QVTrayNotifyRecord tray(shell, 3);
    ASSERT_TRUE(tray.Add(kOwner, L"tip", kIcon));
    std::thread worker(
        [&]
        {
            for (int i = 0; i < 2000; ++i)
                tray.ShowBalloon(L"balloon", L"title");
        });
    for (int i = 0; i < 2000; ++i)
    {
        tray.Hide();
        tray.Show();
    }
    worker.join();
    EXPECT_EQ(shell.m_nBroken.load(), 0);
}

struct ClickCase
{
    const char* name;
    uint64_t id;
    uint64_t mouse;
    TrayClickAction action;
};

void PrintTo(const ClickCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayClickTest : public ::testing::TestWithParam<ClickCase>
{
};

TEST_P(TrayClickTest, OnlyRightButtonUpOnOurIconOpensTheMenu)
{
    EXPECT_EQ(DecideTrayClick(GetParam().id, GetParam().mouse), GetParam().action);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayClickTest,
    ::testing::Values(ClickCase{"RightUp", kTrayIconId, 0x0205, TrayClickAction::OpenMenu},
                      ClickCase{"LeftUp", kTrayIconId, 0x0202, TrayClickAction::Ignore},
                      ClickCase{"MouseMove", kTrayIconId, 0x0200, TrayClickAction::Ignore},
                      ClickCase{"RightDown", kTrayIconId, 0x0204, TrayClickAction::Ignore},
                      ClickCase{"ContextMenuMessage", kTrayIconId, 0x007B, TrayClickAction::Ignore},
                      ClickCase{"OtherIdRightUp", kTrayIconId + 1, 0x0205,
                                TrayClickAction::NotOurs},
                      ClickCase{"ZeroIdRightUp", 0, 0x0205, TrayClickAction::NotOurs},
                      ClickCase{"HighBitsInId", (uint64_t{1} << 32) | kTrayIconId, 0x0205,
                                TrayClickAction::NotOurs}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return info.param.name; });

struct LateAddCase
{
    const char* name;
    int level;
    std::optional<bool> addedBy; // the shell's answer to Add; nullopt: Add never called
    std::vector<bool> answers;   // the shell's answers to the late call
    std::vector<uint32_t> messages;
    bool result;
};

void PrintTo(const LateAddCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayLateAddTest : public ::testing::TestWithParam<LateAddCase>
{
};

TEST_P(TrayLateAddTest, AddsOnlyAnIconTheShellDoesNotHave)
{
    const LateAddCase& c = GetParam();
    RecordingShell shell;
    QVTrayNotifyRecord tray(shell, c.level);
    if (c.addedBy)
    {
        shell.answers = {*c.addedBy};
        tray.Add(kOwner, kCaption, kIcon);
    }
    shell.calls.clear();
    shell.answers = c.answers;

    EXPECT_EQ(tray.AddIfMissing(), c.result);

    ASSERT_EQ(shell.calls.size(), c.messages.size());
    for (size_t i = 0; i < c.messages.size(); ++i)
    {
        EXPECT_EQ(shell.calls[i].message, c.messages[i]) << "call " << i;
        ExpectIdentity(shell.calls[i].record, kTrayRecordSizes32.level[c.level]);
        if (c.messages[i] != kTraySetVersion)
        {
            EXPECT_EQ(shell.calls[i].record.uFlags, kAddFlags) << "call " << i;
        }
        else
        {
            EXPECT_EQ(shell.calls[i].record.uTimeoutOrVersion, 3u);
        }
    }
    EXPECT_EQ(tray.IsAdded(), c.result || (c.addedBy && *c.addedBy));
    shell.calls.clear();
    EXPECT_EQ(tray.ShowBalloon(kDownloading, kCaption), tray.IsAdded())
        << "the current status can be shown once the icon is there";
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayLateAddTest,
    ::testing::Values(
        LateAddCase{"TaskbarUpNow",
                    3,
                    false,
                    {false, true},
                    {kTrayModify, kTrayAdd, kTraySetVersion},
                    true},
        LateAddCase{
            "TimedOutAddArrivedAfterAll", 3, false, {true}, {kTrayModify, kTraySetVersion}, true},
        LateAddCase{"StillNoTaskbar", 3, false, {false, false}, {kTrayModify, kTrayAdd}, false},
        LateAddCase{"OldShellNoVersion", 0, false, {false, true}, {kTrayModify, kTrayAdd}, true},
        LateAddCase{"AlreadyAdded", 3, true, {}, {}, false},
        LateAddCase{"NeverGivenAnOwner", 3, std::nullopt, {}, {}, false}),
    [](const ::testing::TestParamInfo<LateAddCase>& info) { return info.param.name; });

struct NoticeCase
{
    const char* name;
    uint64_t mouse;
    TrayNotice notice;
};

void PrintTo(const NoticeCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrayNoticeTest : public ::testing::TestWithParam<NoticeCase>
{
};

TEST_P(TrayNoticeTest, ReadsTheCallbackMessage)
{
    EXPECT_EQ(ClassifyTrayNotice(GetParam().mouse), GetParam().notice);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrayNoticeTest,
    ::testing::Values(NoticeCase{"LeftUp", 0x0202, TrayNotice::Activated},
                      NoticeCase{"LeftDoubleClick", 0x0203, TrayNotice::Activated},
                      NoticeCase{"Select", 0x0400, TrayNotice::Activated},
                      NoticeCase{"KeySelect", 0x0401, TrayNotice::Activated},
                      NoticeCase{"BalloonShow", 0x0402, TrayNotice::BalloonShown},
                      NoticeCase{"BalloonHide", 0x0403, TrayNotice::Other},
                      NoticeCase{"BalloonTimeout", 0x0404, TrayNotice::BalloonClosed},
                      NoticeCase{"BalloonUserClick", 0x0405, TrayNotice::BalloonClicked},
                      NoticeCase{"LeftDown", 0x0201, TrayNotice::Other},
                      NoticeCase{"RightUp", 0x0205, TrayNotice::Other},
                      NoticeCase{"MouseMove", 0x0200, TrayNotice::Other},
                      NoticeCase{"HighBitsSet", (uint64_t{1} << 32) | 0x0405, TrayNotice::Other}),
    [](const ::testing::TestParamInfo<NoticeCase>& info) { return info.param.name; });

} // namespace
} // namespace QV
