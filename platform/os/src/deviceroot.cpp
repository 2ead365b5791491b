#include <os/deviceroot.h>
#include <os/text.h>
#include <os/types.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace
{
bool makeDirectories(const std::string& path)
{
    std::string prefix;
    size_t start = 0;
    while (start <= path.size())
    {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        prefix = path.substr(0, end);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return true;
}

// Creates the root once; later calls only check that it is still there.
void ensureFolder(const std::string& root)
{
    // Never destroyed: threads may still use paths while the process ends.
    static auto* mutex = new std::mutex;
    static auto* ensured = new std::string;
    std::lock_guard lock(*mutex);
    struct stat info
    {
    };
    if (root == *ensured && stat(root.c_str(), &info) == 0)
        return;
    if (makeDirectories(root))
        *ensured = root;
}

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool startsWithFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

// The path with every link in it followed; nothing when a link leads nowhere.
std::optional<std::string> resolvedPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return std::nullopt;
    return std::string(resolved);
}

// Finds the entry of a folder whose name equals the element ignoring case.
std::string findIgnoringCase(const std::string& folder, const std::string& element)
{
    struct stat info
    {
    };
    if (lstat((folder + "/" + element).c_str(), &info) == 0)
        return element;
    DIR* directory = opendir(folder.c_str());
    if (!directory)
        return element;
    std::string match = element;
    while (const dirent* entry = readdir(directory))
    {
        if (os::equalsNoCase(entry->d_name, element))
        {
            match = entry->d_name;
            break;
        }
    }
    closedir(directory);
    return match;
}
} // namespace

namespace os
{
std::string deviceRoot()
{
    std::string root;
    if (const char* configured = std::getenv("DEVICE_ROOT"); configured && *configured)
    {
        root = configured;
    }
    else
    {
        const char* home = std::getenv("HOME");
        root = std::string(home && *home ? home : "/tmp") + "/.device-root";
    }
    if (root[0] != '/')
    {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd))
            root = std::string(cwd) + "/" + root; // host paths in the root are recognised by their prefix
    }
    root = withoutTrailingSlash(root);
    ensureFolder(root);
    return root;
}

std::string programDirectory()
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0)
        return ".";
    std::string path(buffer.data(), static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::string> toHostPath(std::string_view devicePath)
{
    std::string path(devicePath);
    for (char& c : path)
        if (c == '\\')
            c = '/';

    const std::string root = deviceRoot();
    std::string base = root;
    std::string rest = path;
    if (!path.empty() && path[0] == '/')
    {
        const std::string program = programDirectory();
        if (startsWithFolder(path, root))
            rest = path.substr(root.size());
        else if (startsWithFolder(path, program))
        {
            base = program;
            rest = path.substr(program.size());
        }
    }

    std::vector<std::string> elements;
    size_t start = 0;
    while (start <= rest.size())
    {
        size_t slash = rest.find('/', start);
        if (slash == std::string::npos)
            slash = rest.size();
        const std::string element = rest.substr(start, slash - start);
        start = slash + 1;
        if (element.empty() || element == ".")
            continue;
        if (element == "..")
        {
            if (elements.empty())
                return std::nullopt;
            elements.pop_back();
            continue;
        }
        elements.push_back(element);
    }

    std::string host = base;
    std::string deepestExisting = base;
    bool exists = true;
    for (const std::string& element : elements)
    {
        const std::string name = exists ? findIgnoringCase(host, element) : element;
        host += "/" + name;
        struct stat info
        {
        };
        const bool found = exists && lstat(host.c_str(), &info) == 0;
        if (found)
            deepestExisting = host;
        // A link is followed by the next element's lookup: go on as for a folder.
        exists = found && (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode));
    }
    // Links are followed only while they stay below the base: what exists of the
    // path, every link in it resolved, must lie there. A link that leads nowhere is
    // refused as well, as a file created through it would land where it points.
    if (deepestExisting != base)
    {
        const auto resolvedBase = resolvedPath(base);
        const auto resolved = resolvedPath(deepestExisting);
        if (!resolvedBase || !resolved || !startsWithFolder(*resolved, *resolvedBase))
            return std::nullopt;
    }
    return host;
}

std::optional<std::string> toHostPath(std::u16string_view devicePath)
{
    return toHostPath(toUtf8(devicePath));
}

int openDeviceFile(const std::string& hostPath, int flags, mode_t mode)
{
    flags |= O_CLOEXEC | O_NOFOLLOW;
    const int fd = ::open(hostPath.c_str(), flags, mode);
    if (fd >= 0 || errno != ELOOP)
        return fd;
    // The name is a link: its target is opened, and only where it lies in the root. The
    // target is opened by its resolved path without following a link again, so a link
    // put there meanwhile is not followed either.
    const auto root = resolvedPath(deviceRoot());
    const auto target = resolvedPath(hostPath);
    if (!root || !target || !startsWithFolder(*target, *root))
    {
        errno = EACCES;
        return -1;
    }
    return ::open(target->c_str(), flags, mode);
}

std::FILE* openDeviceStream(const std::string& hostPath, int flags, const char* mode)
{
    const int fd = openDeviceFile(hostPath, flags, 0644);
    std::FILE* file = fd >= 0 ? fdopen(fd, mode) : nullptr;
    if (!file && fd >= 0)
        close(fd);
    return file;
}

std::FILE* openDeviceLog(const std::string& hostPath)
{
    return openDeviceStream(hostPath, O_WRONLY | O_CREAT | O_APPEND, "a");
}
} // namespace os
