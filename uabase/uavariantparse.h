#ifndef UABASE_UAVARIANTPARSE_H
#define UABASE_UAVARIANTPARSE_H

#include <opcua.h>

// Number texts as the variant conversions read them: base-10 integers and floating-point
// numbers, taken only when the whole text is consumed without overflow. Unsigned texts carry no
// sign.
namespace VariantParse
{
// Texts of this many bytes or more are refused before parsing.
constexpr OpcUa_UInt32 MaxTextBytes = 100;

bool parseSigned(const char* text, OpcUa_Int64& out);
bool parseUnsigned(const char* text, OpcUa_UInt64& out);
bool parseDouble(const char* text, OpcUa_Double& out);
} // namespace VariantParse

#endif
