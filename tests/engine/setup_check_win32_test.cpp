// The check's facts on real files under Wine: the first bytes and the SHA-256 through CryptoAPI,
// and Authenticode signatures through WinVerifyTrust, for copies of the sample setup program that
// the fixture signed with a throw-away CA: the right signer, another signer, a changed byte, none.
#include "engine/setup_check_win32.h"

#include "common/win32_test_support.h"
#include "common/win_handle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using QV::SetupCheckResult;
using QV::Sha256Digest;
using QV::Test::CTempDir;
using QV::Test::HostPath;

const wchar_t kSigner[] = L"Quorvin Test Signer";

std::wstring Sample(const wchar_t* name)
{
    return HostPath(QV_TEST_SIGNED_DIR) + L"\\" + name;
}

std::wstring SignedSha256()
{
    QV::CFileHandle file(CreateFileW(Sample(L"sha256.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    char text[65] = {};
    DWORD n = 0;
    if (!file || !ReadFile(file.Get(), text, 64, &n, nullptr) || n != 64)
        return std::wstring();
    return std::wstring(text, text + 64);
}

// The file held as the installer holds the downloaded program: reading only, sharing reading.
QV::CFileHandle Hold(const std::wstring& path)
{
    return QV::CFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
}

void Write(const std::wstring& path, const std::string& bytes)
{
    QV::CFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
}

std::string Hex(const Sha256Digest& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest)
    {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// Known digests (FIPS 180-2 examples and the empty message), the long one read in several
// pieces; the start is read from offset 0 whatever the handle's position.
TEST(SetupFileProbe, StartAndSha256OfRealFiles)
{
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const struct
    {
        const char* name;
        std::string content;
        const char* sha256;
    } cases[] = {
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"a million a", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::wstring path = dir.File(L"file.bin");
        ASSERT_NO_FATAL_FAILURE(Write(path, c.content));
        QV::CFileHandle file = Hold(path);
        ASSERT_TRUE(file);
        QV::QVSetupFileProbe probe(file.Get(), path);
        Sha256Digest digest{};
        ASSERT_TRUE(probe.ComputeSha256(digest));
        EXPECT_EQ(Hex(digest), c.sha256);
        uint8_t start[2] = {};
        uint32_t read = 0;
        ASSERT_TRUE(probe.ReadStart(start, 2, read));
        EXPECT_EQ(read, std::min<uint32_t>(2, static_cast<uint32_t>(c.content.size())));
        if (read == 2)
        {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(start), 2), c.content.substr(0, 2));
        }
    }
}

TEST(SetupFileProbe, SignerOfEachSample)
{
    const struct
    {
        const wchar_t* file;
        bool valid;
        const wchar_t* signer;
    } cases[] = {
        {L"signed.exe", true, kSigner},
        {L"other.exe", true, L"Someone Else"},
        {L"tampered.exe", false, L""},
        {L"unsigned.exe", false, L""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
        QV::CFileHandle file = Hold(Sample(c.file));
        ASSERT_TRUE(file);
        QV::QVSetupFileProbe probe(file.Get(), Sample(c.file));
        std::wstring signer = L"left over";
        EXPECT_EQ(probe.VerifySignature(signer), c.valid);
        EXPECT_EQ(signer, c.signer);
    }
}

// The whole check through the real facts, each sample against each requirement.
TEST(SetupFileProbe, CheckOfEachSample)
{
    const std::wstring hash = SignedSha256();
    ASSERT_EQ(hash.size(), 64u);
    const std::wstring otherHash = (hash[0] == L'0' ? L"1" : L"0") + hash.substr(1);
    CTempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::wstring page = dir.File(L"page.exe");
    ASSERT_NO_FATAL_FAILURE(Write(page, "<html><body>Please log in</body></html>"));

    const struct
    {
        const char* name;
        std::wstring file;
        QV::SetupTrust trust;
        SetupCheckResult expected;
    } cases[] = {
        {"nothing required, signed", Sample(L"signed.exe"), {}, SetupCheckResult::Passed},
        {"nothing required, unsigned", Sample(L"unsigned.exe"), {}, SetupCheckResult::Passed},
        {"nothing required, a page", page, {}, SetupCheckResult::NotAProgram},
        {"signer, right one", Sample(L"signed.exe"), {kSigner, L""}, SetupCheckResult::Passed},
        {"signer, unsigned", Sample(L"unsigned.exe"), {kSigner, L""}, SetupCheckResult::Refused},
        {"signer, tampered", Sample(L"tampered.exe"), {kSigner, L""}, SetupCheckResult::Refused},
        {"signer, wrong one", Sample(L"other.exe"), {kSigner, L""}, SetupCheckResult::Refused},
        {"hash, right", Sample(L"signed.exe"), {L"", hash}, SetupCheckResult::Passed},
        {"hash, wrong", Sample(L"signed.exe"), {L"", otherHash}, SetupCheckResult::Refused},
        {"hash, tampered", Sample(L"tampered.exe"), {L"", hash}, SetupCheckResult::Refused},
        {"both, right", Sample(L"signed.exe"), {kSigner, hash}, SetupCheckResult::Passed},
        {"signer required, a page", page, {kSigner, L""}, SetupCheckResult::NotAProgram},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        QV::CFileHandle file = Hold(c.file);
        ASSERT_TRUE(file);
        QV::QVSetupFileProbe probe(file.Get(), c.file);
        EXPECT_EQ(QV::CheckSetupProgram(probe, c.trust), c.expected);
    }
}

} // namespace
