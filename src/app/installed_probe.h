// Whether the browser is already installed: the folder its setup program records in the registry,
// and its executable there. The decisions are portable; the registry and the file test are reached
// through IInstalledProbeSystem so that they can be exercised without Windows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace QV
{

// Registry key under HKEY_LOCAL_MACHINE, opened with KEY_READ and no registry-view flag.
inline constexpr char16_t kProductKeyPath[] = u"Software\\PellixExplorer";
// Value holding the browser's installation folder.
inline constexpr char16_t kProductPathValue[] = u"Path";
// Appended to the folder exactly as stored.
inline constexpr char16_t kProductExeSuffix[] = u"\\Pellix.exe";
// The value is read into a zeroed buffer of this many UTF-16 units...
inline constexpr std::size_t kProbeBufferUnits = 260;
// ...and only when its reported size is below this many bytes, so it always leaves the text
// terminated and room for the suffix.
inline constexpr std::uint32_t kProbeSizeLimitBytes = 260;

// The registry and file-system calls the probe makes.
class IInstalledProbeSystem
{
public:
    virtual ~IInstalledProbeSystem() = default;

    // Opens the product key; true only when it is open with a usable (non-null) handle.
    virtual bool OpenProductKey() = 0;
    // Queries the value "Path" of the open key: with `data` null only its size in bytes, else
    // into `data` with `size` bytes of room. `size` is in/out as for RegQueryValueExW; `type`
    // receives the value type. True on success.
    virtual bool QueryPathValue(std::uint32_t& type, void* data, std::uint32_t& size) = 0;
    // Closes the key opened by OpenProductKey.
    virtual void CloseProductKey() = 0;
    // True when any file-system object (file or folder) exists at the NUL-terminated `path`.
    virtual bool ObjectExists(const char16_t* path) = 0;
};

// The probe's decision over `system`: true exactly when the "Path" value could be read (size
// query, size below 260 bytes, second query) and an object exists at its text followed by
// "\Pellix.exe". The value type is not examined and nothing is expanded or trimmed. The key is
// closed whenever it was opened. False on every failure.
bool DecideProductInstalled(IInstalledProbeSystem& system);

#ifdef _WIN32
// The probe over the real registry (HKEY_LOCAL_MACHINE) and file system.
bool IsProductInstalled();
#endif

} // namespace QV
