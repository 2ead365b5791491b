// Fresh device roots and helper processes for the tests of the os layer.
#pragma once

#include <os/types.h>

#include <string>
#include <vector>

namespace ostest
{
// Sets DEVICE_ROOT to a new temporary folder for the lifetime of the object.
class TempDeviceRoot
{
public:
    TempDeviceRoot();
    ~TempDeviceRoot();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

std::string helperPath();

// A power-supply folder below the device root, named by HKLM "Platform" "PowerSupplyPath",
// with one subfolder per supply and one file per value.
class PowerSupplyFolder
{
public:
    explicit PowerSupplyFolder(const TempDeviceRoot& root);
    void set(const std::string& supply, const std::string& name, const std::string& value);
    void erase(const std::string& supply, const std::string& name);
    // Moves the folder away and back, as a supply driver that goes and comes would.
    void hide();
    void restore();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Creates the key as needed and writes the value; a failure fails the test.
void setRegistryString(HKEY root, const std::u16string& path, const std::u16string& name,
                       const std::u16string& text);
void setRegistryDword(HKEY root, const std::u16string& path, const std::u16string& name, DWORD value);

// A helper program (os_test_helper beside the test) run as a child process
// with its standard output readable line by line.
class ChildProcess
{
public:
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::string& program = helperPath());
    ~ChildProcess();
    // The next line of output without its newline; empty on end of output or time-out.
    std::string readLine(int timeoutMilliseconds = 30000);
    void signal(int number);
    // Exit status as from waitpid (decode with WIFEXITED etc.); -1 on time-out.
    int wait(int timeoutMilliseconds = 30000);
    int pid() const { return m_pid; }

private:
    int m_pid = -1;
    int m_output = -1;
    std::string m_buffer;
    bool m_reaped = false;
};
} // namespace ostest
