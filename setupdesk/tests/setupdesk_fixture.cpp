#include "setupdesk_fixture.h"

#include <quberon_system.h>

#include <os/deviceroot.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace setupdesk::test
{
namespace
{
HKEY createKey(const char16_t* key)
{
    HKEY handle = nullptr;
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
        ERROR_SUCCESS)
        << os::toUtf8(key);
    return handle;
}

template <class T> T entry(HMODULE module, const char* name)
{
    auto* found = reinterpret_cast<T>(GetProcAddress(module, name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}
} // namespace

void setValue(const char16_t* key, const char16_t* name, DWORD type, const std::vector<BYTE>& bytes)
{
    const HKEY handle = createKey(key);
    EXPECT_EQ(RegSetValueExW(handle, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(handle);
}

Value dwordValue(DWORD number)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(&number);
    return Value{REG_DWORD, std::vector<BYTE>(bytes, bytes + 4)};
}

Value stringValue(const std::string& text)
{
    const std::u16string wide = os::toUtf16(text);
    const auto* bytes = reinterpret_cast<const BYTE*>(wide.c_str());
    return Value{REG_SZ, std::vector<BYTE>(bytes, bytes + (wide.size() + 1) * 2)};
}

void setDword(const char16_t* key, const char16_t* name, DWORD number)
{
    setValue(key, name, REG_DWORD, dwordValue(number).bytes);
}

void setString(const char16_t* key, const char16_t* name, const std::string& text)
{
    setValue(key, name, REG_SZ, stringValue(text).bytes);
}

void deleteKey(const char16_t* key)
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
}

void deleteValue(const char16_t* key, const char16_t* name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(handle, name);
    RegCloseKey(handle);
}

std::optional<Value> value(const char16_t* key, const char16_t* name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    Value found;
    DWORD size = 0;
    LONG result = RegQueryValueExW(handle, name, nullptr, &found.type, nullptr, &size);
    if (result == ERROR_SUCCESS)
    {
        found.bytes.resize(size);
        result = RegQueryValueExW(handle, name, nullptr, &found.type, found.bytes.data(), &size);
    }
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS)
        return std::nullopt;
    return found;
}

std::optional<DWORD> dword(const char16_t* key, const char16_t* name)
{
    const auto found = value(key, name);
    if (!found || found->type != REG_DWORD || found->bytes.size() != 4)
        return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, found->bytes.data(), 4);
    return number;
}

std::optional<std::string> string(const char16_t* key, const char16_t* name)
{
    const auto found = value(key, name);
    if (!found || found->type != REG_SZ)
        return std::nullopt;
    std::u16string text(found->bytes.size() / 2, u'\0');
    std::memcpy(text.data(), found->bytes.data(), text.size() * 2);
    return os::toUtf8(text.c_str());
}

void writeDeviceFile(const std::string& devicePath, const std::string& contents)
{
    const auto host = os::toHostPath(devicePath);
    ASSERT_TRUE(host);
    std::filesystem::create_directories(std::filesystem::path(*host).parent_path());
    std::ofstream(*host, std::ios::binary) << contents;
}

std::optional<std::string> readDeviceFile(const std::string& devicePath)
{
    const auto host = os::toHostPath(devicePath);
    std::ifstream file(host.value_or(""), std::ios::binary);
    if (!host || !file)
        return std::nullopt;
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

void setOsMajorVersion(DWORD major)
{
    setDword(u"Platform", u"OsMajorVersion", major);
}

ZrConfigCore::ZrConfigCore() : m_module(LoadLibraryW(u"ZrConfigCore.dll"))
{
    EXPECT_NE(m_module, nullptr);
    if (!m_module)
        return;
    m_io = entry<decltype(m_io)>(m_module, "ZrConfigIO");
    m_fail = entry<decltype(m_fail)>(m_module, "ZrConfigTestFailCall");
    m_log = entry<decltype(m_log)>(m_module, "ZrConfigTestCallLog");
    m_reset = entry<decltype(m_reset)>(m_module, "ZrConfigTestReset");
    m_restart = entry<decltype(m_restart)>(m_module, "ZrConfigTestRestart");
    m_reset();
}

ZrConfigCore::~ZrConfigCore()
{
    if (m_module)
    {
        m_reset();
        FreeLibrary(m_module);
    }
}

std::vector<ZrConfigCall> ZrConfigCore::calls() const
{
    std::vector<ZrConfigCall> calls(m_log(nullptr, 0));
    calls.resize(m_log(calls.data(), static_cast<DWORD>(calls.size())));
    return calls;
}

SetupdeskTest::SetupdeskTest()
{
    EXPECT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, 0)));
    setQuberonMajorVersion(0);
}

SetupdeskTest::~SetupdeskTest()
{
    setQuberonMajorVersion(0);
    CoUninitialize();
}
} // namespace setupdesk::test
