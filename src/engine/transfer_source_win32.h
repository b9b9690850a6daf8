// The Win32 side of the transfer loop: the WinINet source with its time-outs, the local file,
// the system clock, and the gate through which another thread aborts a running transfer.
#pragma once
#ifdef _WIN32

#include "engine/http/read_ahead_request.h"
#include "engine/transfer_loop.h"

#include <windows.h>

#include <memory>

namespace QV
{

// Bound on any single wait on the network (sending the request, the response headers, each
// read). A stalled server or a dead connection then fails the download instead of hanging the
// installer for ever; 30 s is far above the gap between packets of any working connection,
// however slow, so only a stall reaches it.
inline constexpr DWORD kStallTimeoutMs = 30000;

// Connect time-out in ms and connect retries of every session.
inline constexpr DWORD kConnectTimeoutMs = 3000;
inline constexpr DWORD kConnectRetries = 5;

// Hands the request of the running transfer to whoever aborts it. Abort may come from any thread
// at any time; Attach, IsAborted and Detach come from the transfer's thread.
class QVTransferAbort
{
public:
    QVTransferAbort() noexcept = default;
    QVTransferAbort(const QVTransferAbort&) = delete;
    QVTransferAbort& operator=(const QVTransferAbort&) = delete;

    // Aborts the attached transfer's request: its waits for the network fail at once, now and
    // later. With no transfer attached, the next Attach fails.
    void Abort() noexcept;

    // Attaches a transfer's request; false (nothing attached) when an abort came since the last
    // transfer, which is then consumed.
    bool Attach(QVReadAheadRequest* request) noexcept;

    // True when an abort reached the attached transfer.
    bool IsAborted() noexcept;

    // Detaches the transfer (waiting for an Abort under way) and forgets its abort.
    void Detach() noexcept;

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    QVReadAheadRequest* m_pRequest = nullptr;
    bool m_bAborted = false;
};

// The HTTP side of one transfer over WinINet: a request on a session of its own with the connect
// time-out, connect retries and stall time-outs, its network calls on a thread of their own.
// Attached to `abort` for its lifetime. Throws std::bad_alloc when the request cannot be had.
class QVWinInetSource final : public ITransferSource
{
public:
    QVWinInetSource(QVTransferAbort& abort, DWORD stallTimeoutMs);
    ~QVWinInetSource();
    QVWinInetSource(const QVWinInetSource&) = delete;
    QVWinInetSource& operator=(const QVWinInetSource&) = delete;

    bool Open(const std::wstring& url) override;
    bool HasErrorStatus() override;
    uint64_t GetContentLength() override;
    int32_t ReadChunk(TransferStats& stats, uint8_t* buffer) override;
    bool WasAborted() override;

private:
    QVTransferAbort& m_abort;
    QVReadAheadRequest m_request;
    DWORD m_dwStallTimeout;
    bool m_bAttached = false;
};

// Bytes the local file collects before it writes them. Each write is a system call (under Wine
// a server round trip); one per 4096-byte block made a download a quarter slower than the
// network reads alone.
inline constexpr uint32_t kFileSinkBufferSize = 64 * 1024;

// The local file, written synchronously in pieces of kFileSinkBufferSize bytes; the handle stays
// the caller's. Throws std::bad_alloc when its buffer cannot be had.
class QVFileSink final : public IFileSink
{
public:
    explicit QVFileSink(HANDLE file);
    uint32_t Write(const uint8_t* data, uint32_t size) override;
    bool Flush() override;

private:
    HANDLE m_hFile;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_dwPending = 0;
};

// GetTickCount and Sleep.
class QVSystemClock final : public ITransferClock
{
public:
    uint32_t Now() override { return ::GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

} // namespace QV

#endif // _WIN32
