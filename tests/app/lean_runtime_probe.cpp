// Runs each library failure that the installer's own throw helpers stand in for, linked as the
// exe links them, and prints for each the type of the exception a handler received.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>
#include <vector>

namespace
{
template <class Step> void Probe(const char* name, Step step)
{
    const char* kind = "nothing thrown";
    try
    {
        step();
    }
    catch (const std::bad_array_new_length&)
    {
        kind = "bad_array_new_length";
    }
    catch (const std::bad_alloc&)
    {
        kind = "bad_alloc";
    }
    catch (const std::exception& e)
    {
        kind = typeid(e).name();
    }
    catch (...)
    {
        kind = "unknown";
    }
    std::printf("%s=%s\n", name, kind);
}
} // namespace

int wmain()
{
    Probe("string_from_null", [] { std::wstring s(static_cast<const wchar_t*>(nullptr)); });
    Probe("string_at",
          []
          {
              std::wstring s(L"ab");
              return s.at(5);
          });
    Probe("string_too_long",
          []
          {
              std::wstring s;
              s.reserve(s.max_size() + 1);
          });
    Probe("vector_too_long",
          []
          {
              std::vector<int> v;
              v.reserve(v.max_size() + 1);
          });
    Probe("new_too_much",
          []
          {
              // Kept in a volatile place: an allocation whose result is unused may be left out.
              static char* volatile s_pBlock = nullptr;
              volatile size_t count = static_cast<size_t>(-1) / 2;
              s_pBlock = new char[count];
              delete[] s_pBlock;
          });
    Probe("string_ok", [] { std::wstring s(L"fine"); });
    return 0;
}
