#include <os/message.h>
#include <os/sync.h>

#include "thread_end.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace
{
const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

struct Queue
{
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<MSG> messages;
    bool quit = false;
    int quitCode = 0;
};

struct Queues
{
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<Queue>> byThread;
};

Queues& queues()
{
    static auto* instance = new Queues;
    return *instance;
}

std::shared_ptr<Queue> queueOf(DWORD threadId)
{
    auto& all = queues();
    std::lock_guard lock(all.mutex);
    const auto it = all.byThread.find(threadId);
    return it == all.byThread.end() ? nullptr : it->second;
}

void installSignalForwarding();

// Removes the thread's queue when the thread ends.
struct QueueOwner
{
    std::shared_ptr<Queue> queue;
    DWORD threadId = 0;
    ~QueueOwner() { release(); }
    void release()
    {
        if (!queue)
            return;
        auto& all = queues();
        std::lock_guard lock(all.mutex);
        all.byThread.erase(threadId);
        queue.reset();
    }
};
thread_local QueueOwner t_queue;

Queue& ownQueue()
{
    if (!t_queue.queue)
    {
        t_queue.threadId = GetCurrentThreadId();
        t_queue.queue = std::make_shared<Queue>();
        {
            auto& all = queues();
            std::lock_guard lock(all.mutex);
            all.byThread[t_queue.threadId] = t_queue.queue;
        }
        if (t_queue.threadId == GetCurrentProcessId())
            installSignalForwarding();
    }
    return *t_queue.queue;
}

bool inRange(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// With the queue locked: takes (or only looks at) the first matching message.
bool takeMessage(Queue& queue, MSG& out, UINT first, UINT last, bool remove)
{
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it)
    {
        if (it->message == WM_QUIT || inRange(it->message, first, last))
        {
            out = *it;
            if (remove)
                queue.messages.erase(it);
            return true;
        }
    }
    if (queue.quit)
    {
        out = MSG{};
        out.message = WM_QUIT;
        out.wParam = static_cast<WPARAM>(queue.quitCode);
        out.time = GetTickCount();
        if (remove)
            queue.quit = false;
        return true;
    }
    return false;
}

bool validWindow(HWND window)
{
    if (window == nullptr || window == kThreadMessagesOnly)
        return true;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
}

bool post(Queue& queue, UINT message, WPARAM wParam, LPARAM lParam)
{
    {
        std::lock_guard lock(queue.mutex);
        MSG entry{};
        entry.message = message;
        entry.wParam = wParam;
        entry.lParam = lParam;
        entry.time = GetTickCount();
        queue.messages.push_back(entry);
    }
    queue.posted.notify_all();
    return true;
}

// ---- SIGINT and SIGTERM -------------------------------------------------------------

int g_signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t ignored = write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// Signals arrive at any thread; this thread turns them into WM_QUIT for the main thread.
void forwardSignals()
{
    int received = 0;
    for (;;)
    {
        unsigned char number = 0;
        const ssize_t n = read(g_signalPipe[0], &number, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        if (++received > 1)
        {
            signal(number, SIG_DFL); // a second request does not wait for an orderly stop
            sigset_t own;
            sigemptyset(&own);
            sigaddset(&own, number);
            pthread_sigmask(SIG_UNBLOCK, &own, nullptr); // blocked on this thread since its start
            raise(number);
            continue;
        }
        PostThreadMessageW(GetCurrentProcessId(), WM_QUIT, 0, 0);
    }
}

std::mutex g_forwardingMutex;
bool g_forwarding = false;

// A forked child has no forwarding thread: it starts with the default reactions.
void afterFork()
{
    g_forwarding = false;
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    close(g_signalPipe[0]);
    close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

void installSignalForwarding()
{
    std::lock_guard lock(g_forwardingMutex);
    if (g_forwarding || pipe2(g_signalPipe, O_CLOEXEC) != 0)
        return;
    static const int registered = pthread_atfork(nullptr, nullptr, afterFork);
    (void)registered;
    g_forwarding = true;
    // The forwarding thread never takes these signals itself: a handler run on a thread blocked in
    // read, whose call is restarted, may be held back (as a thread checker does) until that read
    // returns, which only the handler's own byte would make it do.
    sigset_t stopSignals;
    sigset_t previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    std::thread(forwardSignals).detach();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // A thread checker sets up a thread's signal state on its first waiting call and loses a signal
    // that arrives meanwhile; this thread, the one that takes these signals, waits once (no time)
    // before they are caught, so its first GetMessage wait cannot swallow the stop request.
    poll(nullptr, 0, 0);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
} // namespace

void os::detail::endThreadMessageQueue()
{
    t_queue.release();
}

extern "C" BOOL GetMessageW(LPMSG message, HWND window, UINT first, UINT last)
{
    if (!message)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!validWindow(window))
        return -1;
    Queue& queue = ownQueue();
    std::unique_lock lock(queue.mutex);
    queue.posted.wait(lock, [&] { return takeMessage(queue, *message, first, last, true); });
    return message->message == WM_QUIT ? FALSE : TRUE;
}

extern "C" BOOL PeekMessageW(LPMSG message, HWND window, UINT first, UINT last, UINT remove)
{
    if (!message)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!validWindow(window))
        return FALSE;
    Queue& queue = ownQueue();
    std::lock_guard lock(queue.mutex);
    return takeMessage(queue, *message, first, last, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

extern "C" BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window != nullptr)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return post(ownQueue(), message, wParam, lParam) ? TRUE : FALSE;
}

extern "C" BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto queue = queueOf(threadId);
    if (!queue)
    {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return post(*queue, message, wParam, lParam) ? TRUE : FALSE;
}

extern "C" void PostQuitMessage(int exitCode)
{
    // A thread without a loop of its own asks the program's main loop to end.
    std::shared_ptr<Queue> target = t_queue.queue ? t_queue.queue : queueOf(GetCurrentProcessId());
    Queue& queue = target ? *target : ownQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.quit = true;
        queue.quitCode = exitCode;
    }
    queue.posted.notify_all();
}

extern "C" BOOL TranslateMessage(const MSG*)
{
    return FALSE; // no keyboard messages to translate
}

extern "C" LRESULT DispatchMessageW(const MSG*)
{
    return 0;
}
