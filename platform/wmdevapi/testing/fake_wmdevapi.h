// For tests: QbWmDevApi's four calls answered in the process, without a
// driver. Every request is recorded as it arrives; answers are scripted per
// (index group, index offset). Link `wmdevapi_fake` in place of QbWmDevApi.
#pragma once

#include <QbWmDevApi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wmfake
{

struct Call
{
    DWORD group = 0;
    DWORD offset = 0;
    std::vector<BYTE> input; // the request data as it was passed
    DWORD outputSize = 0;
    bool outputGiven = false;
    std::optional<WM_CALL_OPTIONS> options;

    bool driverLevel() const { return options && options->driverLevel != 0; }
    ULONGLONG processorMask() const
    {
        return options
                   ? (static_cast<ULONGLONG>(options->processorMaskHigh) << 32) | options->processorMaskLow
                   : 0;
    }
};

struct Answer
{
    DWORD error = 0;            // what WmDeviceIoControl returns
    std::vector<BYTE> data;     // written to the output, no further than its size
    std::optional<DWORD> count; // the delivered count; data.size() when not given
};

using Responder = std::function<Answer(const Call&)>;

// Forgets calls and answers; versions back to their defaults below.
void reset();

// The answer to every call of one function; a responder may look at the call.
void answer(DWORD group, DWORD offset, Answer answer);
void respond(DWORD group, DWORD offset, Responder responder);

// Calls without a scripted answer succeed and fill the whole output with this
// byte, counting every byte delivered.
constexpr BYTE kFillByte = 0x5A;

// Every call of WmDeviceIoControl since the last reset, oldest first.
std::vector<Call> calls();

// What the version calls return (0 is a failure with the given last error).
constexpr DWORD kDefaultApiVersion = 0x020A0003;
constexpr DWORD kDefaultDrvVersion = 0x1601;
constexpr DWORD kDefaultDllVersion = 0x0102;
void setVersions(DWORD api, DWORD drv, DWORD dll, DWORD failureError = 0);
// The version calls in the order they were made ("api", "drv", "dll").
std::vector<std::string> versionCalls();

// Little-endian bytes of a value, for answers.
std::vector<BYTE> bytesOf(DWORD value, size_t width = 4);

} // namespace wmfake
