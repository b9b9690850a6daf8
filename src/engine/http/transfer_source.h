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

protected:
    ~ITransferSource() = default;
};

} // namespace QV
