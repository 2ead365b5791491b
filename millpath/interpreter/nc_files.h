// The files Millpath opens: programs, sub-programs, definition files, the tool
// and zero-point tables and its log. Each name is a device path and goes through
// the device-path check, so that no file outside the device root is read or
// written, neither by "..", a host path, nor a link on the way (the file's own
// name included).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

// The host path of a regular file below the root; nothing when there is none
// or the path leads out of the root.
std::optional<std::string> NcDeviceFilePath(const std::string& path);
// The whole text of such a file; false when there is none.
bool NcReadDeviceFile(const std::string& path, std::string& text);
// Opens the file as fopen does; nullptr when the path leads out of the root.
std::FILE* NcOpenDeviceFile(const std::string& path, const char* mode);
