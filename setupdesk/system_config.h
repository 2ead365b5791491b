// The Quberon boot project "SystemConfig.xml" and the event logger's entry in its process
// list, handled through the platform's XML document object.
#pragma once

#include <string>

namespace setupdesk
{
// The file's device path for the program-wide Quberon version: "\Hard Disk\Quberon\Boot\"
// up to version 2, from version 3 the folder of "CurrentVersion" (else "3.1").
std::u16string systemConfigPath();

// Whether a process element under "QbBootProject/Processes/Process" has the "Filename"
// "QbEventLoggerCe.exe" (ignoring case). False when the file cannot be loaded.
bool eventLoggerListed(const std::u16string& path);

enum class LoggerEdit
{
    Unchanged, // already as asked: the file was not written
    Saved,
    Untouched, // missing, malformed or of another kind, or the document object is missing
    SaveFailed,
};

// Adds the logger's process element (once) or removes every one. A missing or malformed
// file, or one whose root is no "QbBootProject" with "Processes", is left alone; an empty
// or blank file gets the skeleton first. Every other node is kept.
LoggerEdit setEventLogger(const std::u16string& path, bool listed);
} // namespace setupdesk
