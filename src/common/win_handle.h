// Small non-copyable owners for Win32 handles. Each owner closes what it holds exactly once,
// in its destructor or on Reset; borrowed handles are passed around raw and never closed.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <wincrypt.h>

namespace QV
{

// Owns one handle described by Traits (Handle type, its invalid value, how to release it).
// Movable, not copyable. A default-constructed owner holds the invalid value.
template <class Traits> class CHandleOwner
{
public:
    using Handle = typename Traits::Handle;

    CHandleOwner() noexcept = default;
    // Takes ownership of h (which may be the invalid value).
    explicit CHandleOwner(Handle h) noexcept : m_h(h) {}
    ~CHandleOwner() { Reset(); }

    CHandleOwner(const CHandleOwner&) = delete;
    CHandleOwner& operator=(const CHandleOwner&) = delete;
    CHandleOwner(CHandleOwner&& other) noexcept : m_h(other.Release()) {}
    CHandleOwner& operator=(CHandleOwner&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    // The held handle, still owned here.
    Handle Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives the handle up without closing it; the owner then holds the invalid value.
    Handle Release() noexcept
    {
        Handle h = m_h;
        m_h = Traits::Invalid();
        return h;
    }

    // Closes the held handle (if valid) and takes h instead.
    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        if (IsValid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Handle m_h = Traits::Invalid();
};

struct KernelHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// FindFirstFileW reports failure as INVALID_HANDLE_VALUE and is ended with FindClose.
struct FindTraits
{
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};

// A CryptoAPI provider context (CryptAcquireContextW); 0 when none.
struct CryptProviderTraits
{
    using Handle = HCRYPTPROV;
    static Handle Invalid() noexcept { return 0; }
    static void Close(Handle h) noexcept { ::CryptReleaseContext(h, 0); }
};

// A CryptoAPI hash object (CryptCreateHash); 0 when none.
struct CryptHashTraits
{
    using Handle = HCRYPTHASH;
    static Handle Invalid() noexcept { return 0; }
    static void Close(Handle h) noexcept { ::CryptDestroyHash(h); }
};

struct RegKeyTraits
{
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct LibraryTraits
{
    using Handle = HMODULE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

struct MenuTraits
{
    using Handle = HMENU;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyMenu(h); }
};

template <class T> struct GdiObjectTraits
{
    using Handle = T;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct IconTraits
{
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DestroyIcon(h); }
};

using CKernelHandle = CHandleOwner<KernelHandleTraits>; // threads, processes, events
using CFileHandle = CHandleOwner<FileHandleTraits>;
using CFindHandle = CHandleOwner<FindTraits>;
using CCryptProvider = CHandleOwner<CryptProviderTraits>;
using CCryptHash = CHandleOwner<CryptHashTraits>;
using CRegKey = CHandleOwner<RegKeyTraits>;
using CLibrary = CHandleOwner<LibraryTraits>;
using CMenu = CHandleOwner<MenuTraits>;
using CFont = CHandleOwner<GdiObjectTraits<HFONT>>;
using CIcon = CHandleOwner<IconTraits>; // icons loaded without LR_SHARED

} // namespace QV

#endif // _WIN32
