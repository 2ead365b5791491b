#include "named_object.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{
std::string encodeName(const std::u16string& name)
{
    std::string encoded;
    for (unsigned char c : os::toUtf8(name))
    {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-')
        {
            encoded.push_back(static_cast<char>(c));
        }
        else
        {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            encoded += escaped;
        }
    }
    return encoded;
}

class FileLock
{
public:
    explicit FileLock(int fd) : m_fd(fd)
    {
        while (m_fd >= 0 && flock(m_fd, LOCK_EX) != 0 && errno == EINTR)
        {
        }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
        {
            flock(m_fd, LOCK_UN);
            close(m_fd);
        }
    }

private:
    int m_fd;
};
} // namespace

namespace os::detail
{
std::unique_ptr<SharedObjectFile> SharedObjectFile::open(const std::u16string& name, const char* kind,
                                                         size_t size, bool mayCreate, bool& created)
{
    created = false;
    const std::string folder = deviceRoot() + "/.objects";
    mkdir(folder.c_str(), 0777);
    // Creation and first use of any named object are serialised device-wide.
    FileLock guard(openDeviceFile(folder + "/.lock", O_RDWR | O_CREAT));

    const std::string path = folder + "/" + encodeName(name) + "." + kind;
    const int fd = openDeviceFile(path, O_RDWR | (mayCreate ? O_CREAT : 0));
    if (fd < 0)
    {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    // No other process holds the object: it starts afresh, as the last handle on it is gone.
    const bool unused = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (unused && !mayCreate)
    {
        flock(fd, LOCK_UN);
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (unused)
    {
        if (ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
        {
            ::close(fd);
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        created = true;
    }
    flock(fd, LOCK_SH); // converts the exclusive lock; the guard keeps others out meanwhile

    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED)
    {
        ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::unique_ptr<SharedObjectFile> file(new SharedObjectFile);
    file->m_fd = fd;
    file->m_data = data;
    file->m_size = size;
    file->m_path = path;
    return file;
}

SharedObjectFile::~SharedObjectFile()
{
    if (m_data)
        munmap(m_data, m_size);
    if (m_fd >= 0)
        ::close(m_fd);
}
} // namespace os::detail
