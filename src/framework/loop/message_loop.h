// A thread's message pump with message filters and idle handlers.
#pragma once

#include "framework/loop/message_source.h"
#include "framework/loop/pointer_array.h"

namespace QV
{

// Offered every retrieved message before it is translated and dispatched.
class CMessageFilter
{
public:
    // True when the filter consumed the message, which is then neither translated nor dispatched.
    virtual bool PreTranslateMessage(LoopMessage* pMsg) = 0;

protected:
    ~CMessageFilter() = default;
};

// Work done when the thread's message queue has drained.
class CIdleHandler
{
public:
    // Called by the loop at idle time; the answer (a Win32 BOOL) is ignored.
    virtual int HandleIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

// The pump. Its filter and idle-handler arrays belong to the thread that runs it and are not
// locked. It does not own the filters and handlers registered with it.
class CMessageLoop
{
public:
    // Both arrays start empty, without storage; they allocate through `allocator`.
    explicit CMessageLoop(IAllocator& allocator = CrtAllocator()) noexcept;
    virtual ~CMessageLoop() = default;
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // True when a filter consumed the message: the filters are asked from the last registered
    // to the first, null entries skipped, until one answers true.
    virtual bool FilterMessage(LoopMessage* pMsg);
    // Calls HandleIdle on every registered handler in order (nulls skipped). A handler may
    // unregister itself or another during its call; the walk goes on at the next index of the
    // shortened array. The idle count is not used. Always answers false.
    virtual bool RunIdleHandlers(int nIdleCount);

    // Appends the handler (duplicates and null allowed). False, nothing changed, when the array
    // cannot grow.
    bool RegisterIdleHandler(CIdleHandler* pIdleHandler) noexcept;
    // Removes the first registration of the handler. False when it is not registered.
    bool UnregisterIdleHandler(CIdleHandler* pIdleHandler) noexcept;
    // The same for message filters.
    bool RegisterMessageFilter(CMessageFilter* pFilter) noexcept;
    bool UnregisterMessageFilter(CMessageFilter* pFilter) noexcept;

    // Pumps `source` until its quit message and answers the quit message's wParam. Idle work runs
    // once when the loop starts on an empty queue and again each time the queue drains after a
    // message other than WM_PAINT, WM_NCMOUSEMOVE, 0x0118 and WM_MOUSEMOVE. A failed retrieval
    // is skipped. Never polls: without idle work due it waits in source.Get.
    int Run(IMessageSource& source);
#ifdef _WIN32
    // Run on the calling thread's own message queue.
    int Run();
#endif

    // The last message retrieved (the quit message once Run has returned).
    const LoopMessage& GetCurrentMessage() const noexcept
    {
        return m_msg;
    }
    int GetIdleHandlerCount() const noexcept
    {
        return m_aIdleHandler.GetSize();
    }
    int GetIdleHandlerCapacity() const noexcept
    {
        return m_aIdleHandler.GetCapacity();
    }
    int GetMessageFilterCount() const noexcept
    {
        return m_aMsgFilter.GetSize();
    }

private:
    CPointerArray<CMessageFilter> m_aMsgFilter;
    CPointerArray<CIdleHandler> m_aIdleHandler;
    LoopMessage m_msg;
};

} // namespace QV
