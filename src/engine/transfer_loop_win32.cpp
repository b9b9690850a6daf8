#include "engine/transfer_loop_win32.h"

#include <algorithm>
#include <cstring>

namespace QV
{

QVFileSink::QVFileSink(HANDLE file)
    : m_hFile(file), m_buffer(std::make_unique<uint8_t[]>(kFileSinkBufferSize))
{
}

uint32_t QVFileSink::Write(const uint8_t* data, uint32_t size)
{
    uint32_t taken = 0;
    while (taken < size)
    {
        const uint32_t n = std::min(size - taken, kFileSinkBufferSize - m_dwPending);
        std::memcpy(m_buffer.get() + m_dwPending, data + taken, n);
        m_dwPending += n;
        taken += n;
        if (m_dwPending == kFileSinkBufferSize && !Flush())
            return 0;
    }
    return size;
}

bool QVFileSink::Flush()
{
    if (m_dwPending == 0)
        return true;
    DWORD written = 0;
    const bool ok = ::WriteFile(m_hFile, m_buffer.get(), m_dwPending, &written, nullptr) &&
                    written == m_dwPending;
    m_dwPending = 0;
    return ok;
}

bool QVFileSink::Restart()
{
    m_dwPending = 0;
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(m_hFile, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(m_hFile);
}

} // namespace QV
