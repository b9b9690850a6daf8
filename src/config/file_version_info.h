// Reader of a file's version resource: fixed information and the twelve standard strings of one
// string table chosen by language. The installer reads its download address (PrivateBuild) here.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <string>

namespace QV
{

class QVFileVersionInfo
{
public:
    // Empty: fixed block zero, every string empty.
    QVFileVersionInfo();
    virtual ~QVFileVersionInfo();

    // Reads the version resource of the file at `path` (version.dll from the system folder).
    // True when the resource was read, even if some strings are missing. Starts with Reset, so a
    // failed load leaves the object empty. Throws std::bad_alloc if the block cannot be held.
    bool Load(const std::wstring& path);

    // Zeroes the fixed block and empties every string.
    void Reset();

    // The download address, or an empty string when absent or nothing is loaded.
    std::wstring GetPrivateBuild() const;
};

} // namespace QV

#endif // _WIN32
