// The rules of the run's private folder that need no system: its name, how a sweep at start-up
// recognises folders of earlier runs, and what it does with each. Portable.
//
// A run downloads into %TEMP%\qvsetup-<16 hex digits>\ and holds %TEMP%\qvsetup-<same>.lock open
// without sharing for as long as it lives. The lock is created before the folder and removed after
// it, so a lock that nobody holds marks a folder whose run has ended, and a folder without a lock
// was never in use (or is no run's folder at all).
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// Start of every private folder's name.
inline constexpr wchar_t kPrivateFolderPrefix[] = L"qvsetup-";
// What follows a folder's name in the name of its lock file.
inline constexpr wchar_t kPrivateFolderLockSuffix[] = L".lock";
// Names tried before a run gives up on a private folder (each collision takes a new one).
inline constexpr uint32_t kPrivateFolderAttempts = 16;

// The folder name for `random`: the prefix and its 16 hexadecimal digits, lower case.
std::wstring PrivateFolderName(uint64_t random);

// True when `name` has exactly the form PrivateFolderName gives (hex digits in either case).
bool IsPrivateFolderName(const std::wstring& name);

// The lock file's name for the folder `folderName`.
std::wstring PrivateFolderLockName(const std::wstring& folderName);

// The folder name whose lock file is `name`; empty unless `name` is exactly such a lock's name.
std::wstring FolderOfLockName(const std::wstring& name);

// What a sweep learnt when it tried to open a lock file without any sharing.
enum class FolderLockState
{
    Held,    // a sharing violation: a running installer holds it
    Free,    // opened: its run has ended
    Missing, // no such file
    Unknown  // any other failure (access denied, a link, ...)
};

// What a sweep does with a folder of the private form.
enum class SweepAction
{
    Keep,          // in use, or not recognisably ours
    RemoveIfEmpty, // only an empty folder goes (it cannot hold anything of a run)
    RemoveAll      // an ended run's folder: everything in it, the folder, then its lock
};

// The sweep's choice for a folder by the state of its lock.
SweepAction DecideFolderSweep(FolderLockState lock);

// Whether a lock file without its folder is deleted: only when nobody holds it.
bool ShouldDeleteOrphanLock(FolderLockState lock);

} // namespace QV
