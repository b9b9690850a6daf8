#include "engine/http/read_ahead_request.h"

#include "common/srw_lock.h"
#include "common/win_handle.h"
#include "engine/http/http_file.h"
#include "engine/http/internet_handle.h"

#include <cstring>

namespace QV
{

namespace
{

// A waiting consumer is woken when this many results are ready (or at an empty or failed read),
// else by its own time-out of kBatchWaitMs: one wake per block (a system call and a thread switch
// each) made a fast download a tenth slower, while a slow one can afford the short delay.
constexpr uint32_t kWakeBatch = 8;
constexpr DWORD kBatchWaitMs = 2;

struct Block
{
    int32_t count = 0; // as ReadChunk answers it
    uint8_t data[kTransferBlockSize];
};
} // namespace

// Shared by the consumer and the network thread; freed by whichever lets go last. The lock
// guards every field below it except the blocks between `head` and `head + filled`, which belong
// to the consumer, and the block at the tail, which the network thread fills outside the lock.
struct ReadAheadState
{
    QVInternetSession session;
    QVHttpFile request;
    std::wstring address;
    ReadAheadSettings settings;

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE consumerWake = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE producerWake = CONDITION_VARIABLE_INIT;
    bool aborted = false;             // Abort came: the consumer's waits fail
    bool released = false;            // the consumer has gone: the network thread stops
    bool opened = false;              // the network thread finished opening
    bool openSucceeded = false;       // ... and a response arrived
    bool openRefusedAsUnsafe = false; // ... or the connection was refused as unsafe
    bool consumerWaiting = false;
    bool producerWaiting = false;
    DWORD status = 0;
    uint64_t length = 0;
    ResponseHeaders headers;
    uint32_t head = 0;   // the oldest result not yet taken
    uint32_t filled = 0; // results ready from `head` on; a failure stays there for good
    Block blocks[kReadAheadBlocks];

    // Stops the network thread's next wait and closes the handles.
    void Stop(bool abort) noexcept
    {
        {
            CSrwExclusiveLock guard(lock);
            if (abort)
                aborted = true;
            else
                released = true;
        }
        ::WakeAllConditionVariable(&consumerWake);
        ::WakeAllConditionVariable(&producerWake);
        request.Close();
        session.Close();
    }

    // True when the network thread should go on.
    bool Wanted() noexcept
    {
        CSrwExclusiveLock guard(lock);
        return !aborted && !released;
    }
};

namespace
{
void SetSessionOptions(QVInternetHandle& session, const ReadAheadSettings& settings) noexcept
{
    if (settings.connectTimeoutMs != 0)
        session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, settings.connectTimeoutMs);
    if (settings.connectRetries != 0)
        session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, settings.connectRetries);
    // Windows also takes the stall time-outs from the session; Wine only from the request.
    ApplyStallTimeout(session, settings.stallTimeoutMs);
}

// Opens the request, publishes the outcome, then reads ahead until a read fails, the consumer
// goes, or an abort comes. Every wait of the consumer ends on an abort; this thread's own network
// calls end when the system lets them.
void RunNetworkThread(ReadAheadState& s) noexcept
{
    bool ok = false;
    DWORD openError = 0;
    if (s.Wanted())
    {
        SetSessionOptions(s.session, s.settings);
        s.request.SetStallTimeout(s.settings.stallTimeoutMs);
        s.request.SetProxySignIn(s.settings.signIn.get());
        try
        {
            ok = s.request.Open(s.session.GetHandle(), s.address, s.settings.start);
            openError = ok ? 0 : ::GetLastError();
        }
        catch (...)
        {
            ok = false;
        }
    }
    DWORD status = 0;
    const bool hasStatus = ok && s.request.QueryStatusCode(status);
    const uint64_t length = ok ? s.request.GetContentLength() : 0;
    ResponseHeaders headers;
    if (ok)
    {
        try
        {
            for (size_t i = 0; i < kResponseHeaderCount; ++i)
                headers[i] = s.request.QueryHeader(static_cast<ResponseHeader>(i));
        }
        catch (...)
        {
            ok = false;
        }
    }
    {
        CSrwExclusiveLock guard(s.lock);
        ok = ok && !s.aborted && !s.released;
        s.opened = true;
        s.openSucceeded = ok;
        s.openRefusedAsUnsafe = !ok && IsUnsafeConnectionError(openError);
        s.status = hasStatus ? status : 0;
        s.length = length;
        s.headers.swap(headers);
    }
    ::WakeAllConditionVariable(&s.consumerWake);

    while (ok)
    {
        Block* block = nullptr;
        {
            CSrwExclusiveLock guard(s.lock);
            while (s.filled == kReadAheadBlocks && !s.aborted && !s.released)
            {
                s.producerWaiting = true;
                ::SleepConditionVariableSRW(&s.producerWake, &s.lock, INFINITE, 0);
                s.producerWaiting = false;
            }
            if (s.aborted || s.released)
                break;
            block = &s.blocks[(s.head + s.filled) % kReadAheadBlocks];
        }
        const int32_t count = s.request.ReadChunk(block->data);
        ok = count >= 0;
        block->count = count;
        bool wake = false;
        {
            CSrwExclusiveLock guard(s.lock);
            ++s.filled;
            wake = s.consumerWaiting && (s.filled >= kWakeBatch || count <= 0);
        }
        if (wake)
            ::WakeConditionVariable(&s.consumerWake);
    }
    s.request.Close();
    s.session.Close();
}

DWORD WINAPI NetworkThread(void* parameter)
{
    std::unique_ptr<std::shared_ptr<ReadAheadState>> state(
        static_cast<std::shared_ptr<ReadAheadState>*>(parameter));
    RunNetworkThread(**state);
    return 0;
}
} // namespace

void QVTransferAbort::Abort() noexcept
{
    CSrwExclusiveLock lock(m_lock);
    if (m_pRequest != nullptr)
        m_pRequest->Abort();
    else
        m_bPending = true;
}

void QVTransferAbort::Attach(QVReadAheadRequest& request) noexcept
{
    CSrwExclusiveLock lock(m_lock);
    m_pRequest = &request;
    if (m_bPending)
    {
        m_bPending = false;
        request.Abort();
    }
}

void QVTransferAbort::Detach(QVReadAheadRequest& request) noexcept
{
    CSrwExclusiveLock lock(m_lock);
    if (m_pRequest == &request)
        m_pRequest = nullptr;
}

QVReadAheadRequest::QVReadAheadRequest(const ReadAheadSettings& settings, QVTransferAbort* abort)
    : m_state(std::make_shared<ReadAheadState>()), m_pAbort(abort)
{
    m_state->settings = settings;
    if (m_pAbort != nullptr)
        m_pAbort->Attach(*this);
}

QVReadAheadRequest::~QVReadAheadRequest()
{
    if (m_pAbort != nullptr)
        m_pAbort->Detach(*this);
    m_state->Stop(false);
}

bool QVReadAheadRequest::Open(const std::wstring& address)
{
    ReadAheadState& s = *m_state;
    {
        CSrwExclusiveLock guard(s.lock);
        if (s.aborted || m_bStarted)
            return false;
        m_bStarted = true;
    }
    s.address = address;
    auto parameter = std::make_unique<std::shared_ptr<ReadAheadState>>(m_state);
    CKernelHandle thread(::CreateThread(nullptr, 0, NetworkThread, parameter.get(), 0, nullptr));
    if (!thread)
        return false;
    parameter.release();

    CSrwExclusiveLock guard(s.lock);
    while (!s.opened && !s.aborted)
    {
        s.consumerWaiting = true;
        ::SleepConditionVariableSRW(&s.consumerWake, &s.lock, INFINITE, 0);
        s.consumerWaiting = false;
    }
    if (s.aborted || !s.openSucceeded)
        return false;
    m_dwStatus = s.status;
    m_qwLength = s.length;
    m_headers.swap(s.headers);
    m_bOpen = true;
    return true;
}

bool QVReadAheadRequest::HasErrorStatus() noexcept
{
    return !m_bOpen || m_dwStatus != 200;
}

uint32_t QVReadAheadRequest::GetStatusCode() noexcept
{
    return m_bOpen ? m_dwStatus : 0;
}

std::wstring QVReadAheadRequest::GetHeader(ResponseHeader header)
{
    const size_t i = static_cast<size_t>(header);
    return m_bOpen && i < kResponseHeaderCount ? m_headers[i] : std::wstring();
}

uint64_t QVReadAheadRequest::GetContentLength() noexcept
{
    return m_bOpen ? m_qwLength : 0;
}

int32_t QVReadAheadRequest::ReadChunk(uint8_t* buffer) noexcept
{
    if (!m_bOpen)
        return -1;
    ReadAheadState& s = *m_state;
    int32_t count = -1;
    bool wake = false;
    {
        CSrwExclusiveLock guard(s.lock);
        while (s.filled == 0 && !s.aborted)
        {
            s.consumerWaiting = true;
            ::SleepConditionVariableSRW(&s.consumerWake, &s.lock, kBatchWaitMs, 0);
            s.consumerWaiting = false;
        }
        if (s.aborted)
            return -1;
        const Block& block = s.blocks[s.head];
        count = block.count;
        if (count < 0)
            return -1;
        std::memcpy(buffer, block.data, static_cast<size_t>(count));
        s.head = (s.head + 1) % kReadAheadBlocks;
        --s.filled;
        wake = s.producerWaiting;
    }
    if (wake)
        ::WakeConditionVariable(&s.producerWake);
    return count;
}

bool QVReadAheadRequest::WasAborted() noexcept
{
    CSrwExclusiveLock guard(m_state->lock);
    return m_state->aborted;
}

bool QVReadAheadRequest::WasRefusedAsUnsafe() noexcept
{
    CSrwExclusiveLock guard(m_state->lock);
    return m_state->opened && m_state->openRefusedAsUnsafe;
}

void QVReadAheadRequest::Abort() noexcept
{
    m_state->Stop(true);
}

} // namespace QV
