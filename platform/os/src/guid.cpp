#include <os/guid.h>
#include <os/text.h>

#include <cctype>
#include <cstdio>

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace os
{
std::string guidToString(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string uuidText(const GUID& guid)
{
    std::string text = guidToString(guid).substr(1, 36);
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool guidFromString(const std::string& input, GUID& guid)
{
    std::string text = input;
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return false;
    std::string hex;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash != (text[i] == '-'))
            return false;
        if (!dash)
        {
            if (!std::isxdigit(static_cast<unsigned char>(text[i])))
                return false;
            hex.push_back(text[i]);
        }
    }
    auto field = [&](size_t offset, size_t digits)
    { return std::stoul(hex.substr(offset, digits), nullptr, 16); };
    guid.Data1 = static_cast<uint32_t>(field(0, 8));
    guid.Data2 = static_cast<uint16_t>(field(8, 4));
    guid.Data3 = static_cast<uint16_t>(field(12, 4));
    for (size_t i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<uint8_t>(field(16 + 2 * i, 2));
    return true;
}
} // namespace os

extern "C" int StringFromGUID2(REFGUID guid, WCHAR* buffer, int size)
{
    const std::u16string text = os::toUtf16(os::guidToString(guid));
    if (!buffer || size < static_cast<int>(text.size()) + 1)
        return 0;
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = u'\0';
    return static_cast<int>(text.size()) + 1;
}

extern "C" HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid)
{
    if (!text || !clsid)
        return E_INVALIDARG;
    return os::guidFromString(os::toUtf8(text), *clsid) ? S_OK : CO_E_CLASSSTRING;
}

extern "C" HRESULT IIDFromString(const WCHAR* text, IID* iid)
{
    return CLSIDFromString(text, iid);
}
