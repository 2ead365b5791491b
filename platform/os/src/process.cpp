#include <os/deviceroot.h>
#include <os/process.h>
#include <os/text.h>

#include "find_file.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace
{
// The host file of a program name, as the header describes; empty when there is none.
std::string programFile(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.size() > 4 && os::equalsNoCase(name.substr(name.size() - 4), ".exe"))
        name.resize(name.size() - 4);
    const size_t slash = name.rfind('/');
    if (slash == std::string::npos)
        return os::detail::findFileNoCase(os::programDirectory(), name);
    const auto folder = os::toHostPath(slash == 0 ? std::string("/") : name.substr(0, slash));
    return folder ? os::detail::findFileNoCase(*folder, name.substr(slash + 1)) : std::string();
}

std::vector<std::string> words(const std::string& commandLine)
{
    std::vector<std::string> result;
    std::istringstream stream(commandLine);
    for (std::string word; stream >> word;)
        result.push_back(word);
    return result;
}
} // namespace

extern "C" BOOL CreateProcessW(LPCWSTR imageName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                               LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPVOID,
                               LPPROCESS_INFORMATION processInformation)
{
    if (!imageName || !*imageName)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = programFile(os::toUtf8(imageName));
    if (path.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (access(path.c_str(), X_OK) != 0)
    {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    std::vector<std::string> arguments{path};
    if (commandLine)
    {
        const auto more = words(os::toUtf8(commandLine));
        arguments.insert(arguments.end(), more.begin(), more.end());
    }
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0)
    {
        SetLastError(error == ENOEXEC || error == EACCES ? ERROR_BAD_EXE_FORMAT : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Nobody waits for it on the device; reaping it here keeps no zombie behind.
    std::thread(
        [pid]
        {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
            {
            }
        })
        .detach();
    if (processInformation)
        *processInformation = PROCESS_INFORMATION{nullptr, nullptr, static_cast<DWORD>(pid), 0};
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
