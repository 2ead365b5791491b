// File access of the folder store: device paths resolved by the operating-system layer.
#pragma once

#include <opcua_builtintypes.h>

#include <optional>
#include <string>
#include <vector>

namespace opcua_pki
{
// The host path of a UTF-8 device path; nothing for a null, empty or unreachable one.
std::optional<std::string> hostPath(const OpcUa_CharA* path);
bool isDirectory(const std::string& hostPath);
bool exists(const std::string& hostPath);
// The whole file, or nothing when it cannot be read.
std::optional<std::vector<unsigned char>> readFile(const std::string& hostPath);
bool writeFile(const std::string& hostPath, const unsigned char* data, std::size_t size);
// Fills target with a copy of the bytes in stack memory.
OpcUa_StatusCode toByteString(const unsigned char* data, std::size_t size, OpcUa_ByteString* target);
} // namespace opcua_pki
