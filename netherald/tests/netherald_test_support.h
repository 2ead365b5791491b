// What Netherald's tests share: the lines of "UPnPLog.txt", programs run to their end, the
// settings of a test root.
#pragma once

#include "test_support.h"

#include <windows.h>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace netheraldtest
{
inline std::string fileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

inline std::string logPath(const std::string& root)
{
    return root + "/Hard Disk/UPnP/UPnPLog.txt";
}

// The messages of the log in order; every line must carry its time stamp.
inline std::vector<std::string> logMessages(const std::string& root)
{
    static const std::regex line(R"(<\d\d-\d\d-\d{4}, \d\d:\d\d:\d\d> (.*))");
    std::vector<std::string> messages;
    std::istringstream lines(fileText(logPath(root)));
    for (std::string text; std::getline(lines, text);)
    {
        std::smatch match;
        if (std::regex_match(text, match, line))
            messages.push_back(match[1]);
        else
            messages.push_back("<unstamped> " + text);
    }
    return messages;
}

inline bool logHas(const std::string& root, const std::string& message)
{
    for (const std::string& line : logMessages(root))
        if (line == message)
            return true;
    return false;
}

// The exit code of a program of the build folder run to its end; -1 when it did not end.
inline int runProgram(const std::string& program, const std::vector<std::string>& arguments)
{
    ostest::ChildProcess child(arguments, os::programDirectory() + "/" + program);
    while (!child.readLine().empty())
    {
    }
    const int status = child.wait(120000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Settings every test root starts with: the device publishes itself on loopback only, and
// the log is on.
inline void keepOnLoopback()
{
    ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Platform", u"HostAddress", u"127.0.0.1");
    ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"EnableLogFile", 1);
}
} // namespace netheraldtest
