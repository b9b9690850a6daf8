#include "framework/loop/message_loop.h"

namespace QV
{
namespace
{

// Messages that arrive in streams without meaning new work: they must not re-arm idle work, or
// moving the mouse over a window would run the idle handlers continually.
bool RearmsIdleWork(unsigned int message) noexcept
{
    switch (message)
    {
    case 0x000F: // WM_PAINT
    case 0x00A0: // WM_NCMOUSEMOVE
    case 0x0118: // the system's caret-blink timer
    case 0x0200: // WM_MOUSEMOVE
        return false;
    default:
        return true;
    }
}

} // namespace

CMessageLoop::CMessageLoop(IAllocator& allocator) noexcept
    : m_aMsgFilter(allocator), m_aIdleHandler(allocator)
{
}

bool CMessageLoop::FilterMessage(LoopMessage* pMsg)
{
    for (int i = m_aMsgFilter.GetSize() - 1; i >= 0; --i)
    {
        CMessageFilter* pFilter = m_aMsgFilter[i];
        if (pFilter && pFilter->PreTranslateMessage(pMsg))
            return true;
    }
    return false;
}

bool CMessageLoop::RunIdleHandlers(int /*nIdleCount*/)
{
    // The size is read on every step: a handler may shorten the array during its call.
    for (int i = 0; i < m_aIdleHandler.GetSize(); ++i)
    {
        CIdleHandler* pHandler = m_aIdleHandler[i];
        if (pHandler)
            pHandler->HandleIdle();
    }
    return false;
}

bool CMessageLoop::RegisterIdleHandler(CIdleHandler* pIdleHandler) noexcept
{
    return m_aIdleHandler.Add(pIdleHandler);
}

bool CMessageLoop::UnregisterIdleHandler(CIdleHandler* pIdleHandler) noexcept
{
    return m_aIdleHandler.Remove(pIdleHandler);
}

bool CMessageLoop::RegisterMessageFilter(CMessageFilter* pFilter) noexcept
{
    return m_aMsgFilter.Add(pFilter);
}

bool CMessageLoop::UnregisterMessageFilter(CMessageFilter* pFilter) noexcept
{
    return m_aMsgFilter.Remove(pFilter);
}

int CMessageLoop::Run(IMessageSource& source)
{
    bool bDoIdle = true;
    int nIdleCount = 0;
    for (;;)
    {
        while (bDoIdle && !source.Peek())
        {
            if (!RunIdleHandlers(nIdleCount++))
                bDoIdle = false;
        }

        const int got = source.Get(m_msg);
        if (got == -1)
            continue;
        if (got == 0)
            break;

        if (!FilterMessage(&m_msg))
        {
            source.Translate(m_msg);
            source.Dispatch(m_msg);
        }

        if (RearmsIdleWork(m_msg.message))
        {
            bDoIdle = true;
            nIdleCount = 0;
        }
    }
    return static_cast<int>(m_msg.wParam);
}

} // namespace QV
