// The simulated display and processor driver's state file and request handling.
#include "state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace
{
using namespace zrdsim;

State parsed(const std::string& text)
{
    State state;
    std::string error;
    EXPECT_TRUE(parseState(text, state, error)) << error;
    return state;
}

uint32_t get32(const uint8_t* at)
{
    uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return value;
}

// A mode record as a caller sends it: 8 + length bytes.
std::vector<uint8_t> record(uint32_t bitsPerPixel, const std::string& text, int lengthChange = 0)
{
    std::vector<uint8_t> bytes(8 + text.size() + 1);
    const uint32_t length = static_cast<uint32_t>(text.size() + 1 + lengthChange);
    std::memcpy(bytes.data(), &bitsPerPixel, 4);
    std::memcpy(bytes.data() + 4, &length, 4);
    std::memcpy(bytes.data() + 8, text.c_str(), text.size() + 1);
    return bytes;
}

const char* const kTwoModes = "mode 16 640 480 60\nmode 32 640 480 60\nmode 16 800 600 75\n"
                              "current 16 640 480 60\nrotation 90\n";

TEST(ZrdSimState, TheShippedFileIsReadAndWrittenBackAlike)
{
    std::ifstream file(ZRDSIM_DEFAULT_STATE);
    std::stringstream text;
    text << file.rdbuf();
    const State state = parsed(text.str());
    EXPECT_EQ(state.modes.size(), 5u);
    EXPECT_EQ(state.current, (Mode{16, 1024, 768, 60}));
    EXPECT_EQ(state.rotation, 0u);
    EXPECT_FALSE(state.cpuMhz);

    State again = parsed(formatState(state));
    EXPECT_EQ(again.modes, state.modes);
    EXPECT_EQ(again.current, state.current);
    again.cpuMhz = 1333;
    EXPECT_EQ(parsed(formatState(again)).cpuMhz, 1333u);
}

TEST(ZrdSimState, LinesItCannotReadAreNamed)
{
    struct Case
    {
        const char* text;
        const char* error;
    } cases[] = {
        {"mode 16 640 480\ncurrent 16 640 480 60\n", "line 1"},
        {"current 16 640 480 60\nrotation 45\n", "line 2"},
        {"current 16 640 480 60\nrotation\n", "line 2"},
        {"current 16 640 -480 60\n", "line 1"},
        {"current 16 640 480 60\ncpu fast\n", "line 2"},
        {"current 16 640 480 60\nbrightness 3\n", "line 2"},
        {"mode 16 640 480 60 \"x\n", "line 1"},
        {"mode 16 640 480 60\n", "no current mode"},
    };
    for (const Case& c : cases)
    {
        State state;
        std::string error;
        EXPECT_FALSE(parseState(c.text, state, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
}

TEST(ZrdSimState, ProcessorFrequencyFromCpuinfo)
{
    struct Case
    {
        const char* text;
        uint32_t mhz;
    } cases[] = {
        {"processor\t: 0\ncpu MHz\t\t: 2399.996\ncpu MHz\t\t: 800.000\n", 2400},
        {"cpu MHz : 1000.4\n", 1000},
        {"processor : 0\nBogoMIPS : 50.00\n", 0},
        {"cpu MHz\t\t: unknown\n", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cpuinfoMhz(c.text), c.mhz) << c.text;
}

TEST(ZrdSimRequests, TheCurrentModeAndTheListHaveTheirLayouts)
{
    State state = parsed(kTwoModes);
    std::vector<uint8_t> out(kModeListSize, 0xEE);
    Answer answer = handleRequest(state, {kIoctlGetMode, nullptr, 0, out.data(), kModeRecordSize}, 0);
    ASSERT_EQ(answer.error, 0u);
    EXPECT_EQ(answer.returned, 88u);
    EXPECT_EQ(get32(out.data()), 16u);
    EXPECT_EQ(get32(out.data() + 4), 11u);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + 8), "640 480 60");
    EXPECT_EQ(out[87], 0); // the rest of the record is cleared

    answer = handleRequest(state, {kIoctlGetModeList, nullptr, 0, out.data(), kModeListSize}, 0);
    ASSERT_EQ(answer.error, 0u);
    EXPECT_EQ(answer.returned, 744u);
    EXPECT_EQ(get32(out.data()), 3u);
    EXPECT_EQ(get32(out.data() + 4), 3u * (8 + 11));
    size_t offset = 8;
    for (const char* text : {"640 480 60", "640 480 60", "800 600 75"})
    {
        EXPECT_EQ(get32(out.data() + offset + 4), std::strlen(text) + 1);
        EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + offset + 8), text);
        offset += 8 + std::strlen(text) + 1;
    }
    EXPECT_EQ(get32(out.data() + 8 + 19), 32u); // the second entry's depth
    EXPECT_FALSE(answer.changed);
}

TEST(ZrdSimRequests, AListLongerThanTheAnswerIsCut)
{
    std::string text = "current 16 640 480 60\n";
    for (int i = 0; i < 60; ++i)
        text += "mode 16 " + std::to_string(10000 + i) + " 1000 60\n"; // 13 characters: 22 bytes each
    State state = parsed(text);
    std::vector<uint8_t> out(kModeListSize);
    const Answer answer = handleRequest(state, {kIoctlGetModeList, nullptr, 0, out.data(), kModeListSize}, 0);
    ASSERT_EQ(answer.error, 0u);
    EXPECT_EQ(get32(out.data()), 33u); // 33 * 22 = 726 of the 736 bytes
    EXPECT_EQ(get32(out.data() + 4), 726u);
}

TEST(ZrdSimRequests, SettingAModeTakesAListedOneOnly)
{
    struct Case
    {
        const char* name;
        std::vector<uint8_t> input;
        DWORD error;
        Mode current;
    } cases[] = {
        {"a listed mode", record(16, "800 600 75"), 0, {16, 800, 600, 75}},
        {"the second depth of a size", record(32, "640 480 60"), 0, {32, 640, 480, 60}},
        {"no depth: the first of the size", record(0, "640 480 60"), 0, {16, 640, 480, 60}},
        {"no rate: 60", record(32, "640 480"), 0, {32, 640, 480, 60}},
        {"not listed", record(16, "800 600 60"), ERROR_NOT_SUPPORTED, {16, 640, 480, 60}},
        {"another depth", record(24, "800 600 75"), ERROR_NOT_SUPPORTED, {16, 640, 480, 60}},
        {"a word too many", record(16, "800 600 75 1"), ERROR_INVALID_PARAMETER, {16, 640, 480, 60}},
        {"no height", record(16, "800"), ERROR_INVALID_PARAMETER, {16, 640, 480, 60}},
        {"a length beyond the input",
         record(16, "800 600 75", 1),
         ERROR_INVALID_PARAMETER,
         {16, 640, 480, 60}},
        {"no terminator within the length",
         record(16, "800 600 75", -1),
         ERROR_INVALID_PARAMETER,
         {16, 640, 480, 60}},
        {"a length of 0", record(16, "", -1), ERROR_INVALID_PARAMETER, {16, 640, 480, 60}},
        {"a length over 80", record(16, std::string(80, '1')), ERROR_INVALID_PARAMETER, {16, 640, 480, 60}},
        {"only a header", std::vector<uint8_t>(7), ERROR_INVALID_PARAMETER, {16, 640, 480, 60}},
    };
    for (const Case& c : cases)
    {
        State state = parsed(kTwoModes);
        const Answer answer = handleRequest(
            state, {kIoctlSetMode, c.input.data(), static_cast<uint32_t>(c.input.size()), nullptr, 0}, 0);
        EXPECT_EQ(answer.error, c.error) << c.name;
        EXPECT_EQ(answer.changed, c.error == 0) << c.name;
        EXPECT_EQ(state.current, c.current) << c.name;
    }
}

TEST(ZrdSimRequests, RotationFrequencyAndShortBuffers)
{
    State state = parsed(kTwoModes);
    uint8_t out[744] = {};
    EXPECT_EQ(handleRequest(state, {kIoctlGetRotation, nullptr, 0, out, 4}, 0).returned, 4u);
    EXPECT_EQ(get32(out), 90u);
    for (uint32_t degrees : {0u, 90u, 180u, 270u, 45u, 360u})
    {
        const Answer answer = handleRequest(
            state, {kIoctlSetRotation, reinterpret_cast<const uint8_t*>(&degrees), 4, nullptr, 0}, 0);
        const bool valid = degrees % 90 == 0 && degrees < 360;
        EXPECT_EQ(answer.error, valid ? 0u : static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << degrees;
        EXPECT_EQ(state.rotation, valid ? degrees : 270u) << degrees;
    }
    EXPECT_EQ(handleRequest(state, {kIoctlCpuFrequency, nullptr, 0, out, 4}, 1866).error, 0u);
    EXPECT_EQ(get32(out), 1866u);
    state.cpuMhz = 0;
    handleRequest(state, {kIoctlCpuFrequency, nullptr, 0, out, 4}, 1866);
    EXPECT_EQ(get32(out), 0u);

    struct Short
    {
        uint32_t code;
        uint32_t size;
    } shorts[] = {
        {kIoctlGetMode, 87}, {kIoctlGetModeList, 743}, {kIoctlCpuFrequency, 3}, {kIoctlGetRotation, 0}};
    for (const Short& s : shorts)
        EXPECT_EQ(handleRequest(state, {s.code, nullptr, 0, out, s.size}, 0).error,
                  static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER))
            << std::hex << s.code;
    EXPECT_EQ(handleRequest(state, {0x150808, nullptr, 0, out, 4}, 0).error,
              static_cast<DWORD>(ERROR_INVALID_FUNCTION));
}
} // namespace
