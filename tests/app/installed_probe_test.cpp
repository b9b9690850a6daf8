// The probe's decisions over a stand-in for the registry and the file system.
#include "app/installed_probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace
{

using QV::DecideProductInstalled;

// A registry key with an optional "Path" value of raw bytes, and a set of existing paths. Records
// every call so the tests can see which queries ran and that the key was closed.
class CFakeProbeSystem final : public QV::IInstalledProbeSystem
{
public:
    bool keyOpens = true;
    std::optional<std::vector<std::uint8_t>> value;
    std::uint32_t valueType = 1;
    bool secondQueryFails = false;
    std::vector<std::u16string> existing;

    int opens = 0;
    int closes = 0;
    std::vector<std::uint32_t> queriedSizes; // size passed in, per query
    std::vector<bool> queriedWithBuffer;
    std::vector<std::u16string> tested;

    bool OpenProductKey() override
    {
        ++opens;
        return keyOpens;
    }

    bool QueryPathValue(std::uint32_t& type, void* data, std::uint32_t& size) override
    {
        queriedSizes.push_back(size);
        queriedWithBuffer.push_back(data != nullptr);
        if (!value)
            return false;
        const auto bytes = static_cast<std::uint32_t>(value->size());
        if (data != nullptr)
        {
            if (secondQueryFails || size < bytes)
                return false;
            if (bytes != 0)
                std::memcpy(data, value->data(), bytes);
        }
        type = valueType;
        size = bytes;
        return true;
    }

    void CloseProductKey() override { ++closes; }

    bool ObjectExists(const char16_t* path) override
    {
        tested.emplace_back(path);
        for (const std::u16string& p : existing)
        {
            if (p == path)
                return true;
        }
        return false;
    }
};

// The UTF-16LE bytes of `text`, with its NUL when `terminated`.
std::vector<std::uint8_t> Utf16(const std::u16string& text, bool terminated = true)
{
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text)
    {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminated)
    {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// A folder name whose stored value (with NUL) is exactly `bytes` long (`bytes` even).
std::u16string FolderOfSize(std::size_t bytes)
{
    std::u16string folder = u"C:\\";
    folder.resize(bytes / 2 - 1, u'a');
    return folder;
}

struct ProbeCase
{
    const char* name;
    bool keyOpens;
    std::optional<std::vector<std::uint8_t>> value;
    std::uint32_t valueType;
    bool secondQueryFails;
    std::vector<std::u16string> existing;
    bool expected;
    // The composed path that must have been tested, or nothing when no test may happen.
    std::optional<std::u16string> testedPath;
    int queries;
};

TEST(DecideProductInstalled, DecisionTable)
{
    const std::u16string exe = u"C:\\Program Files\\Pellix\\Pellix.exe";
    const std::u16string folder258 = FolderOfSize(258);
    const std::u16string folder260 = FolderOfSize(260);
    // 259 bytes: 129 whole units without NUL and half a unit, which the zero fill completes.
    std::vector<std::uint8_t> odd259 = Utf16(folder260, false);
    odd259.push_back('b');
    const std::vector<ProbeCase> cases = {
        {"installed", true, Utf16(u"C:\\Program Files\\Pellix"), 1, false, {exe}, true, exe, 2},
        {"key missing", false, std::nullopt, 1, false, {exe}, false, std::nullopt, 0},
        {"value missing", true, std::nullopt, 1, false, {exe}, false, std::nullopt, 1},
        {"folder without Pellix.exe",
         true,
         Utf16(u"C:\\Program Files\\Pellix"),
         1,
         false,
         {},
         false,
         exe,
         2},
        {"second query fails",
         true,
         Utf16(u"C:\\Program Files\\Pellix"),
         1,
         true,
         {exe},
         false,
         std::nullopt,
         2},
        {"258 bytes are read and tested",
         true,
         Utf16(folder258),
         1,
         false,
         {folder258 + u"\\Pellix.exe"},
         true,
         folder258 + u"\\Pellix.exe",
         2},
        {"259 bytes are still below the limit",
         true,
         odd259,
         1,
         false,
         {folder260 + u"b\\Pellix.exe"},
         true,
         folder260 + u"b\\Pellix.exe",
         2},
        {"260 bytes: no second query",
         true,
         Utf16(folder260),
         1,
         false,
         {folder260 + u"\\Pellix.exe"},
         false,
         std::nullopt,
         1},
        {"far too long",
         true,
         Utf16(std::u16string(1000, u'x')),
         1,
         false,
         {},
         false,
         std::nullopt,
         1},
        {"trailing backslash kept: doubled separator",
         true,
         Utf16(u"C:\\Pellix\\"),
         1,
         false,
         {u"C:\\Pellix\\\\Pellix.exe"},
         true,
         u"C:\\Pellix\\\\Pellix.exe",
         2},
        {"expandable string taken literally",
         true,
         Utf16(u"%TEMP%\\Pellix"),
         2,
         false,
         {u"%TEMP%\\Pellix\\Pellix.exe"},
         true,
         u"%TEMP%\\Pellix\\Pellix.exe",
         2},
        {"any value type is read as text",
         true,
         Utf16(u"D:\\P"),
         3,
         false,
         {u"D:\\P\\Pellix.exe"},
         true,
         u"D:\\P\\Pellix.exe",
         2},
        {"stored without NUL",
         true,
         Utf16(u"D:\\P", false),
         1,
         false,
         {u"D:\\P\\Pellix.exe"},
         true,
         u"D:\\P\\Pellix.exe",
         2},
        {"text ends at the first NUL",
         true,
         Utf16(std::u16string(u"D:\\P\0junk", 9)),
         1,
         false,
         {u"D:\\P\\Pellix.exe"},
         true,
         u"D:\\P\\Pellix.exe",
         2},
        {"empty value: the suffix alone",
         true,
         std::vector<std::uint8_t>{},
         1,
         false,
         {u"\\Pellix.exe"},
         true,
         u"\\Pellix.exe",
         2},
        {"no trimming of spaces",
         true,
         Utf16(u"C:\\Pellix "),
         1,
         false,
         {u"C:\\Pellix\\Pellix.exe"},
         false,
         u"C:\\Pellix \\Pellix.exe",
         2},
    };
    for (const ProbeCase& c : cases)
    {
        CFakeProbeSystem system;
        system.keyOpens = c.keyOpens;
        system.value = c.value;
        system.valueType = c.valueType;
        system.secondQueryFails = c.secondQueryFails;
        system.existing = c.existing;

        EXPECT_EQ(DecideProductInstalled(system), c.expected) << c.name;
        EXPECT_EQ(system.opens, 1) << c.name;
        EXPECT_EQ(system.closes, c.keyOpens ? 1 : 0) << c.name;
        ASSERT_EQ(static_cast<int>(system.queriedSizes.size()), c.queries) << c.name;
        if (c.queries >= 1)
        {
            EXPECT_FALSE(system.queriedWithBuffer[0]) << c.name;
            EXPECT_EQ(system.queriedSizes[0], 0u) << c.name;
        }
        if (c.queries == 2)
        {
            EXPECT_TRUE(system.queriedWithBuffer[1]) << c.name;
            EXPECT_EQ(system.queriedSizes[1], c.value->size()) << c.name;
        }
        if (c.testedPath)
        {
            ASSERT_EQ(system.tested.size(), 1u) << c.name;
            EXPECT_EQ(system.tested[0], *c.testedPath) << c.name;
        }
        else
        {
            EXPECT_TRUE(system.tested.empty()) << c.name;
        }
    }
}

} // namespace
