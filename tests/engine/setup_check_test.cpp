// The check before the launch over a scripted file: which facts it asks for, and its verdict for
// each combination of what the build requires and what the file is.
#include "engine/setup_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace
{

using QV::CheckSetupProgram;
using QV::ParseSha256;
using QV::SetupCheckResult;
using QV::SetupTrust;
using QV::Sha256Digest;

// SHA-256 of "abc".
const wchar_t kAbcHex[] = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const Sha256Digest kAbc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                           0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                           0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
    {
        if (c >= L'a' && c <= L'f')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return text;
}

TEST(ParseSha256, SixtyFourHexDigitsOnly)
{
    struct Case
    {
        const char* name;
        std::wstring text;
        bool valid;
    };
    const std::wstring hex = kAbcHex;
    const Case cases[] = {
        {"lower case", hex, true},
        {"upper case", Upper(hex), true},
        {"one digit short", hex.substr(1), false},
        {"one digit more", hex + L"0", false},
        {"empty", L"", false},
        {"a space inside", hex.substr(0, 63) + L" ", false},
        {"a non-hex letter", L"g" + hex.substr(1), false},
        {"a leading 0x", L"0x" + hex.substr(2), false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::optional<Sha256Digest> digest = ParseSha256(c.text);
        ASSERT_EQ(digest.has_value(), c.valid);
        if (c.valid)
        {
            EXPECT_EQ(*digest, kAbc);
        }
    }
}

// A file as the check sees it; every question it is asked goes into the journal.
class FakeProbe final : public QV::ISetupFileProbe
{
public:
    std::string start = "MZ\x90";
    bool readable = true;
    std::optional<Sha256Digest> sha256 = kAbc;       // nothing: it cannot be computed
    std::optional<std::wstring> signer = L"Quorvin"; // nothing: no valid signature
    std::vector<std::string> journal;

    bool ReadStart(uint8_t* buffer, uint32_t size, uint32_t& read) override
    {
        journal.push_back("start");
        read = static_cast<uint32_t>(std::min<size_t>(size, start.size()));
        std::memcpy(buffer, start.data(), read);
        return readable;
    }
    bool ComputeSha256(Sha256Digest& digest) override
    {
        journal.push_back("sha256");
        if (sha256)
            digest = *sha256;
        return sha256.has_value();
    }
    bool VerifySignature(std::wstring& name) override
    {
        journal.push_back("signature");
        name = signer.value_or(L"");
        return signer.has_value();
    }
};

struct CheckCase
{
    const char* name;
    SetupTrust trust;
    FakeProbe file;
    SetupCheckResult expected;
    std::vector<std::string> asked;
};

FakeProbe File()
{
    return FakeProbe();
}

FakeProbe With(FakeProbe probe, void (*change)(FakeProbe&))
{
    change(probe);
    return probe;
}

std::vector<CheckCase> Cases()
{
    const std::wstring hash = kAbcHex;
    const std::wstring otherHash = L"0" + hash.substr(1);
    const auto passed = SetupCheckResult::Passed;
    const auto refused = SetupCheckResult::Refused;
    const auto notProgram = SetupCheckResult::NotAProgram;
    return {
        {"nothing required", {}, File(), passed, {"start"}},
        {"an HTML page",
         {},
         With(File(), [](FakeProbe& p) { p.start = "<html>"; }),
         notProgram,
         {"start"}},
        {"only one byte",
         {},
         With(File(), [](FakeProbe& p) { p.start = "M"; }),
         notProgram,
         {"start"}},
        {"empty", {}, With(File(), [](FakeProbe& p) { p.start = ""; }), notProgram, {"start"}},
        {"lower-case mz",
         {},
         With(File(), [](FakeProbe& p) { p.start = "mz"; }),
         notProgram,
         {"start"}},
        {"unreadable",
         {},
         With(File(), [](FakeProbe& p) { p.readable = false; }),
         notProgram,
         {"start"}},
        {"no program, whatever is required",
         {L"Quorvin", hash},
         With(File(), [](FakeProbe& p) { p.start = "<!DOCTYPE html>"; }),
         notProgram,
         {"start"}},
        {"hash matches", {L"", hash}, File(), passed, {"start", "sha256"}},
        {"hash matches, written in capitals",
         {L"", Upper(hash)},
         File(),
         passed,
         {"start", "sha256"}},
        {"hash differs", {L"", otherHash}, File(), refused, {"start", "sha256"}},
        {"hash cannot be computed",
         {L"", hash},
         With(File(), [](FakeProbe& p) { p.sha256.reset(); }),
         refused,
         {"start", "sha256"}},
        {"required hash is no hash", {L"", L"not a hash"}, File(), refused, {"start"}},
        {"signer matches", {L"Quorvin", L""}, File(), passed, {"start", "signature"}},
        {"unsigned or altered",
         {L"Quorvin", L""},
         With(File(), [](FakeProbe& p) { p.signer.reset(); }),
         refused,
         {"start", "signature"}},
        {"another signer",
         {L"Quorvin", L""},
         With(File(), [](FakeProbe& p) { p.signer = L"Someone Else"; }),
         refused,
         {"start", "signature"}},
        {"signer differs in letter case",
         {L"quorvin", L""},
         File(),
         refused,
         {"start", "signature"}},
        {"signer is only a prefix",
         {L"Quorvin", L""},
         With(File(), [](FakeProbe& p) { p.signer = L"Quorvin Ltd"; }),
         refused,
         {"start", "signature"}},
        {"both hold", {L"Quorvin", hash}, File(), passed, {"start", "sha256", "signature"}},
        {"both set, hash differs", {L"Quorvin", otherHash}, File(), refused, {"start", "sha256"}},
        {"both set, signer differs",
         {L"Quorvin", hash},
         With(File(), [](FakeProbe& p) { p.signer = L"Someone Else"; }),
         refused,
         {"start", "sha256", "signature"}},
    };
}

TEST(CheckSetupProgram, VerdictAndTheFactsItNeeds)
{
    for (CheckCase& c : Cases())
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckSetupProgram(c.file, c.trust), c.expected);
        EXPECT_EQ(c.file.journal, c.asked);
    }
}

} // namespace
