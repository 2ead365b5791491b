// Where Opcwatch finds its files: everything lies in the program's own folder.
#pragma once

#include <string>

// The program file as GetModuleFileName names it, however long.
std::u16string opcwatchProgramFile();
// The program file's folder in device form ("\" separators, no trailing "\").
std::u16string opcwatchProgramDirectory();
// "Opcwatch.xml" in the folder.
std::u16string opcwatchConfigurationFile(const std::u16string& programDirectory);
// "_Opcwatch.log" in the folder.
std::u16string opcwatchTraceFile(const std::u16string& programDirectory);
// The folder with a trailing "\"; the PKI folders lie below it.
std::u16string opcwatchCertificateStoreRoot(const std::u16string& programDirectory);

// The machine's host name, as "[NodeName]" is replaced with (at most 255 characters).
std::string opcwatchHostName();
// Replaces the first "[NodeName]" in the text by the host name; a second one stays.
std::string replaceNodeName(const std::string& text, const std::string& hostName);
