// One HTTP(S) GET whose blocking WinINet calls run on a network thread of its own, so that the
// thread that consumes the body can stop waiting at once when the transfer is aborted: Wine's
// WinINet does not end a blocked call when its handle is closed, only at the call's time-out.
#pragma once
#ifdef _WIN32

#include "engine/http/transfer_stats.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace QV
{

// Blocks of kInternetBlockSize bytes the network thread may read ahead of the consumer.
inline constexpr uint32_t kReadAheadBlocks = 16;

// What the network thread's session and request are opened with.
struct ReadAheadSettings
{
    DWORD connectTimeoutMs = 0; // 0: the system's default
    DWORD connectRetries = 0;   // 0: the system's default
    DWORD stallTimeoutMs = 0;   // bound on each wait for the network; 0: the system's default
};

struct ReadAheadState;

// The consumer's side. Open, HasErrorStatus, GetContentLength and ReadChunk come from one thread;
// Abort from any thread while the object lives. The network thread owns, through a shared state,
// the WinINet handles and the blocks (wininet.dll is never unloaded); it never touches the
// consumer, and it frees everything when its last call returns after the consumer has gone.
class QVReadAheadRequest
{
public:
    // Throws std::bad_alloc when the shared state cannot be had.
    QVReadAheadRequest();
    // Tells the network thread to stop and closes the handles, without waiting for the thread.
    ~QVReadAheadRequest();
    QVReadAheadRequest(const QVReadAheadRequest&) = delete;
    QVReadAheadRequest& operator=(const QVReadAheadRequest&) = delete;

    // Starts the network thread, which opens a session with `settings` and GETs `address` as
    // QVHttpFile::Open does, then reads the body ahead. Waits until the response headers arrived
    // (true) or opening failed or Abort came (false). Once only; a second call answers false.
    bool Open(const std::wstring& address, const ReadAheadSettings& settings);

    // True unless the status code could be read and is 200.
    bool HasErrorStatus() const noexcept;

    // The Content-Length; 0 when missing, not a number, or nothing is open.
    uint64_t GetContentLength() const noexcept;

    // The next result of the network thread's 4096-byte reads, in order, as QVHttpFile::ReadChunk
    // answers it: its bytes into `buffer` (4096 bytes at least) and added to `stats`; -1 on a
    // failed read (and every read after it), after Abort, or when nothing is open; 0 for an empty
    // read. Waits until the next result is there or Abort comes.
    int32_t ReadChunk(TransferStats& stats, uint8_t* buffer) noexcept;

    // Makes the waits of Open and ReadChunk end at once and fail, now and later, and closes the
    // handles so that Windows ends the blocked network call too. Any thread.
    void Abort() noexcept;

private:
    std::shared_ptr<ReadAheadState> m_state;
    DWORD m_dwStatus = 0;
    uint64_t m_qwLength = 0;
    bool m_bOpen = false;
    bool m_bStarted = false;
};

} // namespace QV

#endif // _WIN32
