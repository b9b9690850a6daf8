// The downloader's decisions that need no system: the temporary directory, the request address,
// the local file's name and the order in which local files are tried. Portable.
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// Name of the local file when the address yields no usable one.
inline constexpr wchar_t kDefaultSetupName[] = L"Setup.exe";

// Pseudo-random 15-bit values (0 to 32767) for the request's query. A linear congruential
// generator: the query only has to differ between runs, not to be unpredictable.
class QVQueryRandom
{
public:
    // Seeded with `seed` (the installer passes the calendar time in seconds).
    explicit QVQueryRandom(uint32_t seed) noexcept : m_dwState(seed) {}

    // The next value, 0 to 32767.
    int Next() noexcept;

private:
    uint32_t m_dwState;
};

// The directory for local files, from the system's answers: `tempPath` with `tempResult` (the
// length GetTempPathW answered; used only from 1 to 260), and its long form `longPath` with
// `longResult` (the length GetLongPathNameW answered; used only from 1 to 520, cut there).
// Always ends in a backslash; "C:\" when no temporary directory was usable.
std::wstring ChooseTempDir(const wchar_t* tempPath, uint32_t tempResult, const wchar_t* longPath,
                           uint32_t longResult);

// The request address: `base`, "?", then `second` and `first` in decimal with a dot between.
// The base is used as it is, even when it carries a query already.
std::wstring MakeRequestUrl(const std::wstring& base, int first, int second);

// The file name the address names: the text after the last slash, once the query (from the last
// question mark) is cut off. Empty unless it has at least 4 characters and ends in ".exe" in any
// letter case.
std::wstring LocalFileNameFromUrl(const std::wstring& url);

// The file operations the choice of a local file needs.
class ILocalFiles
{
public:
    virtual bool Exists(const std::wstring& path) = 0;
    // Deletes the file; the result is not needed (Exists tells).
    virtual void Delete(const std::wstring& path) = 0;
    // Creates a new file that must not exist yet, keeping it open for writing; true on success.
    virtual bool CreateNew(const std::wstring& path) = 0;
    // The system's temporary name "ST" with unique number 1 in `dir` (that is dir\ST1.TMP, not
    // created); empty when the system gives none.
    virtual std::wstring TempFileName(const std::wstring& dir) = 0;

protected:
    ~ILocalFiles() = default;
};

// Chooses and creates the local file for `url` in `tempDir` (ending in a backslash), replacing
// a file of the same name: NAME.exe from the address, else Setup.exe, else (only when an existing
// Setup.exe cannot be deleted) ST1_Setup.exe. Before that last choice the file `previousFile`
// (the one created most recently, may be empty) is deleted. Answers the created path, or empty
// when no file could be created; a relative path is never used.
std::wstring CreateLocalFile(ILocalFiles& files, const std::wstring& tempDir,
                             const std::wstring& url, const std::wstring& previousFile);

// How the launch of the setup program went, as the system answered.
struct LaunchReport
{
    bool started = false;      // the process was created
    bool hasProcess = false;   // with a handle to wait on
    bool exitCodeRead = false; // its exit code was read after it ended
    uint32_t exitCode = 0;
};

// True only when the setup program started, was waited for and ended with exit code 0. A start
// without a process handle is a failure: nothing tells whether anything was installed.
bool LaunchSucceeded(const LaunchReport& report);

} // namespace QV
