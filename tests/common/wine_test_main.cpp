// The entry point of every GoogleTest program run under Wine. After the results are printed the
// process is ended at once, without the system's per-library teardown: under load, Wine now and
// then leaves a finished process blocked in that teardown (its one remaining thread waiting on
// the wineserver, no lock involved), and CTest would report a test that passed as timed out.
// The product's own exit is covered by the end-to-end tests, which run the real exe to its end.
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
