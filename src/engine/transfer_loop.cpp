#include "engine/transfer_loop.h"

#include "engine/engine_messages.h"

namespace QV
{

namespace
{
class Transfer
{
public:
    Transfer(ITransferSource& source, IVersionUpdateCallback* callback, const std::wstring& url)
        : m_source(source), m_pCallback(callback), m_url(url)
    {
    }

    bool IsCancelled() { return m_pCallback != nullptr && m_pCallback->IsCancelled(); }

    // Reports one failure and answers false.
    bool Fail(const wchar_t* message)
    {
        if (m_pCallback != nullptr)
            m_pCallback->OnError(message);
        return false;
    }

    // A failure on the network side. One caused by an abort from outside is the user's
    // cancellation when the user interface says so; otherwise it stays a download failure.
    bool FailDownload()
    {
        if (m_source.WasAborted() && IsCancelled())
            return Fail(kMsgDownloadCancelled);
        return Fail(kMsgDownloadFailed);
    }

    void Progress(uint32_t total, uint32_t received, double speed)
    {
        if (m_pCallback != nullptr)
            m_pCallback->OnProgress(m_url, total, received, speed);
    }

    void TotalReceived(uint32_t bytes)
    {
        if (m_pCallback != nullptr)
            m_pCallback->OnTotalReceived(bytes);
    }

    void FileSize(uint32_t size)
    {
        if (m_pCallback != nullptr)
            m_pCallback->OnFileSize(size);
    }

private:
    ITransferSource& m_source;
    IVersionUpdateCallback* m_pCallback;
    const std::wstring& m_url;
};
} // namespace

bool RunTransferLoop(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                     IVersionUpdateCallback* callback, const std::wstring& url,
                     uint32_t& totalReceived)
{
    Transfer t(source, callback, url);
    if (!source.Open(url))
        return t.FailDownload();
    if (source.HasErrorStatus())
        return t.FailDownload();
    const uint32_t total = static_cast<uint32_t>(source.GetContentLength());
    if (total == 0)
        return t.FailDownload();

    const uint32_t previousTotal = totalReceived;
    t.Progress(0, 0, 0.0);
    t.FileSize(total);
    t.TotalReceived(previousTotal);
    t.Progress(total, 0, 0.0);

    uint8_t buffer[kTransferBlockSize] = {};
    uint32_t emptyReads = 0;
    TransferStats stats;
    StartTransferStats(stats, clock.Now(), total);
    while (stats.received < total)
    {
        if (t.IsCancelled())
            return t.Fail(kMsgDownloadCancelled);
        int32_t n = source.ReadChunk(buffer);
        if (n < 0)
            return t.FailDownload();
        AddTransferBytes(stats, static_cast<uint32_t>(n), clock.Now());
        if (n > 0)
        {
            const uint32_t count = static_cast<uint32_t>(n);
            if (sink.Write(buffer, count) != count)
                return t.Fail(kMsgWriteFailed);
            const uint32_t received = static_cast<uint32_t>(stats.received);
            t.Progress(total, received, stats.averageSpeed);
            t.TotalReceived(previousTotal + received);
        }
        else
        {
            clock.Sleep(kEmptyReadPauseMs);
            ++emptyReads;
        }
        if (emptyReads > kMaxEmptyReads)
            break;
    }
    if (stats.received != total)
        return t.FailDownload();
    if (!sink.Flush())
        return t.Fail(kMsgWriteFailed);

    totalReceived = previousTotal + total;
    t.Progress(total, total, stats.averageSpeed);
    t.TotalReceived(totalReceived);
    return true;
}

} // namespace QV
