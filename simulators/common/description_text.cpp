#include "description_text.h"

#include <windows.h>
#include <os/deviceroot.h>
#include <os/text.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace simdesc
{

bool tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error)
{
    size_t i = 0;
    while (i < line.size())
    {
        const char c = line[i];
        if (std::isspace(static_cast<unsigned char>(c)))
        {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        Token token;
        if (c == '"')
        {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size())
            {
                char d = line[i++];
                if (d == '"')
                {
                    closed = true;
                    break;
                }
                if (d == '\\' && i < line.size())
                    d = line[i++];
                token.text += d;
            }
            if (!closed)
            {
                error = "unterminated text";
                return false;
            }
        }
        else
        {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])) && line[i] != '#')
                token.text += line[i++];
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

bool parseUnsigned(const std::string& text, uint64_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

bool parseHexBytes(const std::string& text, std::vector<uint8_t>& bytes)
{
    if (text.rfind("hex:", 0) != 0 || text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 4; i < text.size(); i += 2)
    {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])))
            return false;
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return true;
}

namespace
{

std::u16string readText(const std::u16string& path, const char16_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, &key) != ERROR_SUCCESS)
        return {};
    WCHAR buffer[MAX_PATH] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::u16string(buffer) : std::u16string();
}

// The folder of the library this code is linked into.
std::filesystem::path libraryFolder()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&libraryFolder), &info) || !info.dli_fname)
        return {};
    return std::filesystem::path(info.dli_fname).parent_path();
}

bool failWith(DWORD code, std::string& error, std::string message)
{
    error = std::move(message);
    SetLastError(code);
    return false;
}

} // namespace

bool locateDescriptionFile(const std::u16string& activeKey, const char* defaultName, std::string& hostPath,
                           std::string& error)
{
    std::string deviceFile = defaultName;
    const std::u16string ownKey = readText(activeKey, u"Key");
    if (!ownKey.empty())
    {
        const std::u16string configured = readText(ownKey, u"Description");
        if (!configured.empty())
            deviceFile = os::toUtf8(configured);
    }
    const auto resolved = os::toHostPath(deviceFile);
    if (!resolved)
        return failWith(ERROR_BAD_PATHNAME, error,
                        "description path " + deviceFile + " leaves the device root");
    std::error_code copyError;
    if (!std::filesystem::exists(*resolved, copyError))
    {
        std::filesystem::copy_file(libraryFolder() / defaultName, *resolved, copyError);
        if (copyError)
            return failWith(ERROR_FILE_NOT_FOUND, error,
                            "no description " + *resolved +
                                " and no default to copy: " + copyError.message());
    }
    hostPath = *resolved;
    return true;
}

bool readDescriptionFile(const std::u16string& activeKey, const char* defaultName, std::string& text,
                         std::string& error)
{
    std::string hostPath;
    if (!locateDescriptionFile(activeKey, defaultName, hostPath, error))
        return false;
    std::ifstream file(hostPath, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    if (!file)
        return failWith(ERROR_BAD_FORMAT, error, hostPath + ": cannot be read");
    text = contents.str();
    return true;
}

} // namespace simdesc
