#include "password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace os::detail
{
namespace
{
constexpr int kIterations = 10000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
constexpr std::string_view kScheme = "pbkdf2-sha256";

std::string toHex(const std::vector<unsigned char>& bytes)
{
    std::string text;
    char pair[3];
    for (unsigned char byte : bytes)
    {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

bool fromHex(std::string_view text, std::vector<unsigned char>& bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2)
    {
        const std::string pair(text.substr(i, 2));
        char* end = nullptr;
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (!end || *end != '\0')
            return false;
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

bool derive(std::string_view password, const std::vector<unsigned char>& salt, int iterations,
            std::vector<unsigned char>& hash)
{
    hash.assign(kHashBytes, 0);
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), iterations, EVP_sha256(),
                             static_cast<int>(hash.size()), hash.data()) == 1;
}
} // namespace

std::string hashPassword(std::string_view password)
{
    std::vector<unsigned char> salt(kSaltBytes);
    std::vector<unsigned char> hash;
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1 ||
        !derive(password, salt, kIterations, hash))
        return {};
    return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" + toHex(salt) + "$" + toHex(hash);
}

bool verifyPassword(std::string_view stored, std::string_view password)
{
    // scheme $ iterations $ salt $ hash
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t end = stored.find('$'); end != std::string_view::npos; end = stored.find('$', start))
    {
        parts.push_back(stored.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(stored.substr(start));
    if (parts.size() != 4 || parts[0] != kScheme)
        return false;
    const int iterations = std::atoi(std::string(parts[1]).c_str());
    std::vector<unsigned char> salt, expected, hash;
    if (iterations <= 0 || !fromHex(parts[2], salt) || !fromHex(parts[3], expected) ||
        expected.size() != kHashBytes || !derive(password, salt, iterations, hash))
        return false;
    return CRYPTO_memcmp(hash.data(), expected.data(), kHashBytes) == 0;
}
} // namespace os::detail
