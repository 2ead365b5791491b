#include "uafilepaths.h"

#include <os/deviceroot.h>

#include <cerrno>
#include <unistd.h>

std::optional<std::string> uaHostPath(const UaUniString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    return os::toHostPath(std::u16string_view(path.data(), static_cast<std::size_t>(path.length())));
}

std::optional<std::string> uaHostPath(const char* utf8Path)
{
    if (!utf8Path || !*utf8Path)
        return std::nullopt;
    return os::toHostPath(std::string_view(utf8Path));
}

FILE* uaOpenFile(const char* utf8Path, const char* mode)
{
    const auto host = uaHostPath(utf8Path);
    return host ? std::fopen(host->c_str(), mode) : nullptr;
}

bool uaCloseFileSynced(FILE* file)
{
    bool synced = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (synced && !closed)
        return false;
    errno = error;
    return synced;
}

UaUniString uaNormalizedPath(const UaUniString& path)
{
    UaUniString normalized = path;
    normalized.replace(UaUniString(u"\\"), UaUniString(u"/"));
    return normalized;
}
