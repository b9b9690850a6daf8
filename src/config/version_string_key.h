// The twelve standard strings of a version resource, in the order in which the reader stores and
// queries them.
#pragma once

#include <cstddef>

namespace QV
{

enum class VersionStringKey
{
    CompanyName,
    FileDescription,
    FileVersion,
    InternalName,
    LegalCopyright,
    OriginalFileName,
    ProductName,
    ProductVersion,
    Comments,
    LegalTrademarks,
    PrivateBuild,
    SpecialBuild,
};

// Number of keys; every VersionStringKey value is below it.
inline constexpr std::size_t kVersionStringKeyCount = 12;

// The key texts as queried in a string table, indexed by VersionStringKey. "OriginalFileName" is
// spelt with a capital N on purpose: that is the text looked up.
inline constexpr const wchar_t* kVersionStringKeyNames[kVersionStringKeyCount] = {
    L"CompanyName",    L"FileDescription",  L"FileVersion",  L"InternalName",
    L"LegalCopyright", L"OriginalFileName", L"ProductName",  L"ProductVersion",
    L"Comments",       L"LegalTrademarks",  L"PrivateBuild", L"SpecialBuild",
};

// The key text of `key`.
constexpr const wchar_t* VersionStringKeyName(VersionStringKey key)
{
    return kVersionStringKeyNames[static_cast<std::size_t>(key)];
}

} // namespace QV
