#include "event_log.h"

#include <os/deviceroot.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace
{
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}
} // namespace

namespace os::detail
{
bool appendEventLine(const std::string& source, DWORD type, const std::string& text)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long milliseconds = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char head[64];
    std::snprintf(head, sizeof head, "%s.%03ld\t", stamp, milliseconds);
    const std::string line =
        head + oneLine(source) + "\t" + std::to_string(type) + "\t-\t" + oneLine(text) + "\n";
    // Appended in one write, so lines of other processes never mix with it.
    const int fd = openDeviceFile(deviceRoot() + "/VosEvent.log", O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return false;
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    return written;
}
} // namespace os::detail
