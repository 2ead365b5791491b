// What the simulated driver keeps in its state file, and the requests it answers.
#pragma once

#include <zrdsim/control.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zrdsim
{
struct Mode
{
    uint32_t bitsPerPixel = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate = 60;
    bool operator==(const Mode&) const = default;
    // "<width> <height> <rate>", as the records carry it.
    std::string text() const;
};

struct State
{
    std::vector<Mode> modes;
    Mode current;
    uint32_t rotation = 0;
    std::optional<uint32_t> cpuMhz; // nothing: the host's
};

// The state file (see ZrdSim.txt). False with a message for a line it cannot read.
bool parseState(const std::string& text, State& state, std::string& error);
std::string formatState(const State& state);

// The host's processor frequency from a /proc/cpuinfo text: the first "cpu MHz" rounded,
// 0 when there is none.
uint32_t cpuinfoMhz(const std::string& cpuinfo);

struct Call
{
    uint32_t code;
    const uint8_t* input;
    uint32_t inputSize;
    uint8_t* output;
    uint32_t outputSize;
};

struct Answer
{
    DWORD error = 0;       // a platform error; 0 on success
    uint32_t returned = 0; // bytes written to the output
    bool changed = false;  // the state is to be written back
};

// One regular request on the state; hostMhz is used when the state sets no frequency.
Answer handleRequest(State& state, const Call& call, uint32_t hostMhz);
} // namespace zrdsim
