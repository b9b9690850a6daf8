#include "engine/transfer_source_win32.h"

#include "common/srw_lock.h"

#include <algorithm>
#include <cstring>

namespace QV
{

void QVTransferAbort::Abort() noexcept
{
    CSrwExclusiveLock lock(m_lock);
    m_bAborted = true;
    if (m_pRequest != nullptr)
        m_pRequest->Abort();
}

bool QVTransferAbort::Attach(QVReadAheadRequest* request) noexcept
{
    CSrwExclusiveLock lock(m_lock);
    if (m_bAborted)
    {
        m_bAborted = false;
        return false;
    }
    m_pRequest = request;
    return true;
}

bool QVTransferAbort::IsAborted() noexcept
{
    CSrwExclusiveLock lock(m_lock);
    return m_bAborted;
}

void QVTransferAbort::Detach() noexcept
{
    CSrwExclusiveLock lock(m_lock);
    m_pRequest = nullptr;
    m_bAborted = false;
}

QVWinInetSource::QVWinInetSource(QVTransferAbort& abort, DWORD stallTimeoutMs)
    : m_abort(abort), m_dwStallTimeout(stallTimeoutMs)
{
    m_bAttached = m_abort.Attach(&m_request);
}

QVWinInetSource::~QVWinInetSource()
{
    if (m_bAttached)
        m_abort.Detach();
}

bool QVWinInetSource::Open(const std::wstring& url)
{
    if (!m_bAttached)
        return false;
    ReadAheadSettings settings;
    settings.connectTimeoutMs = kConnectTimeoutMs;
    settings.connectRetries = kConnectRetries;
    settings.stallTimeoutMs = m_dwStallTimeout;
    return m_request.Open(url, settings);
}

bool QVWinInetSource::HasErrorStatus()
{
    return m_request.HasErrorStatus();
}

uint64_t QVWinInetSource::GetContentLength()
{
    return m_request.GetContentLength();
}

int32_t QVWinInetSource::ReadChunk(TransferStats& stats, uint8_t* buffer)
{
    return m_request.ReadChunk(stats, buffer);
}

bool QVWinInetSource::WasAborted()
{
    return !m_bAttached || m_abort.IsAborted();
}

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

} // namespace QV
