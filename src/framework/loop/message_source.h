// What the message loop needs of a message queue, so that its logic runs against the thread's
// real queue on Windows and against a scripted queue in tests.
#pragma once

#include <cstdint>

namespace QV
{

// The loop's copy of one queued message, field for field the platform's message record.
struct LoopMessage
{
    void* hwnd = nullptr;      // target window, null for a thread message
    unsigned int message = 0;  // message number
    std::uintptr_t wParam = 0; // first parameter; the exit code of the quit message
    std::intptr_t lParam = 0;  // second parameter
    std::uint32_t time = 0;    // time posted, in milliseconds
    std::int32_t x = 0;        // cursor position when posted
    std::int32_t y = 0;
};

// A thread's message queue, seen through the four calls the loop makes.
class IMessageSource
{
public:
    // True when a message is waiting; nothing is removed (PeekMessageW with PM_NOREMOVE).
    virtual bool Peek() = 0;
    // Waits for and removes the next message into `msg` (GetMessageW): 0 for the quit message,
    // -1 for a failed retrieval (msg then holds nothing useful), any other value for a message.
    virtual int Get(LoopMessage& msg) = 0;
    // Turns key messages into character messages (TranslateMessage).
    virtual void Translate(const LoopMessage& msg) = 0;
    // Delivers the message to its window procedure (DispatchMessageW).
    virtual void Dispatch(const LoopMessage& msg) = 0;

protected:
    ~IMessageSource() = default;
};

} // namespace QV
