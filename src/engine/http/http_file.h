// One HTTP(S) GET over WinINet, whole or from a byte offset: open, status and length queries, and
// the block-sized read.
#pragma once
#ifdef _WIN32

#include "engine/http/internet_handle.h"
#include "engine/http/proxy_sign_in.h"
#include "engine/http/request_headers.h"
#include "engine/http/transfer_source.h"

#include <cstdint>
#include <string>

namespace QV
{

// The request handle of one address, with the connection handle it was opened on. Close may be
// called from any thread (see QVInternetHandle); the worker's later calls then fail at once.
class QVHttpFile : public QVInternetHandle
{
public:
    QVHttpFile() noexcept = default;
    ~QVHttpFile() override;

    // Time-out in ms applied to every later Open, before the request is sent: for sending it and
    // for each wait for response data (headers and every read). 0 leaves the system's default.
    void SetStallTimeout(DWORD ms) noexcept { m_dwStallTimeout = ms; }

    // The run's proxy sign-in used by every later Open (borrowed; null: none, a 407 is the answer).
    void SetProxySignIn(QVProxySignIn* signIn) noexcept { m_pSignIn = signIn; }

    // Closes a request still open, then GETs `address` (completed by NormalizeUrl) on `session`
    // with the headers of MakeRequestHeaders for `start` (by default "Accept:*/*" alone), the
    // cache neither read nor written and the connection kept alive, secure for https with the
    // system's full certificate checks. True when the request was sent and a response arrived
    // (for https: from an https address, also after redirects); false leaves nothing open, and
    // after an https request that was redirected to plain http the last error is
    // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR, after a failed send WinINet's reason. With a proxy
    // sign-in, the request carries the run's proxy credentials, and a 407 that the sign-in answers
    // is read to its end and the request sent again; the answer to that is the response.
    bool Open(HINTERNET session, const std::wstring& address,
              const HttpRangeStart& start = HttpRangeStart());

    // True unless the status code can be read and is 200 (a ranged answer, 206, is an error here:
    // the caller of a ranged open reads QueryStatusCode).
    bool HasErrorStatus() noexcept;

    // The numeric HTTP status code; false when no request is open or the query fails.
    bool QueryStatusCode(DWORD& code) noexcept;

    // The Content-Length as a number; 0 when no request is open, the header is missing or is not
    // a number.
    uint64_t GetContentLength() noexcept;

    // The text of the response header `header`; empty when no request is open, the header is
    // missing or cannot be read.
    std::wstring QueryHeader(ResponseHeader header);

    // Reads the next piece of the body (at most kTransferBlockSize bytes) into `buffer` (that size
    // at least). -1 on failure or when nothing is open, 0 when nothing was read, else the count.
    int32_t ReadChunk(void* buffer) noexcept;

    // Closes the request, then its connection. Any thread.
    void Close() noexcept override;

private:
    // Closes what is open, keeping the calling thread's last error (WinINet's reason for a failed
    // send); answers false.
    bool CloseKeepingError() noexcept;

    QVInternetHandle m_connection;
    DWORD m_dwStallTimeout = 0;
    QVProxySignIn* m_pSignIn = nullptr;
};

// One InternetReadFile of exactly kTransferBlockSize bytes into `buffer`, the count read in `read`;
// true on success. It guards the call with a catch-all handler; this build has no
// structured-exception handling (MinGW), so only C++ exceptions are caught, not processor faults.
bool ReadInternetBlock(HINTERNET request, void* buffer, DWORD& read) noexcept;

} // namespace QV

#endif // _WIN32
