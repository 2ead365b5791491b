#include "uatcp_process_counters.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace uatcp::bench
{
namespace
{
constexpr int kAttachTimeoutMs = 30000;

uint64_t firstNumberOf(const std::string& path)
{
    std::ifstream in(path);
    uint64_t value = 0;
    in >> value;
    return value;
}

// The voluntary and involuntary context switches of a thread.
void addSwitches(const std::string& statusPath, ProcessCounters& c)
{
    std::ifstream in(statusPath);
    std::string line;
    while (std::getline(in, line))
    {
        uint64_t value = std::strtoull(line.substr(line.find(':') + 1).c_str(), nullptr, 10);
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            c.waits += value;
        else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            c.preemptions += value;
    }
}

// Starts argv with the given descriptors as its standard input, output and error (-1 keeps ours).
pid_t spawn(const std::vector<std::string>& argv, int in, int out, int err)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&actions, in, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A line from fd within the time-out; false at its end or when nothing came.
bool readLineFrom(int fd, std::string& line, int timeoutMs)
{
    line.clear();
    for (;;)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char c;
        if (::read(fd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

bool runs(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string temporaryFile()
{
    char path[] = "/tmp/uatcp-bench-XXXXXX";
    int fd = ::mkstemp(path);
    if (fd >= 0)
        ::close(fd);
    return path;
}
} // namespace

ProcessCounters ProcessCounters::of(pid_t pid)
{
    ProcessCounters c;
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(tasks.c_str());
    if (dir == nullptr)
        return c;
    while (dirent* entry = ::readdir(dir))
    {
        if (entry->d_name[0] == '.')
            continue;
        std::string task = tasks + "/" + entry->d_name;
        c.cpuNs += firstNumberOf(task + "/schedstat");
        addSwitches(task + "/status", c);
    }
    ::closedir(dir);
    return c;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv)
{
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return;
    if (::pipe2(fromChild, O_CLOEXEC) != 0)
    {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return;
    }
    m_pid = spawn(argv, toChild[0], fromChild[1], -1);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_input = toChild[1];
    m_output = fromChild[0];
}

ChildProcess::~ChildProcess()
{
    finish();
}

std::string ChildProcess::readLine()
{
    std::string line;
    readLineFrom(m_output, line, 120000);
    return line;
}

int ChildProcess::finish()
{
    if (m_input >= 0)
        ::close(m_input);
    m_input = -1;
    int status = 0;
    if (m_pid > 0)
        ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    if (m_output >= 0)
        ::close(m_output);
    m_output = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SyscallCounter::Tool SyscallCounter::available(const std::string& wanted)
{
    bool perf = (wanted.empty() || wanted == "perf") && runs("perf stat -x, -e raw_syscalls:sys_enter true");
    if (perf)
        return Tool::Perf;
    if ((wanted.empty() || wanted == "strace") && runs("strace -c -o /dev/null true"))
        return Tool::Strace;
    return Tool::None;
}

const char* SyscallCounter::name(Tool tool)
{
    return tool == Tool::Perf ? "perf" : tool == Tool::Strace ? "strace" : "none";
}

SyscallCounter::SyscallCounter(Tool tool, pid_t pid) : m_tool(tool), m_target(pid) {}

SyscallCounter::~SyscallCounter()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGINT);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (int fd : {m_control, m_ack, m_diagnostics})
        if (fd >= 0)
            ::close(fd);
    if (!m_output.empty())
        std::remove(m_output.c_str());
}

bool SyscallCounter::attach()
{
    if (m_tool != Tool::Perf || m_pid > 0)
        return m_pid > 0;
    m_output = temporaryFile();
    // Attached with counting off; "enable" is acknowledged once it counts.
    int control[2];
    int ack[2];
    if (::pipe(control) != 0 || ::pipe(ack) != 0)
        return false;
    int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::string fds = "fd:" + std::to_string(control[0]) + "," + std::to_string(ack[1]);
    m_pid = spawn({"perf", "stat", "-x", ",", "-e", "raw_syscalls:sys_enter", "-D", "-1", "--control", fds,
                   "-p", std::to_string(m_target), "-o", m_output},
                  -1, quiet, quiet);
    ::close(quiet);
    ::close(control[0]);
    ::close(ack[1]);
    m_control = control[1];
    m_ack = ack[0];
    return m_pid > 0;
}

bool SyscallCounter::start()
{
    if (m_tool == Tool::Perf)
    {
        std::string reply;
        return attach() && ::write(m_control, "enable\n", 7) == 7 &&
               readLineFrom(m_ack, reply, kAttachTimeoutMs) && reply == "ack";
    }
    if (m_tool != Tool::Strace)
        return false;
    // strace says on its error output when it has attached to every thread.
    m_output = temporaryFile();
    int diagnostics[2];
    if (::pipe(diagnostics) != 0)
        return false;
    m_pid =
        spawn({"strace", "-c", "-f", "-p", std::to_string(m_target), "-o", m_output}, -1, -1, diagnostics[1]);
    ::close(diagnostics[1]);
    m_diagnostics = diagnostics[0];
    std::string line;
    while (m_pid > 0 && readLineFrom(m_diagnostics, line, kAttachTimeoutMs))
    {
        if (line.find("attached") != std::string::npos)
            return true;
    }
    return false;
}

long long SyscallCounter::stop()
{
    if (m_pid <= 0)
        return -1;
    if (m_tool == Tool::Perf)
    {
        std::string reply;
        if (::write(m_control, "disable\n", 8) == 8)
            readLineFrom(m_ack, reply, kAttachTimeoutMs);
    }
    ::kill(m_pid, SIGINT);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    std::ifstream in(m_output);
    std::string line;
    while (std::getline(in, line))
    {
        if (m_tool == Tool::Perf && line.find("raw_syscalls:sys_enter") != std::string::npos)
            return line.rfind("<not counted>", 0) == 0 ? 0 : std::atoll(line.c_str());
        if (m_tool == Tool::Strace)
        {
            // "% time seconds usecs/call calls errors syscall": the calls of the total line.
            std::istringstream fields(line);
            std::vector<std::string> words;
            for (std::string w; fields >> w;)
                words.push_back(w);
            if (words.size() >= 5 && words.back() == "total")
                return std::atoll(words[3].c_str());
        }
    }
    return -1;
}
} // namespace uatcp::bench
