#include "common/format_string.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <wchar.h>
#include <memory>
#include <new>

namespace QV
{

namespace
{
enum class Attempt
{
    Fits,
    Invalid,
    TooSmall
};

// One bounded attempt: at most capacity - 1 characters and the terminator. On Windows this is the
// system C runtime's _vsnwprintf_s, which rejects an invalid format with EINVAL (MinGW's own C99
// printf accepts every format, so it could never report one) and answers -1 without an error for
// a text that does not fit. glibc's vswprintf answers -1 for both, with EINVAL or EILSEQ for an
// invalid format or argument. Both read %ls as a wide string.
Attempt TryFormat(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args,
                  int& length)
{
    va_list copy;
    va_copy(copy, args);
    errno = 0;
#ifdef _WIN32
    length = ::_vsnwprintf_s(buffer, capacity, capacity - 1, format, copy);
#else
    length = std::vswprintf(buffer, capacity, format, copy);
#endif
    int error = errno;
    va_end(copy);
    if (length >= 0 && static_cast<size_t>(length) < capacity)
        return Attempt::Fits;
    if (length < 0 && (error == EINVAL || error == EILSEQ))
        return Attempt::Invalid;
    return Attempt::TooSmall;
}
} // namespace

void FormatStringV(std::wstring& out, const wchar_t* format, va_list args)
{
    if (format == nullptr || *format == L'\0')
        return;

    constexpr size_t kFirstCapacity = 1024;
    constexpr int kMaxHeapAttempts = 1024;
    wchar_t local[kFirstCapacity];
    std::unique_ptr<wchar_t[]> heap;
    wchar_t* buffer = local;
    size_t capacity = kFirstCapacity;
    for (int heapAttempts = 0;; ++heapAttempts)
    {
        int length = 0;
        switch (TryFormat(buffer, capacity, format, args, length))
        {
        case Attempt::Fits:
            out.assign(buffer, static_cast<size_t>(length));
            return;
        case Attempt::Invalid:
            out.clear();
            return;
        case Attempt::TooSmall:
            break;
        }
        if (heapAttempts == kMaxHeapAttempts)
            break;
        if (capacity > SIZE_MAX / 2 / sizeof(wchar_t) ||
            capacity * 2 * sizeof(wchar_t) > UINT32_MAX)
            throw std::bad_alloc();
        capacity *= 2;
        // Freed before the next is allocated, so that two large buffers never coexist.
        heap.reset();
        heap.reset(new wchar_t[capacity]);
        buffer = heap.get();
    }
    out.clear();
}

void FormatString(std::wstring& out, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatStringV(out, format, args);
    va_end(args);
}

} // namespace QV
