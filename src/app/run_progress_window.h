// The main thread's run: the hidden progress window and the message loop that serves it.
#pragma once

namespace QV
{

// Registers a message loop for this thread, creates the progress dialog hidden and pumps messages
// until the dialog ends the run. Answers the quit code (0). Ends at once with 0, without waiting
// for anything, when the loop cannot be registered or the window cannot be created.
int RunProgressWindow();

} // namespace QV
