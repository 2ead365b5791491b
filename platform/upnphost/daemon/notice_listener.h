// The host's end of the reload notice (host_notice.h).
#pragma once

#include <functional>
#include <string>
#include <thread>

namespace upnphost
{
class NoticeListener
{
public:
    explicit NoticeListener(std::function<void()> reload);
    ~NoticeListener();
    NoticeListener(const NoticeListener&) = delete;
    NoticeListener& operator=(const NoticeListener&) = delete;

    // Listens on the socket (a stale one of an ended host is replaced); false otherwise.
    bool start(std::string& error);
    void stop();

private:
    void run();
    void serve(int connection);

    std::function<void()> m_reload;
    int m_listener = -1;
    int m_wake = -1;
    std::thread m_thread;
};
} // namespace upnphost
