#include "common/system_library.h"

#include <string>

namespace QV
{

namespace
{
// LOAD_LIBRARY_SEARCH_SYSTEM32 is understood only where SetDefaultDllDirectories exists.
bool HasSearchFlags() noexcept
{
    return ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories") !=
           nullptr;
}
} // namespace

bool RestrictDllSearchPath() noexcept
{
    using Fn = BOOL(WINAPI*)(DWORD);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    return fn != nullptr && fn(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

CSystemLibrary::CSystemLibrary(const wchar_t* name) noexcept
{
    if (HasSearchFlags())
    {
        m_module.Reset(::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        return;
    }
    // Older systems: an absolute path into the system folder, whose own dependencies are then
    // searched from there first.
    wchar_t dir[MAX_PATH + 1] = {};
    UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    try
    {
        std::wstring path(dir, n);
        path += L'\\';
        path += name;
        m_module.Reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    catch (...)
    {
    }
}

} // namespace QV
