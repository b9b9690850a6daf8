/* Code of the resource-only test DLLs: the loader needs an image, the tests need only its
   resources. */
__declspec(dllexport) int qv_resource_only(void)
{
    return 0;
}
