#include "shared_file.h"

#include <os/deviceroot.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace os::detail
{
FileLock::FileLock(const std::string& path) : m_fd(openDeviceFile(path, O_RDWR | O_CREAT))
{
    while (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0 && errno == EINTR)
    {
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        close(m_fd); // drops the lock
}

int createTemporary(const std::string& path, mode_t mode)
{
    unlink(path.c_str());
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

bool readWholeFile(int fd, std::string& text)
{
    text.clear();
    char buffer[65536];
    for (;;)
    {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<size_t>(n));
    }
}

bool writeWholeFile(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size())
    {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<std::string> tabFields(const std::string& line)
{
    std::vector<std::string> result;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');)
        result.push_back(field);
    return result;
}

bool readSharedFile(const std::string& hostPath, std::string& text, bool& exists)
{
    text.clear();
    exists = false;
    const int fd = openDeviceFile(hostPath, O_RDONLY);
    if (fd < 0)
        return errno == ENOENT;
    exists = true;
    const bool ok = readWholeFile(fd, text);
    close(fd);
    return ok;
}

namespace
{
bool replaceWhole(const std::string& hostPath, const std::string& text)
{
    const std::string temporary = hostPath + ".tmp";
    const int fd = createTemporary(temporary, 0600);
    if (fd < 0)
        return false;
    const bool written = writeWholeFile(fd, text) && fsync(fd) == 0;
    if (close(fd) != 0 || !written || rename(temporary.c_str(), hostPath.c_str()) != 0)
    {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}
} // namespace

DWORD updateSharedFile(const std::string& hostPath,
                       const std::function<DWORD(std::string& text, bool exists, bool& changed)>& change)
{
    FileLock lock(hostPath + ".lock");
    if (!lock.held())
        return ERROR_CANTWRITE;
    std::string text;
    bool exists = false;
    if (!readSharedFile(hostPath, text, exists))
        return ERROR_CANTREAD;
    bool changed = false;
    const DWORD result = change(text, exists, changed);
    if (changed && !replaceWhole(hostPath, text))
        return ERROR_CANTWRITE;
    return result;
}
} // namespace os::detail
