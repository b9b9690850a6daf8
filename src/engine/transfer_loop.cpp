#include "engine/transfer_loop.h"

#include "engine/engine_messages.h"
#include "engine/http/response_rules.h"

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

    static TransferOutcome End(TransferEnd end, const wchar_t* message)
    {
        TransferOutcome outcome;
        outcome.end = end;
        outcome.message = message;
        return outcome;
    }

    // A failure on the network side. One caused by an abort from outside is the user's
    // cancellation when the user interface says so, and never a network failure to retry.
    TransferOutcome NetworkFailure(TransferEnd end)
    {
        if (m_source.WasAborted())
            return IsCancelled() ? End(TransferEnd::Cancelled, kMsgDownloadCancelled)
                                 : End(TransferEnd::Aborted, kMsgDownloadFailed);
        return End(end, kMsgDownloadFailed);
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

ResponseFacts ReadFacts(ITransferSource& source)
{
    ResponseFacts facts;
    facts.status = source.GetStatusCode();
    facts.length = source.GetContentLength();
    facts.contentRange = source.GetHeader(ResponseHeader::ContentRange);
    facts.etag = source.GetHeader(ResponseHeader::ETag);
    facts.lastModified = source.GetHeader(ResponseHeader::LastModified);
    return facts;
}
} // namespace

TransferOutcome RunTransferAttempt(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                                   IVersionUpdateCallback* callback, const std::wstring& url,
                                   TransferResume& resume, uint32_t& totalReceived)
{
    Transfer t(source, callback, url);
    const HttpRangeStart asked = PlanAttempt(resume);
    if (!source.Open(url))
        return t.NetworkFailure(source.WasRefusedAsUnsafe() ? TransferEnd::Refused
                                                            : TransferEnd::NoResponse);

    const ResponseFacts facts = ReadFacts(source);
    switch (JudgeResponse(resume, asked, facts))
    {
    case ResponseUse::BadStatus:
    {
        TransferOutcome outcome = Transfer::End(TransferEnd::BadStatus, kMsgDownloadFailed);
        outcome.status = facts.status;
        outcome.retryAfterMs = ParseRetryAfter(source.GetHeader(ResponseHeader::RetryAfter),
                                               source.GetHeader(ResponseHeader::Date));
        return outcome;
    }
    case ResponseUse::BadLength:
        return Transfer::End(TransferEnd::BadResponse, kMsgDownloadFailed);
    case ResponseUse::Refused:
        resume = TransferResume();
        return Transfer::End(TransferEnd::RangeRefused, kMsgDownloadFailed);
    case ResponseUse::Whole:
        // Whatever an earlier attempt left belongs to another answer, perhaps another version.
        if (!sink.Restart())
            return Transfer::End(TransferEnd::WriteFailed, kMsgWriteFailed);
        resume = TransferResume();
        resume.length = facts.length;
        resume.etag = facts.etag;
        resume.lastModified = facts.lastModified;
        break;
    case ResponseUse::Continue:
        break;
    }

    const uint32_t total = static_cast<uint32_t>(resume.length);
    const uint32_t offset = static_cast<uint32_t>(resume.written);
    const uint32_t previousTotal = totalReceived;
    if (offset == 0)
        t.Progress(0, 0, 0.0);
    t.FileSize(total);
    t.TotalReceived(previousTotal + offset);
    t.Progress(total, offset, 0.0);

    // After a network failure the bytes received stay in the file for the next attempt, but only
    // when that attempt can ask to continue them.
    auto keepForResume = [&](uint64_t received, TransferEnd end)
    {
        resume.written = offset + received;
        if (PlanAttempt(resume).offset != 0 && !sink.Flush())
            return Transfer::End(TransferEnd::WriteFailed, kMsgWriteFailed);
        return t.NetworkFailure(end);
    };

    const uint32_t remaining = total - offset;
    uint8_t buffer[kTransferBlockSize] = {};
    uint32_t emptyReads = 0;
    TransferStats stats;
    StartTransferStats(stats, clock.Now(), remaining);
    while (stats.received < remaining)
    {
        if (t.IsCancelled())
            return Transfer::End(TransferEnd::Cancelled, kMsgDownloadCancelled);
        int32_t n = source.ReadChunk(buffer);
        if (n < 0)
            return keepForResume(stats.received, TransferEnd::ReadFailed);
        AddTransferBytes(stats, static_cast<uint32_t>(n), clock.Now());
        if (n > 0)
        {
            const uint32_t count = static_cast<uint32_t>(n);
            if (sink.Write(buffer, count) != count)
                return Transfer::End(TransferEnd::WriteFailed, kMsgWriteFailed);
            const uint32_t position = offset + static_cast<uint32_t>(stats.received);
            t.Progress(total, position, stats.averageSpeed);
            t.TotalReceived(previousTotal + position);
        }
        else
        {
            clock.Sleep(kEmptyReadPauseMs);
            ++emptyReads;
        }
        if (emptyReads > kMaxEmptyReads)
            break;
    }
    if (stats.received < remaining)
        return keepForResume(stats.received, TransferEnd::CutShort);
    if (stats.received > remaining)
    {
        // The file holds more than the announced length: nothing of it can be continued.
        resume = TransferResume();
        return t.NetworkFailure(TransferEnd::BadResponse);
    }
    if (!sink.Flush())
        return Transfer::End(TransferEnd::WriteFailed, kMsgWriteFailed);

    resume.written = resume.length;
    totalReceived = previousTotal + total;
    t.Progress(total, total, stats.averageSpeed);
    t.TotalReceived(totalReceived);
    return Transfer::End(TransferEnd::Complete, nullptr);
}

bool RunTransferLoop(ITransferSource& source, IFileSink& sink, ITransferClock& clock,
                     IVersionUpdateCallback* callback, const std::wstring& url,
                     uint32_t& totalReceived)
{
    TransferResume resume;
    const TransferOutcome outcome =
        RunTransferAttempt(source, sink, clock, callback, url, resume, totalReceived);
    if (outcome.end == TransferEnd::Complete)
        return true;
    if (callback != nullptr)
        callback->OnError(outcome.message);
    return false;
}

} // namespace QV
