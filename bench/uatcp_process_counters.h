// What a process of the benchmark costs, counted from outside: CPU time and
// context switches of all its threads (from /proc), and its system calls
// (through perf when the kernel lets it count them, else strace).
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace uatcp::bench
{
struct ProcessCounters
{
    uint64_t cpuNs = 0;
    uint64_t waits = 0;       // voluntary context switches: a thread went to sleep
    uint64_t preemptions = 0; // involuntary ones: the machine gave the CPU to someone else
    // The counts of the process's threads now (threads that ended before are not in them).
    static ProcessCounters of(pid_t pid);
};

// A child process with its standard input and output on pipes.
class ChildProcess
{
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    pid_t pid() const { return m_pid; }
    // One line of the child's output, without its end; empty at the end of it.
    std::string readLine();
    // Closes the child's input (its sign to end) and waits for it.
    int finish();

private:
    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
};

// Counts the system calls of a process between start() and stop().
class SyscallCounter
{
public:
    enum class Tool
    {
        None,
        Perf,
        Strace
    };
    // The best tool this machine offers ("perf" or "strace" ask for one).
    static Tool available(const std::string& wanted = "");
    static const char* name(Tool tool);

    SyscallCounter(Tool tool, pid_t pid);
    ~SyscallCounter();
    // Attaches without counting yet where the tool allows (perf); false when it cannot attach.
    bool attach();
    // Counting runs from start() to stop(); false when the tool could not attach.
    bool start();
    // The count, or -1 when nothing could be counted.
    long long stop();

private:
    Tool m_tool;
    pid_t m_target;
    pid_t m_pid = -1;
    int m_control = -1;
    int m_ack = -1;
    int m_diagnostics = -1;
    std::string m_output;
};
} // namespace uatcp::bench
