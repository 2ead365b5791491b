// Registry scripts: the keys an in-process server writes when it is registered, kept as
// text in the library.
//
//     HKCR
//     {
//         Sample.Thing.1 = s 'Thing Class'
//         {
//             CLSID = s '{6A1C3F20-1B2D-4E5F-9011-223344556677}'
//         }
//         NoRemove CLSID
//         {
//             ForceRemove {6A1C3F20-1B2D-4E5F-9011-223344556677} = s 'Thing Class'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Free'
//                 }
//                 'Programmable'
//             }
//         }
//     }
//
// Roots: HKCR, HKLM, HKCU, HKU (or their long names). A key is a name, bare or in single
// quotes ('' is one quote), then "= <type> <value>" for its default value and a block
// with subkeys and "val <name> = <type> <value>" lines. Types: s (text in quotes), d (a
// 32-bit number, decimal or 0x hex). "ForceRemove" deletes the key before writing it,
// "Delete" deletes it and writes nothing; "NoRemove" marks keys that stay when the server
// is removed, which changes nothing when writing. Tokens are separated by white space.
// "%NAME%" stands for the value given for NAME, "%%" for "%".
#pragma once

#include <os/types.h>

#include <initializer_list>
#include <string_view>

namespace os
{
struct ScriptReplacement
{
    std::u16string_view name;
    std::u16string_view value;
};

// Writes the keys of the script. The whole script is read before anything is written:
// a script that cannot be read (or names an unknown replacement) gives E_INVALIDARG and
// changes nothing; a registry call that fails gives its error as an HRESULT.
HRESULT registerScript(std::u16string_view script, std::initializer_list<ScriptReplacement> replacements);
} // namespace os
