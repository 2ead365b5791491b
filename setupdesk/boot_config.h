// The serial Vos connection in the Quberon boot configuration: a driver element with the
// service name "QbCOMPORTCONNECTION" in the boot project files, and the AddInits file
// that holds only that driver.
#pragma once

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

namespace setupdesk
{
constexpr const char* kSerialDriverElement =
    "<Driver><Type>1</Type><ServiceName>QbCOMPORTCONNECTION</ServiceName></Driver>";
constexpr const char* kAddInitsText =
    "<QbBootProject><Drivers><Driver><Type>1</Type><ServiceName>QbCOMPORTCONNECTION"
    "</ServiceName></Driver></Drivers><InitCmds/></QbBootProject>";

// The run-time system's folders from version 3 on (device paths ending in "\"); nothing
// where neither the folder's own value nor "InstallDir" is stored.
struct QuberonDirectories
{
    std::optional<std::string> target;
    std::optional<std::string> boot;
    std::optional<std::string> driver;
};
QuberonDirectories quberonDirectories();

// The boot project files of the run-time system's version (device paths); nothing where
// the folder is unknown.
struct BootFiles
{
    std::optional<std::string> defaultConfig;
    std::optional<std::string> currentConfig;
    std::optional<std::string> addInits;
};
BootFiles bootFiles(BYTE quberonMajor);

// The file names a driver with the service name along QbBootProject, Drivers, Driver,
// ServiceName. A file that cannot be opened holds nothing.
bool holdsSerialConnection(const std::string& devicePath);

// Writes one line to the temporary file; false when it failed.
using LineWriter = bool (*)(const std::string& line, std::FILE* file);
bool putLine(const std::string& line, std::FILE* file);

// Adds the driver element before the first "</Drivers>", or removes it, through a
// temporary file "ConfigTmp.xml" beside the file that replaces the file only when every
// write and the flush to the disk went well; otherwise the file stays as it was.
bool editSerialConnection(const std::string& devicePath, bool add, LineWriter writer = putLine);

// Deletes the AddInits file; with `create` writes it anew (its folder made when missing)
// with the boot project text and CR LF.
bool rewriteAddInits(const std::string& devicePath, bool create);
} // namespace setupdesk
