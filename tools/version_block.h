// Builder and parser of the version-resource block format (VS_VERSIONINFO and its children): the
// stamp tool rewrites an installer's strings with it, and the tests craft odd blocks and read back
// what a resource compiler wrote. Portable: texts are UTF-16 (char16_t) whatever the platform's
// wchar_t.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace QV::VersionBlock
{

// One node: a key, a value (text or binary) and child nodes.
struct VersionNode
{
    std::u16string key;
    // 1 for a text value (its length is counted in UTF-16 units), 0 for a binary one (in bytes).
    std::uint16_t type = 0;
    // The raw value bytes; a text value holds its UTF-16LE units including the terminating NUL.
    std::vector<std::uint8_t> value;
    std::vector<VersionNode> children;
};

// A text node `key` = `text` (NUL-terminated in the block).
VersionNode TextNode(std::u16string key, std::u16string_view text);

// A binary node with `value` as its bytes.
VersionNode BinaryNode(std::u16string key, std::vector<std::uint8_t> value);

// The fixed-information record (52 bytes) with the given fields; signature and structure version
// are the standard ones.
std::vector<std::uint8_t> FixedInfoBytes(std::uint32_t fileVersionMs, std::uint32_t fileVersionLs,
                                         std::uint32_t productVersionMs,
                                         std::uint32_t productVersionLs, std::uint32_t flagsMask,
                                         std::uint32_t flags, std::uint32_t os,
                                         std::uint32_t fileType, std::uint32_t fileSubtype);

// Translation entries as stored in "\VarFileInfo\Translation": language then code page.
std::vector<std::uint8_t>
TranslationBytes(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& entries);

// The block of `root` with every node 32-bit aligned relative to the block's start; each node's
// length covers its own data and children, without padding after its last byte.
std::vector<std::uint8_t> SerializeVersionBlock(const VersionNode& root);

// The tree of the block in `data` (at most `size` bytes, read up to the root's own length).
// Nothing when a length points outside its parent or a key is not terminated.
std::optional<VersionNode> ParseVersionBlock(const std::uint8_t* data, std::size_t size);

// The first child of `node` named `key`, or null.
const VersionNode* FindChild(const VersionNode& node, std::u16string_view key);
VersionNode* FindChild(VersionNode& node, std::u16string_view key);

// The text of a text node up to its first NUL.
std::u16string TextOf(const VersionNode& node);

} // namespace QV::VersionBlock
