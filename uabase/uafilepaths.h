#ifndef UABASE_UAFILEPATHS_H
#define UABASE_UAFILEPATHS_H

#include "uaunistring.h"

#include <cstdio>
#include <optional>
#include <string>

// Host paths of the library's device paths (the operating-system layer's rules).
std::optional<std::string> uaHostPath(const UaUniString& path);
std::optional<std::string> uaHostPath(const char* utf8Path);
// A C stream on a device path given in UTF-8; null when the path cannot be reached or opened.
FILE* uaOpenFile(const char* utf8Path, const char* mode);
// Closes a stream written to after its bytes have reached the disk, so that a full disk shows here at
// the latest and a file that was closed well survives a power cut. False, with errno of the first
// failure, when they have not; the stream is closed either way.
bool uaCloseFileSynced(FILE* file);
// Every "\" turned into "/".
UaUniString uaNormalizedPath(const UaUniString& path);

#endif
