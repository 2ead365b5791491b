// Registry scripts: what a script writes, and scripts that are refused whole.
#include "test_support.h"

#include <os/regscript.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace
{
std::string registryText()
{
    std::ifstream file(os::registryFilePath());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// A value as "type:text" ("sz:Free", "dword:42"), or what is missing.
std::string valueOf(HKEY root, const std::u16string& path, const std::u16string& name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "no key";
    BYTE data[512] = {};
    DWORD size = sizeof data - 2;
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return "no value";
    if (type == REG_DWORD)
    {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof number);
        return "dword:" + std::to_string(number);
    }
    return "sz:" + os::toUtf8(reinterpret_cast<const WCHAR*>(data));
}

TEST(RegistryScript, WritesKeysDefaultValuesAndNamedValues)
{
    ostest::TempDeviceRoot root;
    const char16_t script[] = uR"(
HKCR
{
    Sample.Thing.1 = s 'Thing Class'
    {
        CLSID = s '{6A1C3F20-1B2D-4E5F-9011-223344556677}'
    }
    NoRemove CLSID
    {
        ForceRemove {6A1C3F20-1B2D-4E5F-9011-223344556677} = s 'It''s a %WHAT%'
        {
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Free'
            }
            'Programmable'
            val Count = d 42
            val Mask = d 0xFFFFFFFF
            'With Blank' = s '100%% sure'
        }
    }
}
HKEY_LOCAL_MACHINE
{
    Software
    {
        val Seen = s ''
    }
}
)";
    ASSERT_EQ(os::registerScript(script, {{u"MODULE", u"\\opt\\bin\\libThing.so"}, {u"what", u"thing"}}),
              S_OK);

    const std::u16string cls = u"CLSID\\{6A1C3F20-1B2D-4E5F-9011-223344556677}";
    struct Expected
    {
        HKEY root;
        std::u16string path;
        std::u16string name;
        std::string value;
    };
    const Expected expected[] = {
        {HKEY_CLASSES_ROOT, u"Sample.Thing.1", u"", "sz:Thing Class"},
        {HKEY_CLASSES_ROOT, u"Sample.Thing.1\\CLSID", u"", "sz:{6A1C3F20-1B2D-4E5F-9011-223344556677}"},
        {HKEY_CLASSES_ROOT, cls, u"", "sz:It's a thing"},
        {HKEY_CLASSES_ROOT, cls + u"\\InprocServer32", u"", "sz:\\opt\\bin\\libThing.so"},
        {HKEY_CLASSES_ROOT, cls + u"\\InprocServer32", u"ThreadingModel", "sz:Free"},
        {HKEY_CLASSES_ROOT, cls + u"\\Programmable", u"", "no value"},
        {HKEY_CLASSES_ROOT, cls, u"Count", "dword:42"},
        {HKEY_CLASSES_ROOT, cls, u"Mask", "dword:4294967295"},
        {HKEY_CLASSES_ROOT, cls + u"\\With Blank", u"", "sz:100% sure"},
        {HKEY_LOCAL_MACHINE, u"Software", u"Seen", "sz:"},
        {HKEY_CLASSES_ROOT, cls + u"\\Nothing", u"", "no key"},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(valueOf(e.root, e.path, e.name), e.value)
            << os::toUtf8(e.path) << " " << os::toUtf8(e.name);
}

TEST(RegistryScript, ForceRemoveAndDeleteClearOldKeysNoRemoveKeepsThem)
{
    ostest::TempDeviceRoot root;
    ASSERT_EQ(
        os::registerScript(u"HKCR { Keep { Old = s 'a' } Forced { Old = s 'b' } Gone { Old = s 'c' } }", {}),
        S_OK);
    ASSERT_EQ(os::registerScript(u"HKCR { NoRemove Keep { New = s '1' } ForceRemove Forced { New = s '2' } "
                                 u"Delete Gone }",
                                 {}),
              S_OK);
    EXPECT_EQ(valueOf(HKEY_CLASSES_ROOT, u"Keep\\Old", u""), "sz:a");
    EXPECT_EQ(valueOf(HKEY_CLASSES_ROOT, u"Keep\\New", u""), "sz:1");
    EXPECT_EQ(valueOf(HKEY_CLASSES_ROOT, u"Forced\\Old", u""), "no key");
    EXPECT_EQ(valueOf(HKEY_CLASSES_ROOT, u"Forced\\New", u""), "sz:2");
    EXPECT_EQ(valueOf(HKEY_CLASSES_ROOT, u"Gone", u""), "no key");
}

TEST(RegistryScript, ScriptsThatCannotBeReadChangeNothing)
{
    ostest::TempDeviceRoot root;
    ASSERT_EQ(os::registerScript(u"HKCR { Present = s 'yes' }", {}), S_OK);
    const std::string before = registryText();
    const char16_t* broken[] = {
        u"HKCR { First = s 'one' Open { }",            // the root block never closes
        u"HKXX { Key = s 'x' }",                       // unknown root
        u"HKCR { Key = q 'x' }",                       // unknown type
        u"HKCR { Key = s 'open }",                     // unterminated quote
        u"HKCR { Key = s '%NOBODY%' }",                // replacement not given
        u"HKCR { Key = s '50% off' }",                 // a lone "%"
        u"HKCR { Key { val Name s 'x' } }",            // "val" without "="
        u"HKCR { Key { val Count = d 12x } }",         // no number
        u"HKCR { Key { val Count = d 0x100000000 } }", // beyond 32 bits
        u"HKCR { Key { val Count = d } }",             // value missing
        u"HKCR Key = s 'x'",                           // no block after the root
        u"HKCR { = s 'x' }",                           // no key name
        u"'HKCR' { Key = s 'x' }",                     // a quoted root
    };
    for (const char16_t* script : broken)
    {
        EXPECT_EQ(os::registerScript(script, {{u"MODULE", u"x"}}), E_INVALIDARG) << os::toUtf8(script);
        EXPECT_EQ(registryText(), before) << os::toUtf8(script);
    }
}
} // namespace
