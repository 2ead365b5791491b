#include "testsupport.h"

#include "../src/wire.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vostest
{

DeviceRoot::DeviceRoot()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vosroot.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data()))
        std::abort();
    m_path = buf.data();
    ::setenv("DEVICE_ROOT", m_path.c_str(), 1);
}

DeviceRoot::~DeviceRoot()
{
    StopRouter();
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

bool DeviceRoot::StopRouter()
{
    return vos::ShutdownRouter(20000);
}

namespace
{
std::string BinPath(const std::string& program)
{
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return program;
    self[n] = '\0';
    std::string dir(self);
    return dir.substr(0, dir.rfind('/') + 1) + program;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int in, int out)
{
    std::string path = BinPath(program);
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
} // namespace

Child::Child(const std::string& program, const std::vector<std::string>& args)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        std::abort();
    m_pid = Spawn(program, args, in[0], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    m_in = in[1];
    m_out = out[0];
}

Child::~Child()
{
    if (m_pid > 0)
    {
        // A child that does not end on its own within the wait is killed.
        if (m_in >= 0)
        {
            ::close(m_in);
            m_in = -1;
        }
        for (int i = 0; i < 3000; ++i)
        {
            int status;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
            {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGKILL);
            Wait(m_pid);
        }
    }
    if (m_out >= 0)
        ::close(m_out);
}

std::string Child::ReadLine(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        auto nl = m_buffer.find('\n');
        if (nl != std::string::npos)
        {
            std::string line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd pfd{m_out, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[4096];
        ssize_t n = ::read(m_out, buf, sizeof buf);
        if (n <= 0)
            return {};
        m_buffer.append(buf, static_cast<size_t>(n));
    }
}

void Child::WriteLine(const std::string& line)
{
    std::string l = line + "\n";
    if (::write(m_in, l.data(), l.size()) < 0)
        return;
}

int Child::Finish()
{
    if (m_in >= 0)
    {
        ::close(m_in);
        m_in = -1;
    }
    int code = Wait(m_pid);
    m_pid = -1;
    return code;
}

int Run(const std::string& program, const std::vector<std::string>& args, std::string& out)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = Spawn(program, args, -1, pipeFds[1]);
    ::close(pipeFds[1]);
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    return pid > 0 ? Wait(pid) : -1;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool WaitForText(const std::string& path, const std::string& text, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (ReadFile(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace vostest
