// 16-bit wide text (UTF-16 in char16_t) and its conversions.
#pragma once

#include <os/types.h>

#include <string>
#include <string_view>

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

namespace os
{
// Ill-formed input becomes U+FFFD; neither conversion fails.
std::u16string toUtf16(std::string_view utf8);
std::string toUtf8(std::u16string_view utf16);
// Null-safe conveniences for terminated wide text.
std::string toUtf8(const WCHAR* text);
size_t wideLength(const WCHAR* text);
// Compares ignoring case of ASCII and Latin-1 letters, as device names do.
int compareNoCase(std::u16string_view a, std::u16string_view b);
bool equalsNoCase(std::string_view a, std::string_view b);
char16_t foldCase(char16_t c);
} // namespace os

extern "C"
{
    // CP_UTF8 is UTF-8; CP_ACP and CP_OEMCP are the device's single-byte code page (Windows-1252).
    // A length of -1 includes the terminator; a zero output size returns the size needed.
    int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength, WCHAR* target,
                            int targetSize);
    int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* source, int sourceLength, char* target,
                            int targetSize, const char* defaultChar, BOOL* usedDefaultChar);
    // Leading blanks, an optional sign, then decimal digits up to the first other character;
    // 0 without digits or for null. Values beyond the 32-bit range are clamped to it.
    int _wtoi(const WCHAR* text);
}
