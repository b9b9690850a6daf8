/* An exe that imports version.dll statically: the import check must reject it. */
#include <windows.h>

int main(void)
{
    DWORD handle = 0;
    return (int)GetFileVersionInfoSizeW(L"kernel32.dll", &handle) == 0;
}
