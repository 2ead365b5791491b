// Small text utilities of the interpreter: narrow and wide text, formatted
// output into bounded buffers and the character classes the scanners use.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#include <os/text.h>
#include <os/types.h>

constexpr std::size_t NcFormatLimit = 1024;

// 0 for a null pointer.
std::size_t NcStrLen(const char* text);
// Formats into a buffer of NcFormatLimit bytes, always terminated; the result
// is the length written, or NcFormatLimit when the text was cut.
std::size_t NcFormat(char (&buffer)[NcFormatLimit], const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Appends the formatted text (at most NcFormatLimit - 1 bytes) to out.
void NcAppendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The output is emptied first; a null text gives false (no result).
bool NcNarrowToWide(const char* text, std::u16string& out, UINT codePage = CP_ACP);
bool NcWideToNarrow(const WCHAR* text, std::string& out, UINT codePage = CP_ACP);
// Nearest integer, halves away from zero.
long long NcRound(double value);
// Blank, tab, line feed, vertical tab, form feed and carriage return; every
// byte of 0x80 and above is not white space.
bool NcIsSpace(int c);
// Formats a narrow text into a wide buffer of size characters (with its
// terminator): E_FAIL when the text exceeded NcFormatLimit characters,
// E_INVALIDARG when it does not fit the buffer; S_OK otherwise.
HRESULT NcFormatWide(WCHAR* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
