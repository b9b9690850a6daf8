// The installer's own throw helpers: every library failure still arrives as a catchable
// exception (allocation failures as std::bad_alloc, misuse as QV::CLibraryError), so the
// catch-all handlers of the transfer and the worker keep working in the lean exe.
#include "common/win32_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace
{

TEST(LeanRuntime, LibraryFailuresArriveAsExceptionsOfTheirKind)
{
    QV::Test::ProcessOptions options;
    options.captureOutput = true;
    QV::Test::ProcessResult run = QV::Test::RunProcess(
        L"\"" + QV::Test::HostPath(QV_TEST_LEAN_RUNTIME_PROBE) + L"\"", options);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::map<std::string, std::string> seen;
    size_t start = 0;
    while (start < run.output.size())
    {
        size_t end = run.output.find('\n', start);
        std::string line = run.output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            seen[line.substr(0, eq)] = line.substr(eq + 1);
        start = end == std::string::npos ? run.output.size() : end + 1;
    }
    const std::string libraryError = "N2QV13CLibraryErrorE";
    EXPECT_EQ(seen["string_from_null"], libraryError);
    EXPECT_EQ(seen["string_at"], libraryError);
    EXPECT_EQ(seen["string_too_long"], libraryError);
    EXPECT_EQ(seen["vector_too_long"], libraryError);
    EXPECT_TRUE(seen["new_too_much"] == "bad_alloc" ||
                seen["new_too_much"] == "bad_array_new_length")
        << seen["new_too_much"];
    EXPECT_EQ(seen["string_ok"], "nothing thrown");
}

} // namespace
