// Runs uaserver_testserver as a process of its own on a free port of loopback: waits for the URL it
// prints once listening, and stops it with SIGTERM.
#pragma once

#include "freeport.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace uaservertest
{
// The resident and peak resident memory of a process in KiB, from /proc; 0 when it is gone.
struct ProcessMemory
{
    long residentKb = 0;
    long peakKb = 0;
    static ProcessMemory of(pid_t pid)
    {
        ProcessMemory m;
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(in, line);)
        {
            if (line.rfind("VmRSS:", 0) == 0)
                m.residentKb = std::atol(line.c_str() + 6);
            else if (line.rfind("VmHWM:", 0) == 0)
                m.peakKb = std::atol(line.c_str() + 6);
        }
        return m;
    }
};

class TestServerProcess
{
public:
    // Starts the program with arguments (--port is added) and extra environment entries; another
    // server program may take the test server's place (a benchmark's own).
    TestServerProcess(std::vector<std::string> arguments, const std::vector<std::string>& environment = {},
                      const std::string& program = UASERVER_TESTSERVER)
    {
        m_port = freePort();
        arguments.insert(arguments.begin(), {program, "--port", std::to_string(m_port)});
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            for (const std::string& entry : environment)
                ::putenv(const_cast<char*>(entry.c_str()));
            std::vector<char*> argv;
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_output = out[0];
        readUrl();
    }
    ~TestServerProcess()
    {
        stop();
        if (m_output >= 0)
            ::close(m_output);
    }
    TestServerProcess(const TestServerProcess&) = delete;
    TestServerProcess& operator=(const TestServerProcess&) = delete;

    // Empty when the server did not come up.
    const std::string& url() const { return m_url; }
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }

    // SIGTERM and the exit code; -1 when it did not exit normally.
    int stop()
    {
        if (m_pid <= 0)
            return m_exitCode;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_exitCode;
    }

private:
    void readUrl()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::string line;
        while (std::chrono::steady_clock::now() < deadline)
        {
            pollfd p{m_output, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            char c;
            if (::read(m_output, &c, 1) != 1)
                return;
            if (c == '\n')
            {
                m_url = line;
                return;
            }
            line += c;
        }
    }

    pid_t m_pid = -1;
    int m_port = 0;
    int m_output = -1;
    int m_exitCode = -1;
    std::string m_url;
};
} // namespace uaservertest
