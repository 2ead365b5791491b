// The host's web folder "\Hard Disk\UPnP\UpnpWebsite", served below "/UpnpWebsite/".
#pragma once

#include <optional>
#include <string>

namespace upnphost
{
constexpr const char16_t* kWebFolder = u"\\Hard Disk\\UPnP\\UpnpWebsite";

struct WebFile
{
    std::string body;
    std::string contentType;
};

// Creates the folder and copies into it the files of the folder "UpnpWebsite" beside the
// program that it does not hold yet (pages and icons; the devices add their own files).
bool seedWebFolder();

// The file for a request path below "/UpnpWebsite/" (the part after it, "/"-separated):
// nothing for a path that is not a plain file of the folder. "" gives "index.htm".
std::optional<WebFile> readWebFile(const std::string& relativePath);

// A request path with "\" read as "/" and repeated "/" taken as one.
std::string normalisePath(const std::string& path);
} // namespace upnphost
