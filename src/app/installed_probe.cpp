#include "app/installed_probe.h"

#include <algorithm>
#include <iterator>

namespace QV
{

bool DecideProductInstalled(IInstalledProbeSystem& system)
{
    if (!system.OpenProductKey())
        return false;

    // The zero fill terminates a value that was stored without its NUL.
    char16_t buffer[kProbeBufferUnits] = {};
    std::uint32_t type = 1; // REG_SZ; whatever the registry reports is accepted
    std::uint32_t size = 0;
    bool found = false;
    if (system.QueryPathValue(type, nullptr, size) && size < kProbeSizeLimitBytes)
        found = system.QueryPathValue(type, buffer, size);
    system.CloseProductKey();
    if (!found)
        return false;

    // The data is shorter than half the buffer: its text ends within the first 130 units, and
    // the suffix still fits after it.
    char16_t* end = std::find(std::begin(buffer), std::end(buffer), u'\0');
    std::copy(std::begin(kProductExeSuffix), std::end(kProductExeSuffix), end);
    return system.ObjectExists(buffer);
}

} // namespace QV
