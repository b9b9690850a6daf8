// The Win32 side of the transfer loop: the local file and the system clock. The HTTP side is
// QVReadAheadRequest.
#pragma once
#ifdef _WIN32

#include "engine/transfer_loop.h"

#include <windows.h>

#include <memory>

namespace QV
{

// Bytes the local file collects before it writes them. Each write is a system call (under Wine
// a server round trip); one per 4096-byte block made a download a quarter slower than the
// network reads alone.
inline constexpr uint32_t kFileSinkBufferSize = 64 * 1024;

// The local file, written synchronously in pieces of kFileSinkBufferSize bytes from where its
// file pointer stands (so a continued download appends); the handle stays the caller's. Throws
// std::bad_alloc when its buffer cannot be had.
class QVFileSink final : public IFileSink
{
public:
    // Writes to `file` (open for writing, not owned).
    explicit QVFileSink(HANDLE file);
    // Buffers `size` bytes, writing every full buffer; 0 when a write failed (what was held back
    // is then dropped).
    uint32_t Write(const uint8_t* data, uint32_t size) override;
    // Writes what is held back; false when the write failed or was short (it is dropped all the
    // same).
    bool Flush() override;
    // Drops what is held back, then moves to the file's start and cuts it there; false when the
    // system refused either step.
    bool Restart() override;

private:
    HANDLE m_hFile;
    std::unique_ptr<uint8_t[]> m_buffer;
    uint32_t m_dwPending = 0;
};

// The system's tick counter and pause.
class QVSystemClock final : public ITransferClock
{
public:
    // GetTickCount.
    uint32_t Now() override { return ::GetTickCount(); }
    // ::Sleep.
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

} // namespace QV

#endif // _WIN32
