// One HTTP(S) GET whose blocking WinINet calls run on a network thread of its own, so that the
// thread that consumes the body can stop waiting at once when the transfer is aborted: Wine's
// WinINet does not end a blocked call when its handle is closed, only at the call's time-out.
// It is the transfer loop's source, and the gate through which another thread aborts it.
#pragma once
#ifdef _WIN32

#include "engine/http/proxy_sign_in.h"
#include "engine/http/request_headers.h"
#include "engine/http/transfer_source.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace QV
{

// Blocks of kTransferBlockSize bytes the network thread may read ahead of the consumer.
inline constexpr uint32_t kReadAheadBlocks = 16;

// Bound on any single wait on the network (sending the request, the response headers, each
// read). A stalled server or a dead connection then fails the download instead of hanging the
// installer for ever; 30 s is far above the gap between packets of any working connection,
// however slow, so only a stall reaches it.
inline constexpr DWORD kStallTimeoutMs = 30000;

// Connect time-out in ms and connect retries of every session.
inline constexpr DWORD kConnectTimeoutMs = 3000;
inline constexpr DWORD kConnectRetries = 5;

// What the network thread's session and request are opened with; the defaults are the shipped
// values. A time-out or retry count of 0 leaves the system's default.
struct ReadAheadSettings
{
    DWORD connectTimeoutMs = kConnectTimeoutMs;
    DWORD connectRetries = kConnectRetries;
    DWORD stallTimeoutMs = kStallTimeoutMs; // bound on each wait for the network
    HttpRangeStart start;                   // where the body begins; the whole body by default
    std::shared_ptr<QVProxySignIn> signIn;  // the run's proxy sign-in; none: a 407 is the answer
};

class QVReadAheadRequest;

// Hands the request of the running transfer to whoever aborts it. Abort may come from any thread
// at any time; Attach and Detach come from the transfer's thread (QVReadAheadRequest calls them).
class QVTransferAbort
{
public:
    QVTransferAbort() noexcept = default;
    QVTransferAbort(const QVTransferAbort&) = delete;
    QVTransferAbort& operator=(const QVTransferAbort&) = delete;

    // Aborts the attached request (QVReadAheadRequest::Abort). With none attached, the next one
    // to attach is aborted as it attaches.
    void Abort() noexcept;

    // Attaches `request`, aborting it at once when an abort came while none was attached (that
    // abort is then used up).
    void Attach(QVReadAheadRequest& request) noexcept;

    // Detaches `request` if it is the one attached, waiting for an Abort under way; an abort that
    // reached it is not kept for the next one.
    void Detach(QVReadAheadRequest& request) noexcept;

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    QVReadAheadRequest* m_pRequest = nullptr;
    bool m_bPending = false;
};

struct ReadAheadState;

// The response headers a request keeps, indexed by ResponseHeader.
inline constexpr size_t kResponseHeaderCount = static_cast<size_t>(ResponseHeader::Date) + 1;
using ResponseHeaders = std::array<std::wstring, kResponseHeaderCount>;

// The consumer's side. Open, HasErrorStatus, GetStatusCode, GetContentLength, GetHeader,
// ReadChunk and WasAborted come from one thread; Abort from any thread while the object lives. The
// network thread owns, through a shared state, the WinINet handles and the blocks (wininet.dll is
// never unloaded); it never touches the consumer, and it frees everything when its last call
// returns after the consumer has gone.
class QVReadAheadRequest final : public ITransferSource
{
public:
    // Keeps `settings` for Open and attaches to `abort` (when given) until destruction. Throws
    // std::bad_alloc when the shared state cannot be had.
    explicit QVReadAheadRequest(const ReadAheadSettings& settings = ReadAheadSettings(),
                                QVTransferAbort* abort = nullptr);
    // Detaches, tells the network thread to stop and closes the handles, without waiting for the
    // thread.
    ~QVReadAheadRequest();
    QVReadAheadRequest(const QVReadAheadRequest&) = delete;
    QVReadAheadRequest& operator=(const QVReadAheadRequest&) = delete;

    // Starts the network thread, which opens a session with the settings and GETs `address` as
    // QVHttpFile::Open does from the settings' start, reads the status, the length and the
    // headers of ResponseHeader, then reads the body ahead. Waits until the response headers
    // arrived (true) or opening failed or Abort came (false). Once only; a second call answers
    // false.
    bool Open(const std::wstring& address) override;

    // True unless the status code could be read and is 200 (so also for 206, see GetStatusCode).
    bool HasErrorStatus() noexcept;

    // The response's status code (206 answers a ranged open); 0 when unreadable or nothing is
    // open.
    uint32_t GetStatusCode() noexcept override;

    // The Content-Length (of a ranged answer: the bytes from the start on); 0 when missing, not a
    // number, or nothing is open.
    uint64_t GetContentLength() noexcept override;

    // The header's value as read when the response arrived; empty when missing or nothing is
    // open.
    std::wstring GetHeader(ResponseHeader header) override;

    // The next result of the network thread's block-sized reads, in order, as QVHttpFile::ReadChunk
    // answers it, its bytes into `buffer`; -1 on a failed read (and every read after it), after
    // Abort, or when nothing is open. Waits until the next result is there or Abort comes.
    int32_t ReadChunk(uint8_t* buffer) noexcept override;

    // True once Abort came (directly or through the gate).
    bool WasAborted() noexcept override;

    // True when Open failed because WinINet refused the connection as unsafe
    // (IsUnsafeConnectionError of its reason).
    bool WasRefusedAsUnsafe() noexcept override;

    // Makes the waits of Open and ReadChunk end at once and fail, now and later, and closes the
    // handles so that Windows ends the blocked network call too. Any thread.
    void Abort() noexcept;

private:
    std::shared_ptr<ReadAheadState> m_state;
    QVTransferAbort* m_pAbort;
    uint32_t m_dwStatus = 0;
    uint64_t m_qwLength = 0;
    ResponseHeaders m_headers;
    bool m_bOpen = false;
    bool m_bStarted = false;
};

} // namespace QV

#endif // _WIN32
