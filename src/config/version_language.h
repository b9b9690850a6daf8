// Choice of the string table of a version resource from its translation table, and the query
// prefix of that table. Portable: it sees only the raw bytes of "\VarFileInfo\Translation".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace QV
{

// One translation entry: a language identifier and a code page.
struct VersionTranslation
{
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;

    friend bool operator==(const VersionTranslation&, const VersionTranslation&) = default;
};

// Picks the entry of a translation table for a user whose default language is `userLanguage`.
// `table` holds `bytes` bytes of 4-byte entries (little-endian language, then code page); only
// whole entries inside those bytes are read, a trailing partial entry is ignored. The first rule
// that finds an entry wins, and within a rule the first entry in table order: the user language;
// the same low byte as the user language; language 0, then low byte 0; language 9, then low byte 9
// (English); the first entry. Answers nothing for a null table or one without a whole entry.
std::optional<VersionTranslation> ChooseVersionTranslation(const void* table, std::size_t bytes,
                                                           std::uint16_t userLanguage);

// String tables tried, in this order, when a version resource has no translation entry at all:
// U.S. English in UTF-16, then U.S. English in the Windows Latin-1 code page (the two tables
// resource compilers write by default). The reader takes the first of them that holds any of the
// keys the reader keeps, and reads no strings when neither does.
inline constexpr VersionTranslation kFallbackTranslations[] = {{0x0409, 0x04B0}, {0x0409, 0x04E4}};

// The query prefix of the string table of `translation`: "\StringFileInfo\LLLLCCCC\" with the
// language and code page as four upper-case hexadecimal digits each.
std::wstring StringTablePrefix(const VersionTranslation& translation);

} // namespace QV
