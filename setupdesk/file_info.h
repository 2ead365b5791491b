// What the General page tells about a file: its version record and its last change.
#pragma once

#include <optional>
#include <string>

namespace setupdesk
{
struct FileInfo
{
    std::string company; // empty when the file has no version record
    std::string fileVersion;
    std::string dateModified; // "%d/%02d/%d %d:%02d": month, day, year, hour, minute
};

// The file is a device or host path.
FileInfo readFileInfo(const std::string& path);

// The program's own version as "%i.%i (Build %i)"; empty when it has no version record.
std::string programVersionText();
} // namespace setupdesk
