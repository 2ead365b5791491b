#include "securerandom.h"

#include <cerrno>
#include <vector>

#include <sys/random.h>

bool fillSecureRandom(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size)
    {
        const ssize_t got = ::getrandom(bytes + done, size - done, 0);
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

UaByteString secureRandomBytes(OpcUa_Int32 length)
{
    if (length <= 0)
        return UaByteString();
    std::vector<OpcUa_Byte> bytes(static_cast<std::size_t>(length));
    if (!fillSecureRandom(bytes.data(), bytes.size()))
        return UaByteString();
    return UaByteString(length, bytes.data());
}
