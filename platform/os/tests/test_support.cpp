#include "test_support.h"

#include <os/deviceroot.h>
#include <os/registry.h>
#include <os/text.h>

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace ostest
{
TempDeviceRoot::TempDeviceRoot()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "osroot-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
    setenv("DEVICE_ROOT", m_path.c_str(), 1);
}

TempDeviceRoot::~TempDeviceRoot()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

PowerSupplyFolder::PowerSupplyFolder(const TempDeviceRoot& root) : m_path(root.path() + "/supplies")
{
    std::filesystem::create_directories(m_path);
    const std::u16string value = os::toUtf16(m_path);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Platform", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(key, u"PowerSupplyPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))) != ERROR_SUCCESS)
        throw std::runtime_error("cannot name the power-supply folder");
    RegCloseKey(key);
}

void PowerSupplyFolder::set(const std::string& supply, const std::string& name, const std::string& value)
{
    std::filesystem::create_directories(m_path + "/" + supply);
    std::ofstream(m_path + "/" + supply + "/" + name) << value << "\n";
}

void PowerSupplyFolder::erase(const std::string& supply, const std::string& name)
{
    std::filesystem::remove(m_path + "/" + supply + "/" + name);
}

void PowerSupplyFolder::hide()
{
    std::filesystem::rename(m_path, m_path + ".away");
}

void PowerSupplyFolder::restore()
{
    std::filesystem::rename(m_path + ".away", m_path);
}

namespace
{
HKEY createKey(HKEY root, const std::u16string& path)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << os::toUtf8(path);
    return key;
}
} // namespace

void setRegistryString(HKEY root, const std::u16string& path, const std::u16string& name,
                       const std::u16string& text)
{
    HKEY key = createKey(root, path);
    EXPECT_EQ(os::setRegistryString(key, name.c_str(), text), ERROR_SUCCESS) << os::toUtf8(name);
    RegCloseKey(key);
}

void setRegistryDword(HKEY root, const std::u16string& path, const std::u16string& name, DWORD value)
{
    HKEY key = createKey(root, path);
    EXPECT_EQ(os::setRegistryDword(key, name.c_str(), value), ERROR_SUCCESS) << os::toUtf8(name);
    RegCloseKey(key);
}

std::string helperPath()
{
    return os::programDirectory() + "/os_test_helper";
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const std::string& program)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0)
    {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    m_output = pipeFds[0];
}

ChildProcess::~ChildProcess()
{
    if (!m_reaped && m_pid > 0)
    {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0)
        close(m_output);
}

std::string ChildProcess::readLine(int timeoutMilliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;)
    {
        const size_t newline = m_buffer.find('\n');
        if (newline != std::string::npos)
        {
            std::string line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd descriptor{m_output, POLLIN, 0};
        if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[256];
        const ssize_t n = read(m_output, chunk, sizeof chunk);
        if (n <= 0)
            return {};
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
}

void ChildProcess::signal(int number)
{
    kill(m_pid, number);
}

int ChildProcess::wait(int timeoutMilliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline)
    {
        const pid_t result = waitpid(m_pid, &status, WNOHANG);
        if (result == m_pid)
        {
            m_reaped = true;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}
} // namespace ostest
