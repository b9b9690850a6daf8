#include "app/installed_probe.h"

#include <windows.h>

#include "common/win_handle.h"

namespace QV
{

namespace
{
static_assert(sizeof(wchar_t) == sizeof(char16_t), "registry text is UTF-16");

const wchar_t* Wide(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

class CRegistryProbeSystem final : public IInstalledProbeSystem
{
public:
    bool OpenProductKey() override
    {
        HKEY key = nullptr;
        LONG rc = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kProductKeyPath), 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS)
            return false;
        m_key.Reset(key);
        return m_key.IsValid();
    }

    bool QueryPathValue(std::uint32_t& type, void* data, std::uint32_t& size) override
    {
        DWORD valueType = type;
        DWORD bytes = size;
        LONG rc = ::RegQueryValueExW(m_key.Get(), Wide(kProductPathValue), nullptr, &valueType,
                                     static_cast<BYTE*>(data), &bytes);
        type = valueType;
        size = bytes;
        return rc == ERROR_SUCCESS;
    }

    void CloseProductKey() override { m_key.Reset(); }

    bool ObjectExists(const char16_t* path) override
    {
        return ::GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES;
    }

private:
    CRegKey m_key;
};
} // namespace

bool IsProductInstalled()
{
    CRegistryProbeSystem system;
    return DecideProductInstalled(system);
}

} // namespace QV
