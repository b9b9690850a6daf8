// The message loop on the calling thread's real message queue.
#include "framework/loop/message_loop.h"

#include <windows.h>

namespace QV
{
namespace
{

class CThreadMessageQueue final : public IMessageSource
{
public:
    bool Peek() override
    {
        MSG msg;
        return ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != FALSE;
    }

    int Get(LoopMessage& msg) override
    {
        MSG m;
        const BOOL got = ::GetMessageW(&m, nullptr, 0, 0);
        if (got == -1)
            return -1;
        msg.hwnd = m.hwnd;
        msg.message = m.message;
        msg.wParam = m.wParam;
        msg.lParam = m.lParam;
        msg.time = m.time;
        msg.x = m.pt.x;
        msg.y = m.pt.y;
        return got ? 1 : 0;
    }

    void Translate(const LoopMessage& msg) override
    {
        const MSG m = ToMsg(msg);
        ::TranslateMessage(&m);
    }

    void Dispatch(const LoopMessage& msg) override
    {
        const MSG m = ToMsg(msg);
        ::DispatchMessageW(&m);
    }

private:
    static MSG ToMsg(const LoopMessage& msg) noexcept
    {
        MSG m = {};
        m.hwnd = static_cast<HWND>(msg.hwnd);
        m.message = msg.message;
        m.wParam = msg.wParam;
        m.lParam = msg.lParam;
        m.time = msg.time;
        m.pt.x = msg.x;
        m.pt.y = msg.y;
        return m;
    }
};

} // namespace

int CMessageLoop::Run()
{
    CThreadMessageQueue queue;
    return Run(queue);
}

} // namespace QV
