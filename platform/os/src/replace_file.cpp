#include <os/replace_file.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace
{
DWORD errorOf(int error)
{
    switch (error)
    {
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    default:
        return ERROR_WRITE_FAULT;
    }
}

bool writeAll(int fd, std::string_view contents)
{
    while (!contents.empty())
    {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
        {
            if (written == 0)
                errno = EIO;
            return false;
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}
} // namespace

namespace os
{
DWORD replaceFileContents(const std::string& hostPath, std::string_view contents)
{
    const std::filesystem::path target(hostPath);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return errorOf(errno);
    struct stat existing
    {
    };
    const mode_t mode = ::stat(hostPath.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    int error = 0;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, contents) || ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), hostPath.c_str()) != 0)
        error = errno;
    if (error != 0)
    {
        ::unlink(temporary.c_str());
        return errorOf(error);
    }
    // The rename reaches the disk with the folder.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0)
    {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return ERROR_SUCCESS;
}
} // namespace os
