#include <os/deviceroot.h>
#include <os/ntlm.h>
#include <os/ras.h>
#include <os/text.h>

#include "password_hash.h"
#include "shared_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

namespace
{
using os::detail::readSharedFile;
using os::detail::updateSharedFile;

constexpr const char* kStateFile = "RasServer.txt";
constexpr const char* kLogFile = "RasServer.log";

struct Device
{
    std::u16string name;
    std::u16string type;
};

struct Line
{
    std::u16string name;
    std::u16string type;
    bool enabled = false;
};

struct Credential
{
    std::u16string user;
    std::u16string domain;
    std::string hash;
};

// The server as "RasServer.txt" describes it; lines it cannot read are kept as they are.
struct State
{
    bool enabled = false;
    std::string addresses = "dhcp";
    DWORD staticStart = 0;
    DWORD staticCount = 0;
    std::vector<Device> devices;
    std::vector<Line> lines;
    std::vector<Credential> credentials;
    std::vector<std::pair<DWORD, DWORD>> failures; // request code, error
    std::vector<std::string> comments;
};

std::optional<DWORD> parseAddress(const std::string& text)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255)
        return std::nullopt;
    return (a << 24) | (b << 16) | (c << 8) | d;
}

std::string formatAddress(DWORD address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

State parse(const std::string& text)
{
    State state;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
    {
        const auto part = os::detail::tabFields(line);
        const std::string kind = part.empty() ? std::string() : part[0];
        if (kind == "server" && part.size() == 2)
            state.enabled = part[1] == "1";
        else if (kind == "addresses" && part.size() == 2)
            state.addresses = part[1];
        else if (kind == "static" && part.size() == 3 && parseAddress(part[1]))
        {
            state.staticStart = *parseAddress(part[1]);
            state.staticCount = static_cast<DWORD>(std::strtoul(part[2].c_str(), nullptr, 10));
        }
        else if (kind == "device" && part.size() == 3)
            state.devices.push_back({os::toUtf16(part[1]), os::toUtf16(part[2])});
        else if (kind == "line" && part.size() == 4)
            state.lines.push_back({os::toUtf16(part[1]), os::toUtf16(part[2]), part[3] == "1"});
        else if (kind == "credential" && part.size() == 4)
            state.credentials.push_back({os::toUtf16(part[1]), os::toUtf16(part[2]), part[3]});
        else if (kind == "fail" && part.size() == 3)
            state.failures.emplace_back(static_cast<DWORD>(std::strtoul(part[1].c_str(), nullptr, 10)),
                                        static_cast<DWORD>(std::strtoul(part[2].c_str(), nullptr, 10)));
        else if (!line.empty())
            state.comments.push_back(line);
    }
    return state;
}

std::string format(const State& state)
{
    std::string text;
    for (const auto& comment : state.comments)
        text += comment + "\n";
    text += "server\t" + std::string(state.enabled ? "1" : "0") + "\n";
    text += "addresses\t" + state.addresses + "\n";
    text += "static\t" + formatAddress(state.staticStart) + "\t" + std::to_string(state.staticCount) + "\n";
    for (const auto& device : state.devices)
        text += "device\t" + os::toUtf8(device.name) + "\t" + os::toUtf8(device.type) + "\n";
    for (const auto& line : state.lines)
        text += "line\t" + os::toUtf8(line.name) + "\t" + os::toUtf8(line.type) + "\t" +
                (line.enabled ? "1" : "0") + "\n";
    for (const auto& credential : state.credentials)
        text += "credential\t" + os::toUtf8(credential.user) + "\t" + os::toUtf8(credential.domain) + "\t" +
                credential.hash + "\n";
    for (const auto& [code, error] : state.failures)
        text += "fail\t" + std::to_string(code) + "\t" + std::to_string(error) + "\n";
    return text;
}

bool sameName(std::u16string_view a, std::u16string_view b)
{
    return os::compareNoCase(a, b) == 0;
}

// A terminated text within a fixed field; nothing when it runs to the end.
std::optional<std::u16string> fieldText(const WCHAR* field, size_t capacity)
{
    const WCHAR* end = std::find(field, field + capacity, u'\0');
    if (end == field + capacity)
        return std::nullopt;
    return std::u16string(field, end);
}

void copyField(WCHAR* field, size_t capacity, const std::u16string& text)
{
    const size_t length = std::min(text.size(), capacity - 1);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), field);
    field[length] = u'\0';
}

struct Request
{
    DWORD code;
    const BYTE* input;
    DWORD inputSize;
    BYTE* output;
    DWORD outputSize;
    DWORD* returned;
};

template <class Record> std::optional<Record> inputRecord(const Request& request)
{
    if (!request.input || request.inputSize < sizeof(Record))
        return std::nullopt;
    Record record;
    std::memcpy(&record, request.input, sizeof record);
    return record;
}

template <class Record> DWORD answer(Request& request, const Record& record)
{
    if (!request.output || request.outputSize < sizeof(Record))
        return ERROR_INSUFFICIENT_BUFFER;
    std::memcpy(request.output, &record, sizeof record);
    if (request.returned)
        *request.returned = sizeof record;
    return ERROR_SUCCESS;
}

RASCNTL_SERVERSTATUS statusOf(const State& state)
{
    RASCNTL_SERVERSTATUS status{};
    status.bEnable = state.enabled;
    status.bUseDhcpAddresses = state.addresses == "dhcp";
    status.bUseAutoIpAddresses = state.addresses == "autoip";
    status.dwStaticIpAddrStart = state.staticStart;
    status.dwStaticIpAddrCount = state.staticCount;
    status.dwNumLines = static_cast<DWORD>(state.lines.size());
    return status;
}

const Device* findDevice(const State& state, const std::u16string& name)
{
    for (const auto& device : state.devices)
        if (sameName(device.name, name))
            return &device;
    return nullptr;
}

Line* findLine(State& state, const std::u16string& name)
{
    for (auto& line : state.lines)
        if (sameName(line.name, name))
            return &line;
    return nullptr;
}

DWORD serverRequest(State& state, Request& request, bool& changed)
{
    switch (request.code)
    {
    case RASCNTL_SERVER_ENABLE:
    case RASCNTL_SERVER_DISABLE:
        changed = true;
        state.enabled = request.code == RASCNTL_SERVER_ENABLE;
        return ERROR_SUCCESS;
    case RASCNTL_SERVER_GET_PARAMETERS:
        return answer(request, statusOf(state));
    case RASCNTL_SERVER_SET_PARAMETERS:
    {
        const auto status = inputRecord<RASCNTL_SERVERSTATUS>(request);
        if (!status)
            return ERROR_INVALID_PARAMETER;
        state.addresses = status->bUseDhcpAddresses     ? "dhcp"
                          : status->bUseAutoIpAddresses ? "autoip"
                                                        : "static";
        state.staticStart = status->dwStaticIpAddrStart;
        state.staticCount = status->dwStaticIpAddrCount;
        changed = true;
        return ERROR_SUCCESS;
    }
    default:
        return ERROR_NOT_SUPPORTED;
    }
}

DWORD lineRequest(State& state, Request& request, bool& changed)
{
    const auto record = inputRecord<RASCNTL_SERVERLINE>(request);
    const auto name = record ? fieldText(record->szDeviceName, RAS_MaxDeviceName) : std::nullopt;
    if (!name)
        return ERROR_INVALID_PARAMETER;
    const Device* device = findDevice(state, *name);
    if (!device)
        return ERROR_DEV_NOT_EXIST;
    Line* line = findLine(state, *name);
    switch (request.code)
    {
    case RASCNTL_SERVER_LINE_ADD:
        // A line added again stays as it is, so that a caller may add every line it shows.
        if (!line)
        {
            state.lines.push_back({device->name, device->type, false});
            changed = true;
        }
        return ERROR_SUCCESS;
    case RASCNTL_SERVER_LINE_GET_PARAMETERS:
    {
        RASCNTL_SERVERLINE reply = *record;
        copyField(reply.szDeviceName, RAS_MaxDeviceName, device->name);
        copyField(reply.szDeviceType, RAS_MaxDeviceType, device->type);
        reply.bEnable = line && line->enabled;
        return answer(request, reply);
    }
    default:
        break;
    }
    if (!line)
        return ERROR_NOT_FOUND;
    changed = true;
    if (request.code == RASCNTL_SERVER_LINE_REMOVE)
        std::erase_if(state.lines, [&](const Line& entry) { return sameName(entry.name, *name); });
    else if (request.code == RASCNTL_SERVER_LINE_SET_PARAMETERS)
        line->enabled = record->bEnable != FALSE;
    else
        line->enabled = request.code == RASCNTL_SERVER_LINE_ENABLE;
    return ERROR_SUCCESS;
}

DWORD userRequest(State& state, Request& request, bool& changed)
{
    const auto record = inputRecord<RASCNTL_SERVERUSERCREDENTIALS>(request);
    const auto user = record ? fieldText(record->tszUserName, 257) : std::nullopt;
    if (!user || user->empty())
        return ERROR_INVALID_PARAMETER;
    if (request.code == RASCNTL_SERVER_USER_DELETE_CREDENTIALS)
    {
        const size_t before = state.credentials.size();
        std::erase_if(state.credentials,
                      [&](const Credential& entry) { return sameName(entry.user, *user); });
        changed = state.credentials.size() != before;
        const bool left = os::ntlm::removeFromGroup(RAS_USERS_GROUP, *user);
        if (!changed)
            return ERROR_NOT_FOUND;
        return left ? ERROR_SUCCESS : GetLastError();
    }
    const auto domain = fieldText(record->tszDomainName, 16);
    if (!domain || record->cbPassword > sizeof record->password)
        return ERROR_INVALID_PARAMETER;
    const std::string password(reinterpret_cast<const char*>(record->password), record->cbPassword);
    Credential credential{*user, *domain, os::detail::hashPassword(password)};
    if (credential.hash.empty())
        return ERROR_INTERNAL_ERROR;
    std::erase_if(state.credentials, [&](const Credential& entry) { return sameName(entry.user, *user); });
    state.credentials.push_back(std::move(credential));
    changed = true;
    return os::ntlm::addToGroup(RAS_USERS_GROUP, *user) ? ERROR_SUCCESS : GetLastError();
}

bool isLineRequest(DWORD code)
{
    return code >= RASCNTL_SERVER_LINE_ADD && code <= RASCNTL_SERVER_LINE_SET_PARAMETERS;
}

bool isUserRequest(DWORD code)
{
    return code == RASCNTL_SERVER_USER_SET_CREDENTIALS || code == RASCNTL_SERVER_USER_DELETE_CREDENTIALS;
}

// The device or user a request is about, for the record.
std::u16string subjectOf(const Request& request)
{
    std::optional<std::u16string> name;
    if (isLineRequest(request.code))
        if (const auto record = inputRecord<RASCNTL_SERVERLINE>(request))
            name = fieldText(record->szDeviceName, RAS_MaxDeviceName);
    if (isUserRequest(request.code))
        if (const auto record = inputRecord<RASCNTL_SERVERUSERCREDENTIALS>(request))
            name = fieldText(record->tszUserName, 257);
    return name.value_or(u"");
}

DWORD handle(State& state, Request& request, bool& changed)
{
    for (const auto& [code, error] : state.failures)
        if (code == request.code)
            return error;
    if (request.code >= RASCNTL_SERVER_ENABLE && request.code <= RASCNTL_SERVER_SET_PARAMETERS)
        return serverRequest(state, request, changed);
    if (isLineRequest(request.code))
        return lineRequest(state, request, changed);
    if (isUserRequest(request.code))
        return userRequest(state, request, changed);
    return ERROR_NOT_SUPPORTED;
}

void record(const Request& request, DWORD result)
{
    const std::string line = std::to_string(request.code) + "\t" + os::toUtf8(subjectOf(request)) + "\t" +
                             std::to_string(result) + "\n";
    const int fd = os::openDeviceFile(os::ras::logPath(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fprintf(stderr, "ras: the request record is incomplete\n");
    close(fd);
}
} // namespace

namespace os::ras
{
std::string statePath()
{
    return deviceRoot() + "/" + kStateFile;
}

std::string logPath()
{
    return deviceRoot() + "/" + kLogFile;
}

bool checkCredential(const std::u16string& user, const std::string& password)
{
    std::string text;
    bool exists = false;
    if (!readSharedFile(statePath(), text, exists) || !exists)
        return false;
    for (const auto& credential : parse(text).credentials)
        if (sameName(credential.user, user))
            return os::detail::verifyPassword(credential.hash, password);
    return false;
}
} // namespace os::ras

extern "C" DWORD RasIOControl(LPVOID, DWORD code, PBYTE input, DWORD inputSize, PBYTE output,
                              DWORD outputSize, PDWORD returned)
{
    if (returned)
        *returned = 0;
    Request request{code, input, inputSize, output, outputSize, returned};
    const DWORD result = updateSharedFile(os::ras::statePath(),
                                          [&](std::string& text, bool exists, bool& changed) -> DWORD
                                          {
                                              if (!exists)
                                                  return ERROR_SERVICE_DOES_NOT_EXIST;
                                              State state = parse(text);
                                              const DWORD error = handle(state, request, changed);
                                              if (error != ERROR_SUCCESS)
                                                  changed = false;
                                              if (changed)
                                                  text = format(state);
                                              return error;
                                          });
    record(request, result);
    return result;
}

extern "C" DWORD RasEnumDevices(LPRASDEVINFOW devices, LPDWORD size, LPDWORD count)
{
    if (!size || !count || (devices && devices->dwSize != sizeof(RASDEVINFOW)))
        return ERROR_INVALID_PARAMETER;
    std::string text;
    bool exists = false;
    if (!readSharedFile(os::ras::statePath(), text, exists))
        return ERROR_CANTREAD;
    const State state = parse(text);
    const DWORD needed = static_cast<DWORD>(state.devices.size() * sizeof(RASDEVINFOW));
    *count = static_cast<DWORD>(state.devices.size());
    if (!devices || *size < needed)
    {
        *size = needed;
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < state.devices.size(); ++i)
    {
        RASDEVINFOW entry{};
        entry.dwSize = sizeof entry;
        copyField(entry.szDeviceType, RAS_MaxDeviceType + 1, state.devices[i].type);
        copyField(entry.szDeviceName, RAS_MaxDeviceName + 1, state.devices[i].name);
        devices[i] = entry;
    }
    *size = needed;
    return ERROR_SUCCESS;
}
