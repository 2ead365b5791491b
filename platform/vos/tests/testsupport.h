// Test support: a fresh device root per test, child processes with pipes, and
// the router's end after each test.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

namespace vostest
{

// Creates a fresh temp folder, points DEVICE_ROOT at it; the destructor stops
// the router of that root and removes the folder.
class DeviceRoot
{
public:
    DeviceRoot();
    ~DeviceRoot();
    const std::string& Path() const { return m_path; }
    // Asks the router to end; true once none runs for this root.
    bool StopRouter();

private:
    std::string m_path;
};

// A program of build/bin run as a child; its stdin and stdout are pipes.
class Child
{
public:
    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child();
    // One line of the child's output (without the line end); empty on time-out or end.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    void WriteLine(const std::string& line);
    // Closes stdin (the child's signal to end) and waits for its exit code.
    int Finish();
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// Runs a program of build/bin to its end; returns the exit code and the output.
int Run(const std::string& program, const std::vector<std::string>& args, std::string& out);

std::string ReadFile(const std::string& path);
// Waits until the file holds the text; false after the time-out.
bool WaitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

} // namespace vostest
