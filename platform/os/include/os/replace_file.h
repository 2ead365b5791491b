// Whole-file writes that never leave a part behind.
#pragma once

#include <os/types.h>

#include <string>
#include <string_view>

namespace os
{
// Writes the contents to a temporary file beside the target, flushes it to the disk and
// renames it over the target (keeping the target's permissions), then flushes the folder:
// readers see the old file or the new one, never a part. ERROR_SUCCESS, or the error that
// stopped it (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_WRITE_FAULT);
// then the target is as it was and no temporary file is left.
DWORD replaceFileContents(const std::string& hostPath, std::string_view contents);
} // namespace os
