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

// The HTTP side of one transfer. Implemented over WinINet by QVReadAheadRequest; tests script it.
class ITransferSource
{
public:
    // Sends the GET for `url` and waits for the response headers; false when no response came.
    virtual bool Open(const std::wstring& url) = 0;
    // True unless the status code could be read and is 200.
    virtual bool HasErrorStatus() = 0;
    // Content-Length; 0 when missing, unreadable or nothing is open.
    virtual uint64_t GetContentLength() = 0;
    // The next piece of the body, at most kTransferBlockSize bytes, into `buffer` (that size at
    // least): -1 on failure (and on every read after it), 0 when nothing was read, else the count.
    virtual int32_t ReadChunk(uint8_t* buffer) = 0;
    // True when the transfer was aborted from outside (its failures then may be a cancellation).
    virtual bool WasAborted() = 0;

protected:
    ~ITransferSource() = default;
};

} // namespace QV
