// The board's device families on their own: what each kind of function
// answers and keeps, and the log of what reached them.
#include <board_families.h>
#include <family_status.h>

#include <gtest/gtest.h>

#include <cstring>

namespace boardsim::families
{
namespace
{

struct Result
{
    uint32_t status;
    std::vector<uint8_t> answer;
};

Result callOf(BoardFamilies& families, uint32_t group, uint32_t offset, std::vector<uint8_t> input,
              uint32_t outputSize)
{
    std::vector<uint8_t> output(outputSize, 0xEE);
    uint32_t returned = 0xFFFF;
    const uint32_t status = families.call({group, offset, input.empty() ? nullptr : input.data(),
                                           static_cast<uint32_t>(input.size()),
                                           output.empty() ? nullptr : output.data(), outputSize, &returned});
    output.resize(status == kOk ? returned : 0);
    return {status, output};
}

FamiliesSetup boardSetup()
{
    FamiliesSetup setup;
    setup.reads[{0x9000, 54}] = {0xF6};
    setup.reads[{0x3000, 2}] = {0x00};
    setup.writes[{0x3000, 6}] = {1, 2};
    setup.writes[{0x9000, 97}] = {17, -1};
    setup.commands.insert({0x5000, 9});
    setup.sensors = {{1, 2, 45, 0}, {2, 1, 3300, 0x8000}};
    setup.batteryDate = 0x7E5A8A5;
    return setup;
}

TEST(BoardFamilies, AnswersEachKindOfFunction)
{
    struct Case
    {
        const char* name;
        uint32_t group, offset;
        std::vector<uint8_t> input;
        uint32_t outputSize;
        uint32_t status;
        std::vector<uint8_t> answer;
    };
    const Case cases[] = {
        {"fixed answer", 0x9000, 54, {}, 1, kOk, {0xF6}},
        {"answer larger than the output", 0x9000, 54, {}, 0, kBadParameter, {}},
        {"write of its size", 0x9000, 97, std::vector<uint8_t>(17, 'A'), 0, kOk, {}},
        {"write of another size", 0x9000, 97, std::vector<uint8_t>(16, 'A'), 0, kBadParameter, {}},
        {"command", 0x5000, 9, {}, 0, kOk, {}},
        {"command with data", 0x5000, 9, {1}, 0, kBadParameter, {}},
        {"unknown offset", 0x4000, 77, {}, 4, kNotSupported, {}},
        {"sensor count", 0x2000, 0, {}, 4, kOk, {2, 0, 0, 0}},
        {"no sensor 3", 0x2000, 3, {}, 56, kNotSupported, {}},
        {"battery date", 0x9001, 151, {}, 4, kOk, {0xA5, 0xA8, 0xE5, 0x07}},
        {"EEPROM byte above the end", 0x7000, 2, {128}, 1, kBadParameter, {}},
        {"EEPROM write of 129 bytes", 0x7000, 1, std::vector<uint8_t>(129, 1), 0, kBadParameter, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        BoardFamilies families(boardSetup());
        const Result result = callOf(families, c.group, c.offset, c.input, c.outputSize);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.answer, c.answer);
    }
}

TEST(BoardFamilies, SensorRecordsCarryKindPlaceValueAndFlags)
{
    BoardFamilies families(boardSetup());
    const Result second = callOf(families, 0x2000, 2, {}, 56);
    ASSERT_EQ(second.status, kOk);
    ASSERT_EQ(second.answer.size(), 56u);
    uint32_t words[14];
    std::memcpy(words, second.answer.data(), sizeof words);
    EXPECT_EQ(words[0], 2u);
    EXPECT_EQ(words[1], 1u);
    EXPECT_EQ(words[11], 3300u | 0x8000u << 16);
}

TEST(BoardFamilies, KeepsWhatIsWritten)
{
    BoardFamilies families(boardSetup());
    // A GPIO output reads back what was written to it.
    EXPECT_EQ(callOf(families, 0x3000, 6, {0x5A}, 0).status, kOk);
    EXPECT_EQ(callOf(families, 0x3000, 2, {}, 1).answer, std::vector<uint8_t>({0x5A}));
    // The battery date written at 152 is read at 151.
    EXPECT_EQ(callOf(families, 0x9001, 152, {1, 2, 3, 4}, 0).status, kOk);
    EXPECT_EQ(callOf(families, 0x9001, 151, {}, 4).answer, std::vector<uint8_t>({1, 2, 3, 4}));
    // The EEPROM: a write from its start, bytes one by one, all 128 read back.
    EXPECT_EQ(callOf(families, 0x7000, 1, {9, 8, 7}, 0).status, kOk);
    EXPECT_EQ(callOf(families, 0x7000, 3, {127, 0x42}, 0).status, kOk);
    EXPECT_EQ(callOf(families, 0x7000, 2, {1}, 1).answer, std::vector<uint8_t>({8}));
    const Result all = callOf(families, 0x7000, 0, {}, 200);
    ASSERT_EQ(all.answer.size(), 128u);
    EXPECT_EQ(all.answer[0], 9);
    EXPECT_EQ(all.answer[2], 7);
    EXPECT_EQ(all.answer[3], 0);
    EXPECT_EQ(all.answer[127], 0x42);
}

TEST(BoardFamilies, LogsWhatReachedThem)
{
    BoardFamilies families(boardSetup());
    callOf(families, 0x9000, 97, std::vector<uint8_t>(17, 'B'), 0);
    callOf(families, 0x4000, 77, {}, 4);
    const auto log = families.takeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].group, 0x9000u);
    EXPECT_EQ(log[0].offset, 97u);
    EXPECT_EQ(log[0].input, std::vector<uint8_t>(17, 'B'));
    EXPECT_EQ(log[1].offset, 77u);
    EXPECT_EQ(log[1].outputSize, 4u);
    EXPECT_TRUE(families.takeLog().empty()) << "taking empties the log";
    for (uint32_t i = 0; i < BoardFamilies::kLogCapacity + 10; ++i)
        callOf(families, 0x4000, i, {}, 0);
    uint32_t lost = 0;
    const auto full = families.takeLog(&lost);
    ASSERT_EQ(full.size(), BoardFamilies::kLogCapacity);
    EXPECT_EQ(full.front().offset, 10u) << "the oldest calls give way";
    EXPECT_EQ(lost, 10u);
}

TEST(BoardFamilies, ResetForgetsWhatWasWritten)
{
    BoardFamilies families(boardSetup());
    callOf(families, 0x7000, 3, {5, 0x42}, 0);
    callOf(families, 0x9001, 152, {1, 2, 3, 4}, 0);
    families.smbus().lockMode(true);
    families.reset(boardSetup());
    EXPECT_EQ(callOf(families, 0x7000, 2, {5}, 1).answer, std::vector<uint8_t>({0}));
    EXPECT_EQ(callOf(families, 0x9001, 151, {}, 4).answer, std::vector<uint8_t>({0xA5, 0xA8, 0xE5, 0x07}));
    EXPECT_EQ(families.takeLog().size(), 2u) << "only the calls since the reset";
    // The boot loader takes its loader mode again.
    const uint8_t setMode[9] = {0, 0x50, 0, 0xA1, 1, 0, 0, 0, 1};
    EXPECT_EQ(families.smbus().write(setMode, sizeof setMode), kOk);
    EXPECT_EQ(families.smbus().mode(), 1);
}

} // namespace
} // namespace boardsim::families
