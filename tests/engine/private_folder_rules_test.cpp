// The private folder's name, how a sweep recognises folders and locks of earlier runs, and what it
// does with each.
#include "engine/private_folder_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace
{

using QV::FolderLockState;
using QV::SweepAction;

TEST(PrivateFolderName, PrefixAndSixteenLowerCaseHexDigits)
{
    const std::pair<uint64_t, const wchar_t*> cases[] = {
        {0, L"qvsetup-0000000000000000"},
        {0x0123456789abcdefULL, L"qvsetup-0123456789abcdef"},
        {~0ULL, L"qvsetup-ffffffffffffffff"},
    };
    for (const auto& [random, name] : cases)
    {
        EXPECT_EQ(QV::PrivateFolderName(random), name);
        EXPECT_TRUE(QV::IsPrivateFolderName(name));
    }
}

TEST(PrivateFolderName, OnlyTheExactFormIsRecognised)
{
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"qvsetup-0123456789abcdef", true},
        {L"qvsetup-0123456789ABCDEF", true},
        {L"qvsetup-0123456789abcde", false},
        {L"qvsetup-0123456789abcdef0", false},
        {L"qvsetup-0123456789abcdeg", false},
        {L"QVSETUP-0123456789abcdef", false},
        {L"qvsetup_0123456789abcdef", false},
        {L"qvsetup-0123456789abcdef.lock", false},
        {L"qvsetup-", false},
        {L"", false},
        {L"xqvsetup-0123456789abcdef", false},
    };
    for (const auto& [name, valid] : cases)
        EXPECT_EQ(QV::IsPrivateFolderName(name), valid) << testing::PrintToString(name);
}

TEST(PrivateFolderLock, NameBesideItsFolderAndBack)
{
    EXPECT_EQ(QV::PrivateFolderLockName(L"qvsetup-0123456789abcdef"),
              L"qvsetup-0123456789abcdef.lock");
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"qvsetup-0123456789abcdef.lock", L"qvsetup-0123456789abcdef"},
        {L"qvsetup-0123456789abcdef", L""},
        {L"qvsetup-0123456789abcdef.LOCK", L""},
        {L"qvsetup-0123.lock", L""},
        {L"other.lock", L""},
        {L".lock", L""},
        {L"", L""},
    };
    for (const auto& [name, folder] : cases)
        EXPECT_EQ(QV::FolderOfLockName(name), folder) << testing::PrintToString(name);
}

TEST(PrivateFolderSweep, ActionByLockState)
{
    const struct
    {
        FolderLockState lock;
        SweepAction folder;
        bool deleteOrphanLock;
    } cases[] = {
        {FolderLockState::Held, SweepAction::Keep, false},
        {FolderLockState::Free, SweepAction::RemoveAll, true},
        {FolderLockState::Missing, SweepAction::RemoveIfEmpty, false},
        {FolderLockState::Unknown, SweepAction::Keep, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.lock));
        EXPECT_EQ(QV::DecideFolderSweep(c.lock), c.folder);
        EXPECT_EQ(QV::ShouldDeleteOrphanLock(c.lock), c.deleteOrphanLock);
    }
}

} // namespace
