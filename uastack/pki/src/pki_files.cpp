#include "pki_files.h"

#include <opcua_memory.h>
#include <opcua_statuscodes.h>
#include <os/deviceroot.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace opcua_pki
{
std::optional<std::string> hostPath(const OpcUa_CharA* path)
{
    if (!path || !*path)
        return std::nullopt;
    return os::toHostPath(std::string_view(path));
}

bool isDirectory(const std::string& hostPath)
{
    struct stat info
    {
    };
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& hostPath)
{
    struct stat info
    {
    };
    return ::stat(hostPath.c_str(), &info) == 0;
}

std::optional<std::vector<unsigned char>> readFile(const std::string& hostPath)
{
    if (isDirectory(hostPath))
        return std::nullopt;
    FILE* file = std::fopen(hostPath.c_str(), "rb");
    if (!file)
        return std::nullopt;
    std::vector<unsigned char> content;
    unsigned char block[4096];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        content.insert(content.end(), block, block + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return content;
}

bool writeFile(const std::string& hostPath, const unsigned char* data, std::size_t size)
{
    FILE* file = std::fopen(hostPath.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return (std::fclose(file) == 0) && written;
}

OpcUa_StatusCode toByteString(const unsigned char* data, std::size_t size, OpcUa_ByteString* target)
{
    if (size == 0 || size > 0x7FFFFFFF)
        return OpcUa_BadInvalidArgument;
    auto* copy = static_cast<OpcUa_Byte*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(size)));
    if (!copy)
        return OpcUa_BadOutOfMemory;
    std::memcpy(copy, data, size);
    target->Length = static_cast<OpcUa_Int32>(size);
    target->Data = copy;
    return OpcUa_Good;
}
} // namespace opcua_pki
