#pragma once

#include <string>

namespace os::detail
{
// The host path of a regular file in a host folder, its name found ignoring case as the
// device's file system does; empty when there is none.
std::string findFileNoCase(const std::string& folder, const std::string& fileName);
} // namespace os::detail
