// The entry point of every GoogleTest program run under Wine: once the results are printed the
// process ends at once, skipping the per-library teardown, which a test program has no use for.
// Under load Wine now and then leaves a finished test process waiting on its wineserver at its
// end, with this or without it; the test runner (tests/tools/gtest_exit_guard.py) then judges the
// run by its printed summary. The product's own exit is covered by the end-to-end tests, which
// run the real exe to its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
