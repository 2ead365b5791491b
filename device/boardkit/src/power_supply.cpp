// Power-supply unit: the two display lines and their text forms.
#include "text_forms.h"

#include <boardkit.h>

#include <cstring>

using namespace boardkit;

namespace
{

// The line goes out as 16 characters and a zero byte: a longer text is cut,
// a shorter one padded with zeros.
DWORD sendLine(const fn::Function& f, std::string_view text)
{
    BYTE line[WM_DISPLAY_LINE_LENGTH + 1] = {};
    std::memcpy(line, text.data(), std::min<size_t>(text.size(), WM_DISPLAY_LINE_LENGTH));
    return DeviceIoWriteBuffer(f.group, f.offset, line, sizeof line, 0, f.level);
}

BOOL displayLine(const fn::Function& f, LPCSTR text)
{
    if (!text)
        return finish(ERROR_INVALID_PARAMETER);
    return finish(sendLine(f, std::string_view(text, strnlen(text, WM_DISPLAY_LINE_LENGTH))));
}

BOOL displayLine(const fn::Function& f, LPCWSTR text)
{
    if (!text)
        return finish(ERROR_INVALID_PARAMETER);
    return finish(sendLine(f, deviceText(text)));
}

} // namespace

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine1(LPCSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine1, text);
}

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine2(LPCSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine2, text);
}

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine1ExA(LPCSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine1, text);
}

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine2ExA(LPCSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine2, text);
}

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine1ExW(LPCWSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine1, text);
}

BOARDKIT_EXPORT BOOL ZrPwrSuppDisplayLine2ExW(LPCWSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine2, text);
}

BOARDKIT_EXPORT_CPP BOOL ZrPwrSuppDisplayLine1ExT(LPCWSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine1, text);
}

BOARDKIT_EXPORT_CPP BOOL ZrPwrSuppDisplayLine2ExT(LPCWSTR text)
{
    return displayLine(fn::ZrPwrSuppDisplayLine2, text);
}
