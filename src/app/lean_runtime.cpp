// The standard library's throw helpers, as the installer exe links them. The library's own ones
// build their exceptions from its copy-on-write strings and message formatting, which drags in
// about 80 KB of the library for failures that the program only ever catches with catch (...)
// and reports as one sentence. These throw the same kinds of failure: allocation failures stay
// std::bad_alloc and std::bad_array_new_length, a string or container misuse is a
// QV::CLibraryError. Linked into the exe only; a helper the program newly needs and that is not
// defined here brings the library's whole set back, and the link then fails on the duplicates,
// so it cannot go unnoticed.
#include <bits/functexcept.h>

#include <exception>
#include <new>

namespace QV
{

// A misuse of a string or container reported by the library (too long, out of range).
class CLibraryError final : public std::exception
{
public:
    explicit CLibraryError(const char* what) noexcept : m_pWhat(what) {}
    const char* what() const noexcept override { return m_pWhat; }

private:
    const char* m_pWhat;
};

} // namespace QV

namespace std
{

void __throw_bad_alloc()
{
    throw bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw bad_array_new_length();
}

void __throw_length_error(const char* what)
{
    throw QV::CLibraryError(what);
}

void __throw_logic_error(const char* what)
{
    throw QV::CLibraryError(what);
}

void __throw_out_of_range_fmt(const char* format, ...)
{
    throw QV::CLibraryError(format);
}

} // namespace std
