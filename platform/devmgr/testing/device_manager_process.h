// For tests: a fresh device root (DEVICE_ROOT of this process) and the real
// device manager program running on it.
#pragma once

#include <os/deviceroot.h>
#include <os/devio.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace devmgr::testing
{

class DeviceManagerProcess
{
public:
    DeviceManagerProcess()
    {
        char pattern[] = "/tmp/devroot-XXXXXX";
        const char* root = ::mkdtemp(pattern);
        if (root == nullptr)
            throw std::runtime_error(std::string("cannot create a device root: ") + std::strerror(errno));
        m_root = root;
        ::setenv("DEVICE_ROOT", m_root.c_str(), 1);
    }

    ~DeviceManagerProcess()
    {
        stop();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    const std::string& root() const { return m_root; }

    // Writes a file into the device root (a description, for one).
    void writeFile(const std::string& name, const std::string& text) const
    {
        std::ofstream(m_root + "/" + name, std::ios::binary) << text;
    }

    // Starts the manager from the program folder and waits until it serves.
    bool start()
    {
        const std::string program = os::programDirectory() + "/devmgr";
        const std::string log = m_root + "/devmgr.log";
        m_pid = ::fork();
        if (m_pid == 0)
        {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0)
            {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline)
        {
            if (answers())
                return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            {
                m_pid = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Stops the manager with SIGTERM; its exit status, or -1.
    int stop()
    {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string log() const
    {
        std::ifstream file(m_root + "/devmgr.log");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

private:
    bool answers() const
    {
        const std::string path = os::devio::managerSocketPath();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    std::string m_root;
    pid_t m_pid = -1;
};

} // namespace devmgr::testing
