#include "config/version_language.h"

#include "common/format_string.h"

#include <initializer_list>

namespace QV
{

namespace
{
constexpr std::size_t kEntryBytes = 4;

// Reads entry `index` byte by byte: the table comes from inside a resource block and need not be
// aligned for a 16-bit load.
VersionTranslation EntryAt(const unsigned char* table, std::size_t index)
{
    const unsigned char* p = table + index * kEntryBytes;
    VersionTranslation entry;
    entry.language = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    entry.codePage = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
    return entry;
}

template <class Match>
std::optional<VersionTranslation> FirstMatch(const unsigned char* table, std::size_t count,
                                             Match match)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        VersionTranslation entry = EntryAt(table, i);
        if (match(entry.language))
            return entry;
    }
    return std::nullopt;
}
} // namespace

std::optional<VersionTranslation> ChooseVersionTranslation(const void* table, std::size_t bytes,
                                                           std::uint16_t userLanguage)
{
    if (table == nullptr)
        return std::nullopt;
    const std::size_t count = bytes / kEntryBytes;
    if (count == 0)
        return std::nullopt;
    const auto* entries = static_cast<const unsigned char*>(table);
    const unsigned userPrimary = userLanguage & 0xFFu;

    // Each rule is tried over the whole table before the next one.
    const auto rules = {
        +[](unsigned language, unsigned user, unsigned) { return language == user; },
        +[](unsigned language, unsigned, unsigned primary)
        { return (language & 0xFFu) == primary; },
        +[](unsigned language, unsigned, unsigned) { return language == 0x0000u; },
        +[](unsigned language, unsigned, unsigned) { return (language & 0xFFu) == 0x00u; },
        +[](unsigned language, unsigned, unsigned) { return language == 0x0009u; },
        +[](unsigned language, unsigned, unsigned) { return (language & 0xFFu) == 0x09u; },
    };
    for (auto rule : rules)
    {
        auto found = FirstMatch(entries, count,
                                [&](unsigned language)
                                { return rule(language, userLanguage, userPrimary); });
        if (found)
            return found;
    }
    return EntryAt(entries, 0);
}

std::wstring StringTablePrefix(const VersionTranslation& translation)
{
    std::wstring prefix;
    FormatString(prefix, L"\\StringFileInfo\\%04X%04X\\",
                 static_cast<unsigned>(translation.language),
                 static_cast<unsigned>(translation.codePage));
    return prefix;
}

} // namespace QV
