// Token scanners over block text. Each works on a text cursor, advances it on
// success and leaves it unchanged on failure. The forms with a letter
// ("R<n>", "K<n>", ...) fail when the form does not match; their callers
// raise the syntax error.
#pragma once

#include <cstdint>

namespace NcScan
{
// Blanks and tabs only.
void skipBlanks(const char*& p);
// Every character of the white-space class.
void skipWhiteSpace(const char*& p);
// One or more decimal digits.
bool unsignedInteger(const char*& p, std::uint32_t& value);
// An optional "+" or "-", then an unsigned integer.
bool signedInteger(const char*& p, std::int32_t& value);
// Starts with a decimal digit, then digits 0-9 and A-F in either case.
bool hexNumber(const char*& p, std::uint32_t& value);
// An optional sign, decimal digits and at most one separator "." or ","; no
// exponent. At least one digit.
bool number(const char*& p, double& value);
// Decimal digits into a 16-bit value.
bool number16(const char*& p, std::uint16_t& value);
// "X", "Y" or "Z" in either case: 0, 1 or 2; -1 (cursor unchanged) otherwise.
int axisLetter(const char*& p);
// "Q" with a number from 1 to 5.
bool qNumber(const char*& p, int& number);
// The letter (either case) followed by an unsigned integer.
bool letterNumber(const char*& p, char letter, std::uint32_t& number);
// One of the letters in letters (upper case), either case, and a number;
// letter receives the upper-case letter.
bool oneOfLetters(const char*& p, const char* letters, char& letter, std::uint32_t& number);
// At "(": moves past the next ")" or to the line end (which is not consumed).
bool skipComment(const char*& p);
// In a number text that ends in a blank, removes trailing "0" digits before
// the blank while a digit precedes them and at least three characters remain.
void trimZeros(char* text);
// The first c in a zero-terminated 16-bit string; finding 0 yields the terminator.
const char16_t* findChar(const char16_t* text, char16_t c);
} // namespace NcScan
