// Stored passwords: "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", never the text.
#pragma once

#include <string>
#include <string_view>

namespace os::detail
{
// A fresh random salt each time; empty when no random bytes can be had.
std::string hashPassword(std::string_view password);
bool verifyPassword(std::string_view stored, std::string_view password);
} // namespace os::detail
