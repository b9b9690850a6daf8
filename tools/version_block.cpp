#include "version_block.h"

namespace QV::VersionBlock
{

namespace
{
constexpr std::size_t Align4(std::size_t n)
{
    return (n + 3) & ~std::size_t{3};
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v)
{
    out[at] = static_cast<std::uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void AppendU16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    AppendU16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    AppendU16(out, static_cast<std::uint16_t>(v >> 16));
}

std::uint16_t GetU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void PadTo4(std::vector<std::uint8_t>& out)
{
    out.resize(Align4(out.size()), 0);
}

void SerializeNode(const VersionNode& node, std::vector<std::uint8_t>& out)
{
    PadTo4(out);
    const std::size_t start = out.size();
    AppendU16(out, 0);
    const std::uint16_t valueLength =
        static_cast<std::uint16_t>(node.type == 1 ? node.value.size() / 2 : node.value.size());
    AppendU16(out, valueLength);
    AppendU16(out, node.type);
    for (char16_t c : node.key)
        AppendU16(out, static_cast<std::uint16_t>(c));
    AppendU16(out, 0);
    if (!node.value.empty())
    {
        PadTo4(out);
        out.insert(out.end(), node.value.begin(), node.value.end());
    }
    for (const VersionNode& child : node.children)
        SerializeNode(child, out);
    PutU16(out, start, static_cast<std::uint16_t>(out.size() - start));
}

// Parses the node at `offset` of `data` (whose end is `end`); `offset` is relative to the block
// start, so alignment is too.
std::optional<VersionNode> ParseNode(const std::uint8_t* data, std::size_t offset, std::size_t end)
{
    if (offset + 6 > end)
        return std::nullopt;
    const std::size_t length = GetU16(data + offset);
    const std::size_t valueLength = GetU16(data + offset + 2);
    VersionNode node;
    node.type = GetU16(data + offset + 4);
    if (length < 6 || offset + length > end)
        return std::nullopt;
    const std::size_t nodeEnd = offset + length;
    std::size_t pos = offset + 6;
    for (;;)
    {
        if (pos + 2 > nodeEnd)
            return std::nullopt;
        const char16_t c = static_cast<char16_t>(GetU16(data + pos));
        pos += 2;
        if (c == 0)
            break;
        node.key.push_back(c);
    }
    pos = Align4(pos);
    std::size_t valueBytes = node.type == 1 ? valueLength * 2 : valueLength;
    if (pos > nodeEnd)
        pos = nodeEnd;
    if (valueBytes > nodeEnd - pos)
        valueBytes = nodeEnd - pos;
    node.value.assign(data + pos, data + pos + valueBytes);
    pos = Align4(pos + valueBytes);
    while (pos < nodeEnd)
    {
        auto child = ParseNode(data, pos, nodeEnd);
        if (!child)
            return std::nullopt;
        const std::size_t childLength = GetU16(data + pos);
        node.children.push_back(std::move(*child));
        pos = Align4(pos + childLength);
    }
    return node;
}
} // namespace

VersionNode TextNode(std::u16string key, std::u16string_view text)
{
    VersionNode node;
    node.key = std::move(key);
    node.type = 1;
    for (char16_t c : text)
        AppendU16(node.value, static_cast<std::uint16_t>(c));
    AppendU16(node.value, 0);
    return node;
}

VersionNode BinaryNode(std::u16string key, std::vector<std::uint8_t> value)
{
    VersionNode node;
    node.key = std::move(key);
    node.type = 0;
    node.value = std::move(value);
    return node;
}

std::vector<std::uint8_t> FixedInfoBytes(std::uint32_t fileVersionMs, std::uint32_t fileVersionLs,
                                         std::uint32_t productVersionMs,
                                         std::uint32_t productVersionLs, std::uint32_t flagsMask,
                                         std::uint32_t flags, std::uint32_t os,
                                         std::uint32_t fileType, std::uint32_t fileSubtype)
{
    std::vector<std::uint8_t> out;
    for (std::uint32_t v :
         {0xFEEF04BDu, 0x00010000u, fileVersionMs, fileVersionLs, productVersionMs,
          productVersionLs, flagsMask, flags, os, fileType, fileSubtype, 0u, 0u})
        AppendU32(out, v);
    return out;
}

std::vector<std::uint8_t>
TranslationBytes(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& entries)
{
    std::vector<std::uint8_t> out;
    for (const auto& [language, codePage] : entries)
    {
        AppendU16(out, language);
        AppendU16(out, codePage);
    }
    return out;
}

std::vector<std::uint8_t> SerializeVersionBlock(const VersionNode& root)
{
    std::vector<std::uint8_t> out;
    SerializeNode(root, out);
    return out;
}

std::optional<VersionNode> ParseVersionBlock(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < 6)
        return std::nullopt;
    const std::size_t length = GetU16(data);
    if (length > size)
        return std::nullopt;
    return ParseNode(data, 0, length);
}

const VersionNode* FindChild(const VersionNode& node, std::u16string_view key)
{
    for (const VersionNode& child : node.children)
    {
        if (child.key == key)
            return &child;
    }
    return nullptr;
}

VersionNode* FindChild(VersionNode& node, std::u16string_view key)
{
    return const_cast<VersionNode*>(FindChild(static_cast<const VersionNode&>(node), key));
}

std::u16string TextOf(const VersionNode& node)
{
    std::u16string text;
    for (std::size_t i = 0; i + 1 < node.value.size(); i += 2)
    {
        const char16_t c = static_cast<char16_t>(GetU16(node.value.data() + i));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

} // namespace QV::VersionBlock
