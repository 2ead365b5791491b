#include <os/deviceroot.h>
#include <os/file.h>
#include <os/handle.h>
#include <os/text.h>

#include "file_errors.h"
#include "typed_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace
{
class RegularFile : public os::HandleObject
{
public:
    explicit RegularFile(int fd) : m_fd(fd) {}
    ~RegularFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    BOOL close() override
    {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0)
        {
            SetLastError(os::detail::errorFromErrno(errno));
            return FALSE;
        }
        return TRUE;
    }

    BOOL read(void* buffer, DWORD size, DWORD* done) override
    {
        size_t total = 0;
        while (total < size)
        {
            const ssize_t n = ::read(m_fd, static_cast<char*>(buffer) + total, size - total);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return fail(done, total);
            if (n == 0)
                break;
            total += static_cast<size_t>(n);
        }
        if (done)
            *done = static_cast<DWORD>(total);
        return TRUE;
    }

    BOOL write(const void* buffer, DWORD size, DWORD* done) override
    {
        size_t total = 0;
        while (total < size)
        {
            const ssize_t n = ::write(m_fd, static_cast<const char*>(buffer) + total, size - total);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail(done, total);
            total += static_cast<size_t>(n);
        }
        if (done)
            *done = static_cast<DWORD>(total);
        return TRUE;
    }

    DWORD seek(LONG distance, LONG* distanceHigh, DWORD method) override
    {
        static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
        if (method > FILE_END)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        const off_t offset =
            distanceHigh
                ? static_cast<off_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                     static_cast<uint32_t>(distance))
                : static_cast<off_t>(distance);
        const off_t position = lseek(m_fd, offset, kWhence[method]);
        if (position < 0)
        {
            SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : os::detail::errorFromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        if (distanceHigh)
            *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(position);
    }

    int fd() const { return m_fd; }

private:
    static BOOL fail(DWORD* done, size_t total)
    {
        SetLastError(os::detail::errorFromErrno(errno));
        if (done)
            *done = static_cast<DWORD>(total);
        return FALSE;
    }

    int m_fd;
};

// Built on first use: device-file code registers its opener from a static initialiser
// of this same library, which may run before this file's own globals.
struct OpenerSlot
{
    std::mutex mutex;
    os::DeviceFileOpener opener;
};

OpenerSlot& openerSlot()
{
    static auto* slot = new OpenerSlot;
    return *slot;
}

bool hostPathOf(LPCWSTR name, std::string& path)
{
    if (!name || !*name)
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const auto host = os::toHostPath(std::u16string_view(name));
    if (!host)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    path = *host;
    return true;
}

// A missing file in an existing folder is "file not found", else "path not found".
DWORD missingError(const std::string& path)
{
    const size_t slash = path.rfind('/');
    struct stat info
    {
    };
    if (slash != std::string::npos && slash > 0 && stat(path.substr(0, slash).c_str(), &info) != 0)
        return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

BOOL failWithErrno(const std::string& path)
{
    SetLastError(errno == ENOENT ? missingError(path) : os::detail::errorFromErrno(errno));
    return FALSE;
}

template <class Operation> BOOL withRegularFile(HANDLE handle, Operation operation)
{
    auto file = os::detail::typedHandle<RegularFile>(handle);
    if (!file)
        return FALSE;
    return operation(*file);
}
} // namespace

namespace os
{
void setDeviceFileOpener(DeviceFileOpener opener)
{
    auto& slot = openerSlot();
    std::lock_guard lock(slot.mutex);
    slot.opener = std::move(opener);
}

bool isDeviceFileName(const std::u16string& name)
{
    if (name.size() != 5 || name[4] != u':' || name[3] < u'0' || name[3] > u'9')
        return false;
    for (int i = 0; i < 3; ++i)
    {
        const char16_t c = foldCase(name[i]);
        if (c < u'a' || c > u'z')
            return false;
    }
    return true;
}

namespace detail
{
DWORD errorFromErrno(int error)
{
    switch (error)
    {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    case EBUSY:
        return ERROR_BUSY;
    default:
        return ERROR_GEN_FAILURE;
    }
}
} // namespace detail
} // namespace os

extern "C" HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation,
                              DWORD flags, HANDLE)
{
    if (name && os::isDeviceFileName(name))
    {
        os::DeviceFileOpener opener;
        {
            auto& slot = openerSlot();
            std::lock_guard lock(slot.mutex);
            opener = slot.opener;
        }
        if (!opener)
        {
            SetLastError(ERROR_DEV_NOT_EXIST);
            return INVALID_HANDLE_VALUE;
        }
        return opener(name, access, share, creation, flags);
    }

    std::string path;
    if (!hostPathOf(name, path))
        return INVALID_HANDLE_VALUE;

    const bool reading = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    const bool writing = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    int mode = writing ? (reading ? O_RDWR : O_WRONLY) : O_RDONLY;
    if ((access & FILE_APPEND_DATA) && !(access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)))
        mode |= O_APPEND; // append-only access writes at the end whatever the position
    if (flags & FILE_FLAG_WRITE_THROUGH)
        mode |= O_DSYNC;
    switch (creation)
    {
    case CREATE_NEW:
        mode |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        mode |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        mode |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!writing)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        mode |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    struct stat info
    {
    };
    const bool existed = stat(path.c_str(), &info) == 0;
    if (existed && S_ISDIR(info.st_mode))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), mode | O_CLOEXEC, 0666);
    if (fd < 0)
    {
        SetLastError(errno == ENOENT ? missingError(path) : os::detail::errorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = os::registerHandle(std::make_shared<RegularFile>(fd));
    SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                   : ERROR_SUCCESS);
    return handle;
}

namespace
{
// Common checks of ReadFile/WriteFile before the handle's own transfer runs.
template <typename Transfer>
BOOL transferChecked(HANDLE handle, const void* buffer, DWORD size, LPDWORD done, Transfer transfer)
{
    if (done)
        *done = 0;
    auto object = os::handleObject(handle);
    if (!object)
        return FALSE;
    if (!buffer && size > 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return transfer(*object);
}
} // namespace

extern "C" BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED)
{
    return transferChecked(handle, buffer, size, read,
                           [&](os::HandleObject& object) { return object.read(buffer, size, read); });
}

extern "C" BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED)
{
    return transferChecked(handle, buffer, size, written,
                           [&](os::HandleObject& object) { return object.write(buffer, size, written); });
}

extern "C" DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method)
{
    auto object = os::handleObject(handle);
    if (!object)
        return INVALID_SET_FILE_POINTER;
    return object->seek(distance, distanceHigh, method);
}

extern "C" BOOL DeviceIoControl(HANDLE handle, DWORD code, LPVOID input, DWORD inputSize, LPVOID output,
                                DWORD outputSize, LPDWORD returned, LPOVERLAPPED)
{
    auto object = os::handleObject(handle);
    if (!object)
        return FALSE;
    return object->ioControl(code, input, inputSize, output, outputSize, returned);
}

extern "C" DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh)
{
    DWORD low = INVALID_FILE_SIZE;
    withRegularFile(handle,
                    [&](RegularFile& file)
                    {
                        struct stat info
                        {
                        };
                        if (fstat(file.fd(), &info) != 0)
                        {
                            SetLastError(os::detail::errorFromErrno(errno));
                            return FALSE;
                        }
                        low = static_cast<DWORD>(info.st_size);
                        if (sizeHigh)
                            *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
                        SetLastError(ERROR_SUCCESS);
                        return TRUE;
                    });
    return low;
}

extern "C" BOOL SetEndOfFile(HANDLE handle)
{
    return withRegularFile(handle,
                           [](RegularFile& file)
                           {
                               const off_t position = lseek(file.fd(), 0, SEEK_CUR);
                               if (position < 0 || ftruncate(file.fd(), position) != 0)
                               {
                                   SetLastError(os::detail::errorFromErrno(errno));
                                   return FALSE;
                               }
                               return TRUE;
                           });
}

extern "C" BOOL FlushFileBuffers(HANDLE handle)
{
    return withRegularFile(handle,
                           [](RegularFile& file)
                           {
                               if (fsync(file.fd()) != 0)
                               {
                                   SetLastError(os::detail::errorFromErrno(errno));
                                   return FALSE;
                               }
                               return TRUE;
                           });
}

extern "C" BOOL DeleteFileW(LPCWSTR name)
{
    std::string path;
    if (!hostPathOf(name, path))
        return FALSE;
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return unlink(path.c_str()) == 0 ? TRUE : failWithErrno(path);
}

extern "C" BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists)
{
    std::string from;
    std::string to;
    if (!hostPathOf(existing, from) || !hostPathOf(target, to))
        return FALSE;
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return failWithErrno(from);
    const int destination =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC), 0666);
    if (destination < 0)
    {
        const int error = errno;
        ::close(source);
        errno = error;
        return failWithErrno(to);
    }
    char buffer[65536];
    BOOL result = TRUE;
    for (;;)
    {
        const ssize_t n = ::read(source, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            if (n < 0)
                result = failWithErrno(from);
            break;
        }
        ssize_t written = 0;
        while (written < n)
        {
            const ssize_t w = ::write(destination, buffer + written, static_cast<size_t>(n - written));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
            {
                result = failWithErrno(to);
                break;
            }
            written += w;
        }
        if (!result)
            break;
    }
    ::close(source);
    if (::close(destination) != 0 && result)
        result = failWithErrno(to);
    return result;
}

extern "C" BOOL MoveFileW(LPCWSTR existing, LPCWSTR target)
{
    std::string from;
    std::string to;
    if (!hostPathOf(existing, from) || !hostPathOf(target, to))
        return FALSE;
    struct stat info
    {
    };
    if (stat(to.c_str(), &info) == 0)
    {
        SetLastError(ERROR_ALREADY_EXISTS); // moving never replaces a file
        return FALSE;
    }
    return rename(from.c_str(), to.c_str()) == 0 ? TRUE : failWithErrno(from);
}

extern "C" BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES)
{
    std::string path;
    if (!hostPathOf(name, path))
        return FALSE;
    if (mkdir(path.c_str(), 0777) == 0)
        return TRUE;
    if (errno == EEXIST)
    {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    return failWithErrno(path);
}

extern "C" BOOL RemoveDirectoryW(LPCWSTR name)
{
    std::string path;
    if (!hostPathOf(name, path))
        return FALSE;
    return rmdir(path.c_str()) == 0 ? TRUE : failWithErrno(path);
}

extern "C" DWORD GetFileAttributesW(LPCWSTR name)
{
    std::string path;
    if (!hostPathOf(name, path))
        return INVALID_FILE_ATTRIBUTES;
    struct stat info
    {
    };
    if (stat(path.c_str(), &info) != 0)
    {
        failWithErrno(path);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}
