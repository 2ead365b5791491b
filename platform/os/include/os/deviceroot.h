// The device's file system lies below one host folder, the device root: the
// environment variable DEVICE_ROOT, or $HOME/.device-root when it is unset.
//
// Path rules:
// - A device path ("\Hard Disk\x.txt", "Hard Disk\x.txt", "/Hard Disk/x.txt") lies below
//   the root; separators may be "\" or "/", and each existing element is found
//   ignoring case, as on the device.
// - An absolute path that already lies in the device root or the program's own folder
//   (as GetModuleFileName reports it) is a host path and is used as it stands.
// - "." is skipped, ".." steps up; a path that would leave the root is refused.
// - A symbolic link is followed only where it leads to a place below the same folder
//   (the root, or the program's folder); a path through a link that leads out of it,
//   or nowhere, is refused.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace os
{
// The host folder of the device root, created when missing; no trailing "/".
std::string deviceRoot();
// The host folder of the running program (of /proc/self/exe).
std::string programDirectory();
// The host path of a device path; nothing when the path would leave the root.
std::optional<std::string> toHostPath(std::string_view devicePath);
std::optional<std::string> toHostPath(std::u16string_view devicePath);
// Opens one of the device's own files by its host path (open(2) flags; close-on-exec is
// added). A final link is followed only where it leads to a file in the device root: a
// link out of it, or to nothing, is refused with EACCES, so nothing outside is read,
// written or created through it.
int openDeviceFile(const std::string& hostPath, int flags, mode_t mode = 0666);
// openDeviceFile as a stream of fdopen's mode; null when refused.
std::FILE* openDeviceStream(const std::string& hostPath, int flags, const char* mode);
// A log of the device opened for appending as openDeviceFile opens it; null when refused.
std::FILE* openDeviceLog(const std::string& hostPath);
} // namespace os
