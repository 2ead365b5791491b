// The text forms of the device functions: single-byte text of the device
// handed out as it is (...ExA) or as wide text (...ExW, ...ExT), and wide
// text converted to the device's code page on its way in.
#pragma once

#include "families.h"

#include <string>
#include <string_view>

namespace boardkit
{

// 87 for a missing destination or a size of 0; else the destination is zeroed.
DWORD clearText(LPSTR buffer, DWORD size);
DWORD clearText(LPWSTR buffer, DWORD size);

// Copies the text and its terminator into a destination cleared before. A
// destination too small for both stays empty: 122.
DWORD deliverText(std::string_view text, LPSTR buffer, DWORD size);
DWORD deliverText(std::string_view text, LPWSTR buffer, DWORD size);

// The text of a record: its bytes up to the first zero.
std::string_view recordText(const BYTE* record, DWORD size);

// A text form of the function's text record (`size` bytes, at least `minimum` back).
DWORD readTextForm(const fn::Function& function, LPSTR buffer, DWORD size);
DWORD readTextForm(const fn::Function& function, LPWSTR buffer, DWORD size);

// Wide text in the device's code page; characters it lacks become "?".
std::string deviceText(LPCWSTR text);
// Text of the device's code page as wide text.
std::u16string wideText(LPCSTR text);

} // namespace boardkit
