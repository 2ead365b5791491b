// The two web files the registration writes: the configuration page's redirect to the
// device's pages, and the script that names the device in its web folder.
#pragma once

#include "upnp_log.h"

#include <string>

namespace netherald
{
inline constexpr const char16_t* kWebFolder = u"\\Hard Disk\\UPnP\\UpnpWebsite";
inline constexpr const char16_t* kRedirectPage = u"\\Hard Disk\\WWW\\Config\\index.htm";

// Rewrites "\Hard Disk\WWW\Config\index.htm"; a host name of other than letters, digits,
// "-" and "." is logged ("Invalid Hostname") and no page is written.
void writeRedirectPage(const std::u16string& hostName, UPnPLog& log);

std::string redirectPageText(const std::string& hostName);
std::string deviceScriptText(const std::u16string& udn);

// Writes "upnp.js" into the web folder; false after a logged failure.
bool writeDeviceScript(const std::u16string& udn, UPnPLog& log);
// Reads the script back (at most 199 bytes) and logs when it is missing or differs.
void checkDeviceScript(const std::u16string& udn, UPnPLog& log);
} // namespace netherald
