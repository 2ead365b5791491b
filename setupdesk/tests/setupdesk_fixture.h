// What the configuration program's tests share: a temporary device root with COM, the
// registry written and read with the platform's own calls, files in the device root, and
// ZrConfigCore's test exports.
#pragma once

#include <test_support.h>
#include <ui/testing/scripted_host.h>
#include <zrconfigcore/zrconfig.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace setupdesk::test
{
struct Value
{
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const Value&) const = default;
};

void setValue(const char16_t* key, const char16_t* name, DWORD type, const std::vector<BYTE>& bytes);
void setDword(const char16_t* key, const char16_t* name, DWORD value);
void setString(const char16_t* key, const char16_t* name, const std::string& text);
void deleteKey(const char16_t* key);
void deleteValue(const char16_t* key, const char16_t* name);
std::optional<Value> value(const char16_t* key, const char16_t* name);
std::optional<DWORD> dword(const char16_t* key, const char16_t* name);
std::optional<std::string> string(const char16_t* key, const char16_t* name);
Value dwordValue(DWORD number);
Value stringValue(const std::string& text);

// Files of the device root by device path ("\Hard Disk\x.xml").
void writeDeviceFile(const std::string& devicePath, const std::string& contents);
std::optional<std::string> readDeviceFile(const std::string& devicePath);

// HKLM "Platform" "OsMajorVersion".
void setOsMajorVersion(DWORD major);

// ZrConfigCore as this process has it loaded; its test state is cleared.
class ZrConfigCore
{
public:
    ZrConfigCore();
    ~ZrConfigCore();
    ZrConfigCore(const ZrConfigCore&) = delete;
    ZrConfigCore& operator=(const ZrConfigCore&) = delete;

    LONG io(DWORD code, DWORD index, void* buffer, DWORD size) const
    {
        return m_io(code, index, buffer, &size);
    }
    void failCall(DWORD code, DWORD nth, LONG result) const { m_fail(code, nth, result); }
    std::vector<ZrConfigCall> calls() const;
    void resetLog() const { m_reset(); }
    void restart() const { m_restart(); }

private:
    HMODULE m_module = nullptr;
    LONG (*m_io)(DWORD, DWORD, LPVOID, LPDWORD) = nullptr;
    void (*m_fail)(DWORD, DWORD, LONG) = nullptr;
    DWORD (*m_log)(ZrConfigCall*, DWORD) = nullptr;
    void (*m_reset)() = nullptr;
    void (*m_restart)() = nullptr;
};

// A page started on its own on a scripted host, and initialised as the main dialog does.
template <class Page> struct StartedPage
{
    template <class... Args> explicit StartedPage(Args&&... args) : page(std::forward<Args>(args)...)
    {
        host.start(page);
        page.initPage();
    }
    ui::testing::ScriptedHost host;
    Page page;
};

// A temporary device root with COM initialised and the program-wide Quberon version 0.
class SetupdeskTest : public ::testing::Test
{
protected:
    SetupdeskTest();
    ~SetupdeskTest() override;

    ostest::TempDeviceRoot m_root;
};
} // namespace setupdesk::test
