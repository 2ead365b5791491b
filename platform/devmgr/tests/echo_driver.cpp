// A stream driver for the device manager's tests (prefix ECH): a byte store
// shared by its open files, with Read, Write and Seek, an I/O control that
// answers in both buffers, one that fails, and one that relays a call to
// another device file of the manager. Init and Deinit are noted in "echo.log"
// in the device root; "FailInit" = 1 in its key makes Init fail, and a device
// name in "OpenAtInit" is opened from Init (the outcome noted too).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace
{

struct EchoDevice
{
    std::string keyName;
    std::mutex lock;
    std::string bytes;
};

struct EchoFile
{
    EchoDevice* device;
    DWORD position = 0;
};

void note(const std::string& line)
{
    if (FILE* log = std::fopen((os::deviceRoot() + "/echo.log").c_str(), "a"))
    {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

std::u16string ownKey(LPCWSTR activeKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, activeKey, 0, 0, &key) != ERROR_SUCCESS)
        return {};
    WCHAR buffer[MAX_PATH] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    RegQueryValueExW(key, u"Key", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return buffer;
}

DWORD failInit(const std::u16string& keyPath)
{
    HKEY key = nullptr;
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, 0, &key) == ERROR_SUCCESS)
    {
        RegQueryValueExW(key, u"FailInit", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

std::u16string openAtInit(const std::u16string& keyPath)
{
    HKEY key = nullptr;
    WCHAR name[16] = {};
    DWORD type = 0, size = sizeof name - sizeof(WCHAR);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, 0, &key) == ERROR_SUCCESS)
    {
        RegQueryValueExW(key, u"OpenAtInit", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
        RegCloseKey(key);
    }
    return name;
}

HANDLE openDevice(const std::u16string& name)
{
    return CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Code 3: the input is a device name (5 characters), an I/O control code and
// the data for it; the call goes to that device file, opened inside the
// manager, and its output, count and last error come back as they are.
BOOL relay(PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize, PDWORD returned)
{
    if (!input || inputSize < 9)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string name(reinterpret_cast<char*>(input), 5);
    DWORD code = 0;
    std::memcpy(&code, input + 5, sizeof code);
    HANDLE device = openDevice(os::toUtf16(name));
    if (device == INVALID_HANDLE_VALUE)
        return FALSE;
    const BOOL ok = DeviceIoControl(device, code, inputSize > 9 ? input + 9 : nullptr, inputSize - 9, output,
                                    outputSize, returned, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(device);
    SetLastError(error);
    return ok;
}

} // namespace

#define ECHO_EXPORT extern "C" __attribute__((visibility("default")))

ECHO_EXPORT DWORD_PTR ECH_Init(LPCWSTR activeKey, LPCVOID)
{
    const std::u16string keyPath = ownKey(activeKey);
    const std::string keyName = os::toUtf8(keyPath.substr(keyPath.rfind(u'\\') + 1));
    note("init " + keyName);
    if (const std::u16string name = openAtInit(keyPath); !name.empty())
    {
        HANDLE device = openDevice(name);
        note("open " + os::toUtf8(name) +
             (device == INVALID_HANDLE_VALUE ? " error " + std::to_string(GetLastError())
                                             : std::string(" ok")));
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
    }
    if (failInit(keyPath) == 1)
    {
        SetLastError(ERROR_NOT_READY);
        return 0;
    }
    return reinterpret_cast<DWORD_PTR>(new EchoDevice{keyName, {}, {}});
}

ECHO_EXPORT BOOL ECH_Deinit(DWORD_PTR context)
{
    auto* device = reinterpret_cast<EchoDevice*>(context);
    note("deinit " + device->keyName);
    delete device;
    return TRUE;
}

ECHO_EXPORT DWORD_PTR ECH_Open(DWORD_PTR context, DWORD, DWORD)
{
    return reinterpret_cast<DWORD_PTR>(new EchoFile{reinterpret_cast<EchoDevice*>(context)});
}

ECHO_EXPORT BOOL ECH_Close(DWORD_PTR context)
{
    delete reinterpret_cast<EchoFile*>(context);
    return TRUE;
}

ECHO_EXPORT DWORD ECH_Read(DWORD_PTR context, LPVOID buffer, DWORD count)
{
    auto* file = reinterpret_cast<EchoFile*>(context);
    std::lock_guard guard(file->device->lock);
    const std::string& bytes = file->device->bytes;
    const DWORD available = file->position < bytes.size() ? DWORD(bytes.size()) - file->position : 0;
    const DWORD done = std::min(count, available);
    bytes.copy(static_cast<char*>(buffer), done, file->position);
    file->position += done;
    return done;
}

ECHO_EXPORT DWORD ECH_Write(DWORD_PTR context, LPCVOID buffer, DWORD count)
{
    auto* file = reinterpret_cast<EchoFile*>(context);
    std::lock_guard guard(file->device->lock);
    std::string& bytes = file->device->bytes;
    if (bytes.size() < file->position + count)
        bytes.resize(file->position + count);
    bytes.replace(file->position, count, static_cast<const char*>(buffer), count);
    file->position += count;
    return count;
}

ECHO_EXPORT DWORD ECH_Seek(DWORD_PTR context, LONG amount, WORD type)
{
    auto* file = reinterpret_cast<EchoFile*>(context);
    std::lock_guard guard(file->device->lock);
    const int64_t base = type == 0 ? 0 : type == 1 ? file->position : int64_t(file->device->bytes.size());
    if (base + amount < 0)
    {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return 0xFFFFFFFFu;
    }
    file->position = DWORD(base + amount);
    return file->position;
}

// Code 1: the input reversed into the output, and 0xEE into the input's first
// byte. Code 2: fails with error 1234. Code 3: relays (above).
ECHO_EXPORT BOOL ECH_IOControl(DWORD_PTR, DWORD code, PBYTE input, DWORD inputSize, PBYTE output,
                               DWORD outputSize, PDWORD returned)
{
    if (code == 2)
    {
        SetLastError(1234);
        return FALSE;
    }
    if (code == 3)
        return relay(input, inputSize, output, outputSize, returned);
    if (code != 1 || !returned)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD count = std::min(inputSize, outputSize);
    for (DWORD i = 0; i < count; ++i)
        output[i] = input[inputSize - 1 - i];
    if (input && inputSize > 0)
        input[0] = 0xEE;
    *returned = count;
    return TRUE;
}
