// The log "UPnPLog": "\Hard Disk\UPnP\UPnPLog.txt", written only while HKLM
// "SOFTWARE\Corvanta\UPnP" "EnableLogFile" is not 0 (read when the log is set up). A file
// grown beyond 40000 bytes is deleted before the next line, so a new one starts.
#pragma once

#include <mutex>
#include <string>

namespace netherald
{
class UPnPLog
{
public:
    UPnPLog();

    bool enabled() const { return m_enabled; }
    // One line: "<dd-mm-yyyy, hh:mm:ss> message" in local time.
    void write(const std::string& message);
    // printf-style.
    void writef(const char* format, ...) __attribute__((format(printf, 2, 3)));

    static constexpr long kLimit = 40000;

private:
    bool m_enabled;
    std::mutex m_mutex;
};

// The key of Netherald's own settings below HKEY_LOCAL_MACHINE.
inline constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Corvanta\\UPnP";
// The folder of the log, created when missing.
inline constexpr const char16_t* kUPnPFolder = u"\\Hard Disk\\UPnP\\";
} // namespace netherald
