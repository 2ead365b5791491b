#include "fake_wmdevapi.h"

#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace wmfake
{

namespace
{

struct State
{
    std::mutex lock;
    std::vector<Call> calls;
    std::map<std::pair<DWORD, DWORD>, Responder> responders;
    DWORD api = kDefaultApiVersion;
    DWORD drv = kDefaultDrvVersion;
    DWORD dll = kDefaultDllVersion;
    DWORD versionError = 0;
    std::vector<std::string> versionCalls;
};

State& state()
{
    static State instance;
    return instance;
}

DWORD versionCall(const char* name, DWORD State::*value)
{
    State& s = state();
    std::lock_guard guard(s.lock);
    s.versionCalls.emplace_back(name);
    const DWORD version = s.*value;
    SetLastError(version != 0 ? 0 : s.versionError);
    return version;
}

} // namespace

void reset()
{
    State& s = state();
    std::lock_guard guard(s.lock);
    s.calls.clear();
    s.responders.clear();
    s.api = kDefaultApiVersion;
    s.drv = kDefaultDrvVersion;
    s.dll = kDefaultDllVersion;
    s.versionError = 0;
    s.versionCalls.clear();
}

void answer(DWORD group, DWORD offset, Answer answer)
{
    respond(group, offset, [answer](const Call&) { return answer; });
}

void respond(DWORD group, DWORD offset, Responder responder)
{
    State& s = state();
    std::lock_guard guard(s.lock);
    s.responders[{group, offset}] = std::move(responder);
}

std::vector<Call> calls()
{
    State& s = state();
    std::lock_guard guard(s.lock);
    return s.calls;
}

void setVersions(DWORD api, DWORD drv, DWORD dll, DWORD failureError)
{
    State& s = state();
    std::lock_guard guard(s.lock);
    s.api = api;
    s.drv = drv;
    s.dll = dll;
    s.versionError = failureError;
}

std::vector<std::string> versionCalls()
{
    State& s = state();
    std::lock_guard guard(s.lock);
    return s.versionCalls;
}

std::vector<BYTE> bytesOf(DWORD value, size_t width)
{
    std::vector<BYTE> bytes(width);
    for (size_t i = 0; i < width; ++i)
        bytes[i] = static_cast<BYTE>(i < 4 ? value >> (8 * i) : 0);
    return bytes;
}

} // namespace wmfake

extern "C" DWORD WmDeviceIoControl(DWORD indexGroup, DWORD indexOffset, LPCVOID input, DWORD inputSize,
                                   LPVOID output, DWORD outputSize, LPDWORD returned,
                                   const WM_CALL_OPTIONS* options)
{
    using namespace wmfake;
    Call call;
    call.group = indexGroup;
    call.offset = indexOffset;
    if (input && inputSize > 0)
        call.input.assign(static_cast<const BYTE*>(input), static_cast<const BYTE*>(input) + inputSize);
    call.outputSize = outputSize;
    call.outputGiven = output != nullptr;
    if (options)
        call.options = *options;

    Responder responder;
    {
        State& s = state();
        std::lock_guard guard(s.lock);
        s.calls.push_back(call);
        if (const auto found = s.responders.find({indexGroup, indexOffset}); found != s.responders.end())
            responder = found->second;
    }
    Answer answer;
    if (responder)
        answer = responder(call);
    else
        answer.data.assign(outputSize, kFillByte);
    if (!returned)
        return ERROR_INVALID_PARAMETER;
    *returned = 0;
    if (answer.error != 0)
        return answer.error;
    const size_t copied = answer.data.size() < outputSize ? answer.data.size() : outputSize;
    if (output && copied > 0)
        std::memcpy(output, answer.data.data(), copied);
    *returned = answer.count.value_or(static_cast<DWORD>(answer.data.size()));
    return 0;
}

extern "C" DWORD WmGetApiVersion()
{
    return wmfake::versionCall("api", &wmfake::State::api);
}

extern "C" DWORD WmGetDrvVersion()
{
    return wmfake::versionCall("drv", &wmfake::State::drv);
}

extern "C" DWORD WmGetDllVersion()
{
    return wmfake::versionCall("dll", &wmfake::State::dll);
}
