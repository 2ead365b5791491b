#include "quberon_system.h"

namespace setupdesk
{
namespace
{
BYTE& majorVersion()
{
    static BYTE major = 0;
    return major;
}
} // namespace

BYTE quberonMajorVersion()
{
    return majorVersion();
}

void setQuberonMajorVersion(BYTE major)
{
    majorVersion() = major;
}

const char16_t* systemKeyOfVersion()
{
    return quberonMajorVersion() > 2 ? kQuberon3SystemKey : kQuberonSystemKey;
}

std::optional<OrxNetId> readOrxNetId(HKEY systemKey)
{
    OrxNetId id{};
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(id.size());
    if (!systemKey ||
        RegQueryValueExW(systemKey, u"OrxNetId", nullptr, &type, id.data(), &size) != ERROR_SUCCESS ||
        size < id.size())
        return std::nullopt;
    return id;
}
} // namespace setupdesk
