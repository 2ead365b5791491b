#include "web_folder.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace upnphost
{
namespace
{
// Files beyond this are no web pages; they are not read into memory.
constexpr uintmax_t kLargestFile = 16 * 1024 * 1024;

std::string contentTypeOf(const std::string& name)
{
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    struct Type
    {
        const char* extension;
        const char* contentType;
    };
    static const Type types[] = {
        {"htm", "text/html"},  {"html", "text/html"},  {"js", "application/javascript"},
        {"css", "text/css"},   {"gif", "image/gif"},   {"png", "image/png"},
        {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"ico", "image/x-icon"},
        {"xml", "text/xml"},   {"txt", "text/plain"}};
    for (const Type& type : types)
        if (os::equalsNoCase(extension, type.extension))
            return type.contentType;
    return "application/octet-stream";
}
} // namespace

bool seedWebFolder()
{
    const auto folder = os::toHostPath(kWebFolder);
    std::error_code error;
    if (!folder || (std::filesystem::create_directories(*folder, error), error))
        return false;
    const std::filesystem::path shipped = os::programDirectory() + "/UpnpWebsite";
    if (!std::filesystem::is_directory(shipped, error))
        return true;
    for (const auto& entry : std::filesystem::directory_iterator(shipped, error))
    {
        if (!entry.is_regular_file(error))
            continue;
        const std::string name = entry.path().filename().string();
        // An existing file of the name, in any case, is the device's own and stays.
        const auto target = os::toHostPath(std::u16string(kWebFolder) + u"\\" + os::toUtf16(name));
        if (target && !std::filesystem::exists(*target, error))
            std::filesystem::copy_file(entry.path(), *target, error);
    }
    return true;
}

std::optional<WebFile> readWebFile(const std::string& relativePath)
{
    std::u16string devicePath = kWebFolder;
    std::string name = "index.htm";
    std::stringstream elements(relativePath.empty() ? name : relativePath);
    for (std::string element; std::getline(elements, element, '/');)
    {
        if (element.empty() || element == "." || element == "..")
            return std::nullopt;
        devicePath += u"\\" + os::toUtf16(element);
        name = element;
    }
    const auto hostPath = os::toHostPath(devicePath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error) ||
        std::filesystem::file_size(*hostPath, error) > kLargestFile || error)
        return std::nullopt;
    std::ifstream file(*hostPath, std::ios::binary);
    std::stringstream body;
    body << file.rdbuf();
    if (!file)
        return std::nullopt;
    return WebFile{body.str(), contentTypeOf(name)};
}

std::string normalisePath(const std::string& path)
{
    std::string out;
    for (char c : path)
    {
        if (c == '\\')
            c = '/';
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out.push_back(c);
    }
    return out;
}
} // namespace upnphost
