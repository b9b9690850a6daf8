// What the transfer loop needs of an HTTP response, and the one block size that every read of the
// body shares. Portable: no system headers.
#pragma once

#include <cstdint>
#include <string>

namespace QV
{

// Bytes of one read of the body: the most a source delivers at once, the size of the transfer
// loop's buffer, and the size of every WinINet read.
inline constexpr uint32_t kTransferBlockSize = 4096;

// True for a WinINet error of a send that refused the connection as unsafe: a certificate that is
// expired, for another host, of an untrusted or unknown issuer, revoked, unverifiable or invalid,
// or a secure request redirected to plain http. Everything else (refused or lost connections,
// time-outs) may pass on another try.
constexpr bool IsUnsafeConnectionError(uint32_t error) noexcept
{
    switch (error)
    {
    case 12037: // ERROR_INTERNET_SEC_CERT_DATE_INVALID
    case 12038: // ERROR_INTERNET_SEC_CERT_CN_INVALID
    case 12040: // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
    case 12045: // ERROR_INTERNET_INVALID_CA
    case 12055: // ERROR_INTERNET_SEC_CERT_ERRORS
    case 12056: // ERROR_INTERNET_SEC_CERT_NO_REV
    case 12057: // ERROR_INTERNET_SEC_CERT_REV_FAILED
    case 12169: // ERROR_INTERNET_SEC_INVALID_CERT
    case 12170: // ERROR_INTERNET_SEC_CERT_REVOKED
        return true;
    default:
        return false;
    }
}

// The response header fields that the resume and retry decisions read.
enum class ResponseHeader
{
    ContentRange, // where a ranged answer's bytes sit in the whole file
    ETag,         // the entity tag of this version of the file
    LastModified, // its modification date
    RetryAfter,   // how long the server asks the client to wait (seconds or a date)
    Date,         // the server's clock when it answered
};

// The HTTP side of one transfer. Implemented over WinINet by QVReadAheadRequest; tests script it.
// The range the request asks for is fixed when the source is made (see PlanAttempt).
class ITransferSource
{
public:
    // Sends the GET for `url` and waits for the response headers; false when no response came.
    virtual bool Open(const std::wstring& url) = 0;
    // The response's status code; 0 when it is unreadable or nothing is open.
    virtual uint32_t GetStatusCode() = 0;
    // Content-Length; 0 when missing, unreadable or nothing is open.
    virtual uint64_t GetContentLength() = 0;
    // The value of `header` as the server sent it; empty when it is missing or nothing is open.
    virtual std::wstring GetHeader(ResponseHeader header) = 0;
    // The next piece of the body, at most kTransferBlockSize bytes, into `buffer` (that size at
    // least): -1 on failure (and on every read after it), 0 when nothing was read, else the count.
    virtual int32_t ReadChunk(uint8_t* buffer) = 0;
    // True when the transfer was aborted from outside (its failures then may be a cancellation).
    virtual bool WasAborted() = 0;
    // True when Open failed because the connection was refused as unsafe (the server's
    // certificate, or a secure request redirected to plain http): asking again cannot help.
    virtual bool WasRefusedAsUnsafe() { return false; }

protected:
    ~ITransferSource() = default;
};

} // namespace QV
