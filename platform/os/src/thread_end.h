#pragma once

namespace os::detail
{
// Drops the calling thread's message queue; runs when a thread function returns,
// before the thread counts as ended.
void endThreadMessageQueue();
} // namespace os::detail
