#include "upnp_log.h"

#include "device_files.h"

#include <os/deviceroot.h>
#include <windows.h>

#include <fcntl.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace netherald
{
namespace
{
constexpr const char16_t* kLogName = u"UPnPLog";

std::string logPath()
{
    const auto folder = makeFolder(kUPnPFolder);
    return folder ? *folder + "/" + os::toUtf8(kLogName) + ".txt" : std::string();
}

// A file above the limit goes, so that the next line starts a new one.
void restartWhenFull(const std::string& path)
{
    FILE* file = os::openDeviceStream(path, O_RDONLY, "rb");
    if (!file)
        return;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::fclose(file);
    if (size > UPnPLog::kLimit)
        std::remove(path.c_str());
}
} // namespace

UPnPLog::UPnPLog()
    : m_enabled(os::registryDword(HKEY_LOCAL_MACHINE, kSettingsKey, u"EnableLogFile").value_or(0) != 0)
{
}

void UPnPLog::write(const std::string& message)
{
    if (!m_enabled)
        return;
    std::lock_guard lock(m_mutex);
    const std::string path = logPath();
    if (path.empty())
        return;
    restartWhenFull(path);
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "<%02d-%02d-%04d, %02d:%02d:%02d>", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    // Appended only inside the device root, never through a link out of it.
    if (FILE* file = os::openDeviceLog(path))
    {
        std::fprintf(file, "%s %s\n", stamp, message.c_str());
        std::fclose(file);
    }
}

void UPnPLog::writef(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    write(text);
}
} // namespace netherald
