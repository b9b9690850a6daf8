#include "engine/private_folder_rules.h"

namespace QV
{

namespace
{
constexpr size_t kHexDigits = 16;

bool IsHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}
} // namespace

std::wstring PrivateFolderName(uint64_t random)
{
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring name = kPrivateFolderPrefix;
    for (int shift = 60; shift >= 0; shift -= 4)
        name += kDigits[(random >> shift) & 0xF];
    return name;
}

bool IsPrivateFolderName(const std::wstring& name)
{
    const std::wstring prefix = kPrivateFolderPrefix;
    if (name.size() != prefix.size() + kHexDigits || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
    {
        if (!IsHexDigit(name[i]))
            return false;
    }
    return true;
}

std::wstring PrivateFolderLockName(const std::wstring& folderName)
{
    return folderName + kPrivateFolderLockSuffix;
}

std::wstring FolderOfLockName(const std::wstring& name)
{
    const std::wstring suffix = kPrivateFolderLockSuffix;
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::wstring();
    std::wstring folder = name.substr(0, name.size() - suffix.size());
    return IsPrivateFolderName(folder) ? folder : std::wstring();
}

SweepAction DecideFolderSweep(FolderLockState lock)
{
    switch (lock)
    {
    case FolderLockState::Free:
        return SweepAction::RemoveAll;
    case FolderLockState::Missing:
        return SweepAction::RemoveIfEmpty;
    case FolderLockState::Held:
    case FolderLockState::Unknown:
        break;
    }
    return SweepAction::Keep;
}

bool ShouldDeleteOrphanLock(FolderLockState lock)
{
    return lock == FolderLockState::Free;
}

} // namespace QV
