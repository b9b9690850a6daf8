// The run's private folder under the temporary directory (see private_folder_rules.h): created
// fresh with a random name, locked for the run's lifetime, removed afterwards; and the sweep that
// removes what killed runs left behind.
#pragma once
#ifdef _WIN32

#include "common/win_handle.h"

#include <string>

namespace QV
{

// One private folder: the folder and its held lock, or nothing when none could be made.
class QVPrivateFolder
{
public:
    // Creates a new folder under `baseDir` (ending in a backslash): its lock file first (new, held
    // without sharing), then the folder (new, so never one that already exists); a name that is
    // taken is given up for another, kPrivateFolderAttempts times at most. Path() is empty when
    // none could be made; nothing is left behind then.
    explicit QVPrivateFolder(const std::wstring& baseDir);
    // Remove().
    ~QVPrivateFolder();
    QVPrivateFolder(const QVPrivateFolder&) = delete;
    QVPrivateFolder& operator=(const QVPrivateFolder&) = delete;

    // The folder, ending in a backslash; empty when there is none.
    const std::wstring& Path() const noexcept { return m_strPath; }

    // Deletes everything in the folder (links are removed, never followed), the folder and then
    // its lock. What cannot go now (a file in use, the folder still a program's working folder)
    // stays behind with its lock file, no longer held, for the sweep of a later start. Path() is
    // empty afterwards.
    void Remove() noexcept;

private:
    std::wstring m_strPath;
    std::wstring m_strLockPath;
    CFileHandle m_hLock;
};

// Removes from `baseDir` (ending in a backslash) the private folders that no running installer
// holds: an ended run's folder with everything in it, an empty folder without a lock, a lock
// without its folder. Anything that cannot be removed now is left for a later sweep.
void SweepPrivateFolders(const std::wstring& baseDir) noexcept;

// The user's temporary directory, where private folders are made, ending in a backslash ("C:\"
// when the system names none, see ChooseTempDir).
std::wstring SystemTempDir();

} // namespace QV

#endif // _WIN32
