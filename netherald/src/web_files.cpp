#include "web_files.h"

#include "device_files.h"

#include <os/deviceroot.h>
#include <os/text.h>

#include <fcntl.h>

#include <cstdio>

namespace netherald
{
namespace
{
bool isHostName(const std::u16string& name)
{
    if (name.empty())
        return false;
    for (const char16_t c : name)
    {
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        const bool digit = c >= u'0' && c <= u'9';
        if (!letter && !digit && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

enum class Written
{
    ok,
    notOpened,
    notWritten,
};

Written writeWholeFile(const std::string& path, const std::string& text)
{
    // The web folder's files are written only inside the device root, never through a link out of it.
    FILE* file = os::openDeviceStream(path, O_WRONLY | O_CREAT | O_TRUNC, "wb");
    if (!file)
        return Written::notOpened;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written ? Written::ok : Written::notWritten;
}

// The script's host path in the web folder, the folder made when missing.
std::string deviceScriptPath()
{
    const auto folder = makeFolder(kWebFolder);
    return folder ? *folder + "/upnp.js" : std::string();
}
} // namespace

std::string redirectPageText(const std::string& hostName)
{
    return "<script language=\"JavaScript\">\r\n<!--\r\ndocument.location = 'http://" + hostName +
           ":5120/UpnpWebsite/index.htm'\r\n//--></script>";
}

std::string deviceScriptText(const std::u16string& udn)
{
    return "var deviceid=\"" + os::toUtf8(udn) + "\";\r\nvar winxp=false;";
}

void writeRedirectPage(const std::u16string& hostName, UPnPLog& log)
{
    // The name goes into a script and a URL: only what a host name may hold.
    if (!isHostName(hostName))
    {
        log.write("Invalid Hostname");
        return;
    }
    const auto folder = makeFolder(u"\\Hard Disk\\WWW\\Config");
    const Written written =
        folder ? writeWholeFile(*folder + "/index.htm", redirectPageText(os::toUtf8(hostName)))
               : Written::notOpened;
    if (written == Written::notOpened)
        log.write("Unable to open/create index.htm");
    else if (written == Written::notWritten)
        log.write("Unable to write index.htm");
}

bool writeDeviceScript(const std::u16string& udn, UPnPLog& log)
{
    const std::string path = deviceScriptPath();
    if (path.empty())
    {
        log.write("Unable to get Path");
        return false;
    }
    switch (writeWholeFile(path, deviceScriptText(udn)))
    {
    case Written::notOpened:
        log.write("Unable to open/create upnp.js");
        return false;
    case Written::notWritten:
        log.write("Unable to write upnp.js");
        return false;
    case Written::ok:
        break;
    }
    return true;
}

void checkDeviceScript(const std::u16string& udn, UPnPLog& log)
{
    if (udn.empty())
    {
        log.write("Cannot check js file: Unable to get UDN");
        return;
    }
    const std::string path = deviceScriptPath();
    FILE* file = path.empty() ? nullptr : os::openDeviceStream(path, O_RDONLY, "rb");
    if (!file)
    {
        log.write("upnp.js not found");
        return;
    }
    char text[199];
    const size_t length = std::fread(text, 1, sizeof text, file);
    std::fclose(file);
    if (std::string(text, length) != deviceScriptText(udn))
        log.write("Invalid data in upnp.js");
}
} // namespace netherald
