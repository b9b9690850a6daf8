// A callback that records every report as one line of text, for checking the exact order.
#pragma once

#include "engine/version_update_callback.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace QV::test
{

class RecordingCallback : public IVersionUpdateCallback
{
public:
    // IsCancelled answers true from poll number `cancelAtPoll` on (1-based; 0: never).
    explicit RecordingCallback(unsigned cancelAtPoll = 0, bool recordPolls = true)
        : m_cancelAtPoll(cancelAtPoll), m_bRecordPolls(recordPolls)
    {
    }

    void OnDownloadBegin() override { Add("begin"); }
    void OnFileSize(uint32_t size) override { Add("size " + std::to_string(size)); }
    void OnTotalReceived(uint32_t bytes) override { Add("total " + std::to_string(bytes)); }
    void OnProgress(const std::wstring& url, uint32_t total, uint32_t received,
                    double speed) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back("progress " + std::to_string(total) + " " + std::to_string(received));
        m_urls.push_back(url);
        m_speeds.push_back(speed);
    }
    void OnDownloadComplete(bool success) override
    {
        Add(success ? "complete true" : "complete false");
    }
    void OnError(std::wstring message) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back("error");
        m_errors.push_back(message);
    }
    bool IsCancelled() override
    {
        unsigned poll = ++m_polls;
        if (m_bRecordPolls)
            Add("poll");
        return m_bCancelNow || (m_cancelAtPoll != 0 && poll >= m_cancelAtPoll);
    }

    // From now on IsCancelled answers true (any thread).
    void CancelNow() { m_bCancelNow = true; }

    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<std::wstring> Errors() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_errors;
    }
    std::vector<double> Speeds() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_speeds;
    }
    std::vector<std::wstring> Urls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_urls;
    }
    unsigned Polls() const { return m_polls; }

private:
    void Add(std::string event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
    std::vector<std::wstring> m_errors;
    std::vector<std::wstring> m_urls;
    std::vector<double> m_speeds;
    std::atomic<unsigned> m_polls{0};
    std::atomic<bool> m_bCancelNow{false};
    unsigned m_cancelAtPoll;
    bool m_bRecordPolls;
};

} // namespace QV::test
