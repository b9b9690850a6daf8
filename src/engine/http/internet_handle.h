// Owners of WinINet handles: the base that closes one handle exactly once, and the session.
#pragma once
#ifdef _WIN32

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <string>

namespace QV
{

// Owns one WinINet handle (null when nothing is open). Close may be called from any thread, also
// while another thread is blocked in a call on the handle: the handle is taken out atomically,
// so it is closed exactly once however many threads close it.
class QVInternetHandle
{
public:
    QVInternetHandle() noexcept = default;
    QVInternetHandle(const QVInternetHandle&) = delete;
    QVInternetHandle& operator=(const QVInternetHandle&) = delete;
    virtual ~QVInternetHandle();

    // Closes the handle if one is open; afterwards GetHandle() is null. Any thread.
    virtual void Close() noexcept;

    // The raw handle, still owned here; null when none is open.
    HINTERNET GetHandle() const noexcept { return m_h.load(std::memory_order_acquire); }

    // InternetSetOptionW with a 4-byte value on the handle; the call's result. False without a
    // call when no handle is open (a null handle would change the process-wide defaults).
    bool SetOption(DWORD option, DWORD value) noexcept;

    // Takes ownership of `h` (may be null), closing a handle held before.
    void Attach(HINTERNET h) noexcept;

private:
    std::atomic<HINTERNET> m_h{nullptr};
};

// Sets the four time-outs that bound each wait for the network (sending, the response headers,
// each read of the body) on `handle`, each to `ms`; 0 leaves the system's defaults. Results are
// not needed: an option that does not take leaves that wait to the next bound.
void ApplyStallTimeout(QVInternetHandle& handle, DWORD ms) noexcept;

// The text of the string option `option` of `handle` (borrowed) into `text`, up to its first NUL;
// false, with `text` emptied, when it cannot be read. Throws std::bad_alloc.
bool QueryOptionText(HINTERNET handle, DWORD option, std::wstring& text);

// A WinINet session, opened at construction: no agent string, the system's proxy settings.
// A failed open leaves the handle null, which makes every request on it fail.
class QVInternetSession : public QVInternetHandle
{
public:
    QVInternetSession() noexcept;
    ~QVInternetSession() override;
};

} // namespace QV

#endif // _WIN32
