// Per-thread message queues. A thread's queue exists from its first GetMessage or
// PeekMessage on. Once the main thread has its queue, SIGINT and SIGTERM post
// WM_QUIT to it, so the program leaves its loop and stops in order; a second such
// signal ends the process at once.
//
// There are no windows: messages are thread messages (hwnd null), and
// DispatchMessage has no window procedure to call.
#pragma once

#include <os/types.h>

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

struct POINT
{
    LONG x;
    LONG y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

extern "C"
{
    // TRUE for a message, FALSE for WM_QUIT, -1 on error. The range 0..0 takes every
    // message; WM_QUIT is taken whatever the range.
    BOOL GetMessageW(LPMSG message, HWND window, UINT first, UINT last);
    BOOL PeekMessageW(LPMSG message, HWND window, UINT first, UINT last, UINT remove);
    // A null window posts to the calling thread's queue.
    BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Fails with ERROR_INVALID_THREAD_ID when the thread has no queue.
    BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
    // WM_QUIT with the exit code comes once the messages posted before it are taken.
    // Called on a thread without a queue of its own, it ends the main thread's loop.
    void PostQuitMessage(int exitCode);
    BOOL TranslateMessage(const MSG* message);
    LRESULT DispatchMessageW(const MSG* message);
}

inline BOOL GetMessage(LPMSG message, HWND window, UINT first, UINT last)
{
    return GetMessageW(message, window, first, last);
}
inline BOOL PeekMessage(LPMSG message, HWND window, UINT first, UINT last, UINT remove)
{
    return PeekMessageW(message, window, first, last, remove);
}
inline BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostMessageW(window, message, wParam, lParam);
}
inline BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    return PostThreadMessageW(threadId, message, wParam, lParam);
}
inline LRESULT DispatchMessage(const MSG* message)
{
    return DispatchMessageW(message);
}
