#include "text_forms.h"

#include <cstring>
#include <vector>

namespace boardkit
{

namespace
{

template <typename Char> DWORD clear(Char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return ERROR_INVALID_PARAMETER;
    std::memset(buffer, 0, size * sizeof(Char));
    return 0;
}

template <typename Char> DWORD copyFitting(const Char* text, size_t length, Char* buffer, DWORD size)
{
    if (length + 1 > size)
        return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(buffer, text, length * sizeof(Char));
    buffer[length] = 0;
    return 0;
}

template <typename Char> DWORD readForm(const fn::Function& function, Char* buffer, DWORD size)
{
    if (const DWORD error = clearText(buffer, size))
        return error;
    std::vector<BYTE> record(function.size, 0);
    if (const DWORD error = DeviceIoReadBuffer(function.group, function.offset, record.data(), function.size,
                                               function.minimum, function.level))
        return error;
    return deliverText(recordText(record.data(), function.size), buffer, size);
}

std::u16string widened(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), needed);
    return wide;
}

} // namespace

DWORD clearText(LPSTR buffer, DWORD size)
{
    return clear(buffer, size);
}

DWORD clearText(LPWSTR buffer, DWORD size)
{
    return clear(buffer, size);
}

DWORD deliverText(std::string_view text, LPSTR buffer, DWORD size)
{
    return copyFitting(text.data(), text.size(), buffer, size);
}

DWORD deliverText(std::string_view text, LPWSTR buffer, DWORD size)
{
    const std::u16string wide = widened(text);
    return copyFitting(wide.data(), wide.size(), buffer, size);
}

std::string_view recordText(const BYTE* record, DWORD size)
{
    const auto* text = reinterpret_cast<const char*>(record);
    return std::string_view(text, strnlen(text, size));
}

DWORD readTextForm(const fn::Function& function, LPSTR buffer, DWORD size)
{
    return readForm(function, buffer, size);
}

DWORD readTextForm(const fn::Function& function, LPWSTR buffer, DWORD size)
{
    return readForm(function, buffer, size);
}

std::string deviceText(LPCWSTR text)
{
    const int length = static_cast<int>(os::wideLength(text));
    if (length == 0)
        return {};
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, "?", nullptr);
    std::string single(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, length, single.data(), needed, "?", nullptr);
    return single;
}

std::u16string wideText(LPCSTR text)
{
    return widened(text ? std::string_view(text) : std::string_view());
}

} // namespace boardkit
