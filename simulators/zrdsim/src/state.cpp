#include "state.h"

#include <description_text.h>

#include <cmath>
#include <cstring>
#include <sstream>

namespace zrdsim
{
namespace
{
bool number(const simdesc::Token& token, uint32_t& value)
{
    uint64_t parsed = 0;
    if (token.quoted || !simdesc::parseUnsigned(token.text, parsed) || parsed > 0xFFFFFFFFu)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

bool validRotation(uint32_t degrees)
{
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

bool parseMode(const std::vector<simdesc::Token>& tokens, Mode& mode)
{
    return tokens.size() == 5 && number(tokens[1], mode.bitsPerPixel) && number(tokens[2], mode.width) &&
           number(tokens[3], mode.height) && number(tokens[4], mode.rate) &&
           mode.text().size() < kModeTextMax;
}

void put32(uint8_t* at, uint32_t value)
{
    std::memcpy(at, &value, 4);
}

uint32_t get32(const uint8_t* at)
{
    uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return value;
}

// Writes a mode record at `at`; its size.
uint32_t putRecord(uint8_t* at, const Mode& mode)
{
    const std::string text = mode.text();
    const auto length = static_cast<uint32_t>(text.size() + 1);
    put32(at, mode.bitsPerPixel);
    put32(at + 4, length);
    std::memcpy(at + 8, text.c_str(), length);
    return 8 + length;
}

// The mode a record names: "<width> <height> [<rate>]", the rate 60 when missing.
std::optional<Mode> readRecord(const uint8_t* input, uint32_t size)
{
    if (!input || size < 8)
        return std::nullopt;
    const uint32_t length = get32(input + 4);
    if (length == 0 || length > kModeTextMax || size - 8 < length)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(input + 8);
    const void* end = std::memchr(text, 0, length);
    if (!end)
        return std::nullopt;
    std::istringstream words(std::string(text, static_cast<const char*>(end)));
    Mode mode;
    mode.bitsPerPixel = get32(input);
    std::string extra;
    if (!(words >> mode.width >> mode.height))
        return std::nullopt;
    if (!(words >> mode.rate))
    {
        if (!words.eof())
            return std::nullopt;
        mode.rate = 60;
    }
    if (words >> extra)
        return std::nullopt;
    return mode;
}

Answer fail(DWORD error)
{
    Answer answer;
    answer.error = error;
    return answer;
}

Answer answered(uint32_t returned, bool changed = false)
{
    Answer answer;
    answer.returned = returned;
    answer.changed = changed;
    return answer;
}

Answer setMode(State& state, const Call& call)
{
    const auto wanted = readRecord(call.input, call.inputSize);
    if (!wanted)
        return fail(ERROR_INVALID_PARAMETER);
    // A record without a colour depth takes the first listed mode of its size and rate.
    for (const Mode& mode : state.modes)
    {
        if (mode.width == wanted->width && mode.height == wanted->height && mode.rate == wanted->rate &&
            (wanted->bitsPerPixel == 0 || wanted->bitsPerPixel == mode.bitsPerPixel))
        {
            state.current = mode;
            return answered(0, true);
        }
    }
    return fail(ERROR_NOT_SUPPORTED);
}

Answer modeList(const State& state, const Call& call)
{
    if (!call.output || call.outputSize < kModeListSize)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memset(call.output, 0, kModeListSize);
    uint32_t offset = 8;
    uint32_t count = 0;
    // Modes that no longer fit are left out.
    for (const Mode& mode : state.modes)
    {
        if (offset + 8 + mode.text().size() + 1 > kModeListSize)
            break;
        offset += putRecord(call.output + offset, mode);
        ++count;
    }
    put32(call.output, count);
    put32(call.output + 4, offset - 8);
    return answered(kModeListSize);
}

Answer fourBytesOut(const Call& call, uint32_t value)
{
    if (!call.output || call.outputSize < 4)
        return fail(ERROR_INSUFFICIENT_BUFFER);
    put32(call.output, value);
    return answered(4);
}
} // namespace

std::string Mode::text() const
{
    return std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(rate);
}

bool parseState(const std::string& text, State& state, std::string& error)
{
    state = State{};
    bool haveCurrent = false;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number)
    {
        std::vector<simdesc::Token> tokens;
        std::string message;
        if (!simdesc::tokenize(line, tokens, message))
        {
            error = "line " + std::to_string(number) + ": " + message;
            return false;
        }
        if (tokens.empty())
            continue;
        const std::string& word = tokens[0].text;
        Mode mode;
        uint32_t value = 0;
        if (word == "mode" && parseMode(tokens, mode))
            state.modes.push_back(mode);
        else if (word == "current" && parseMode(tokens, mode))
        {
            state.current = mode;
            haveCurrent = true;
        }
        else if (word == "rotation" && tokens.size() == 2 && zrdsim::number(tokens[1], value) &&
                 validRotation(value))
            state.rotation = value;
        else if (word == "cpu" && tokens.size() == 2 && zrdsim::number(tokens[1], value))
            state.cpuMhz = value;
        else
        {
            error = "line " + std::to_string(number) + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    if (!haveCurrent)
    {
        error = "no current mode";
        return false;
    }
    return true;
}

std::string formatState(const State& state)
{
    const auto modeLine = [](const char* word, const Mode& mode)
    { return std::string(word) + " " + std::to_string(mode.bitsPerPixel) + " " + mode.text() + "\n"; };
    std::string text =
        "# The simulated display and processor behind \"ZRD1:\" (see the shipped ZrdSim.txt).\n";
    for (const Mode& mode : state.modes)
        text += modeLine("mode", mode);
    text += modeLine("current", state.current);
    text += "rotation " + std::to_string(state.rotation) + "\n";
    if (state.cpuMhz)
        text += "cpu " + std::to_string(*state.cpuMhz) + "\n";
    return text;
}

uint32_t cpuinfoMhz(const std::string& cpuinfo)
{
    std::istringstream lines(cpuinfo);
    std::string line;
    while (std::getline(lines, line))
    {
        if (line.rfind("cpu MHz", 0) != 0)
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        char* end = nullptr;
        const double mhz = std::strtod(line.c_str() + colon + 1, &end);
        if (end != line.c_str() + colon + 1 && mhz > 0 && mhz < 4294967295.0)
            return static_cast<uint32_t>(std::lround(mhz));
    }
    return 0;
}

Answer handleRequest(State& state, const Call& call, uint32_t hostMhz)
{
    switch (call.code)
    {
    case kIoctlGetMode:
        if (!call.output || call.outputSize < kModeRecordSize)
            return fail(ERROR_INSUFFICIENT_BUFFER);
        std::memset(call.output, 0, kModeRecordSize);
        putRecord(call.output, state.current);
        return answered(kModeRecordSize);
    case kIoctlSetMode:
        return setMode(state, call);
    case kIoctlGetModeList:
        return modeList(state, call);
    case kIoctlCpuFrequency:
        return fourBytesOut(call, state.cpuMhz.value_or(hostMhz));
    case kIoctlGetRotation:
        return fourBytesOut(call, state.rotation);
    case kIoctlSetRotation:
        if (!call.input || call.inputSize < 4 || !validRotation(get32(call.input)))
            return fail(ERROR_INVALID_PARAMETER);
        state.rotation = get32(call.input);
        return answered(0, true);
    default:
        return fail(ERROR_INVALID_FUNCTION);
    }
}
} // namespace zrdsim
