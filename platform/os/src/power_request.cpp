// SetSystemPowerState on a host that must never be suspended or reset by a device
// program: the request is only written down, for the operator and for tests.
#include <os/deviceroot.h>
#include <os/power.h>
#include <os/text.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace
{
constexpr const char* kLogName = "PowerRequests.log";

// Tabs and line ends would split the record, so they cannot stand in a state name.
std::string recordableName(LPCWSTR state)
{
    std::string name = os::toUtf8(state);
    for (char& c : name)
    {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    return name;
}

bool parseHex(const std::string& text, const char* prefix, DWORD& value)
{
    const std::string expected = std::string(prefix) + "0x";
    if (text.compare(0, expected.size(), expected) != 0 || text.size() == expected.size())
        return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long parsed = std::strtoul(text.c_str() + expected.size(), &end, 16);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFul)
        return false;
    value = static_cast<DWORD>(parsed);
    return true;
}
} // namespace

namespace os
{
std::string powerRequestLogPath()
{
    return deviceRoot() + "/" + kLogName;
}

std::vector<PowerRequest> recordedPowerRequests()
{
    std::vector<PowerRequest> requests;
    std::ifstream file(powerRequestLogPath());
    std::string line;
    while (std::getline(file, line))
    {
        const size_t first = line.find('\t');
        const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos || line.compare(0, 6, "state=") != 0)
            continue;
        PowerRequest request;
        request.state = toUtf16(line.substr(6, first - 6));
        if (parseHex(line.substr(first + 1, second - first - 1), "flags=", request.flags) &&
            parseHex(line.substr(second + 1), "options=", request.options))
            requests.push_back(std::move(request));
    }
    return requests;
}
} // namespace os

extern "C" DWORD SetSystemPowerState(LPCWSTR systemState, DWORD stateFlags, DWORD options)
{
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\tflags=0x%08" PRIX32 "\toptions=0x%08" PRIX32 "\n", stateFlags,
                  options);
    const std::string record = "state=" + recordableName(systemState) + numbers;
    // One write of one line, appended: records of several processes never mix.
    const int fd = os::openDeviceFile(os::powerRequestLogPath(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return ERROR_ACCESS_DENIED;
    }
    const ssize_t written = ::write(fd, record.data(), record.size());
    ::close(fd);
    if (written != static_cast<ssize_t>(record.size()))
    {
        SetLastError(ERROR_WRITE_FAULT);
        return ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}
