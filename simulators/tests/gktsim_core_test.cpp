// The simulated device's dictionary, description file and request handling.
#include "description.h"
#include "requests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <memory>
#include <thread>

namespace
{

using namespace gktsim;

void load(Dictionary& dictionary, const std::string& text)
{
    std::string error;
    EXPECT_TRUE(parseDescription(text, dictionary, error)) << error;
}

std::vector<uint8_t> readBytes(Dictionary& dictionary, uint16_t index, uint8_t subindex, int32_t& status)
{
    std::vector<uint8_t> bytes(600);
    uint32_t length = 0;
    status = dictionary.read(index, subindex, bytes.data(), static_cast<uint32_t>(bytes.size()), length);
    bytes.resize(length);
    return bytes;
}

TEST(GktSimDescription, ValuesOfEveryKindAreEncodedLittleEndian)
{
    struct Case
    {
        const char* line;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"0 BOOL ro true \"b\"", {1}},
        {"0 INT8 ro \"A\" \"c\"", {'A'}},
        {"0 INT16 ro -2 \"i\"", {0xFE, 0xFF}},
        {"0 INT32 ro -123456 \"i\"", {0xC0, 0x1D, 0xFE, 0xFF}},
        {"0 UINT16 ro 0x1234 \"u\"", {0x34, 0x12}},
        {"0 REAL32 ro 3.25 \"f\"", {0x00, 0x00, 0x50, 0x40}},
        {"0 VSTRING rw \"COM3\" \"s\"", {'C', 'O', 'M', '3', 0}},
        {"0 UINT24 ro 0x123456 \"u\"", {0x56, 0x34, 0x12}},
        {"0 UINT48 ro hex:00014E2A3B4C \"m\"", {0x00, 0x01, 0x4E, 0x2A, 0x3B, 0x4C}},
        {"0 UINT64 ro 0x0123456789ABCDEF \"u\"", {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}},
        {"0 55 ro 129 \"bit8 by number\"", {129}},
    };
    for (const auto& c : cases)
    {
        Dictionary dictionary;
        load(dictionary, std::string("object 0x2000 VAR \"x\"\n") + c.line + "\n");
        int32_t status = -1;
        EXPECT_EQ(readBytes(dictionary, 0x2000, 0, status), c.bytes) << c.line;
        EXPECT_EQ(status, 0) << c.line;
    }
}

TEST(GktSimDescription, BadLinesAreRefusedWithTheirLineNumber)
{
    const char* cases[] = {
        "object 0x2000 VAR \"x\"\n  0 INT16 ro 40000 \"too big\"\n",
        "object 0x2000 VAR \"x\"\n  0 UINT8 ro -1 \"negative\"\n",
        "object 0x2000 VAR \"x\"\n  0 FOO ro 1 \"type\"\n",
        "object 0x2000 VAR \"x\"\n  1 UINT8 ro 1 \"gap\"\n",
        "object 0x2000 VAR \"x\"\n  0 UINT8 xx 1 \"access\"\n",
        "object 0x2000 VAR \"x\"\n  0 UINT8 rw wave(1,2,3) \"writable live\"\n",
        "object 0x2000 VAR \"x\"\n  0 UINT48 ro hex:0102 \"short hex\"\n",
        "object 0x2000 VAR \"x\"\n  0 VSTRING ro \"open \"\n",
        "object 0x2000 VAR \"x\"\nobject 0x2000 VAR \"again\"\n",
        "  0 UINT8 ro 1 \"no object\"\n",
    };
    for (const char* text : cases)
    {
        Dictionary dictionary;
        std::string error;
        EXPECT_FALSE(parseDescription(text, dictionary, error)) << text;
        EXPECT_NE(error.find("line "), std::string::npos) << error;
    }
}

TEST(GktSimDictionary, WritesAreCheckedForAccessAndLength)
{
    Dictionary dictionary;
    load(dictionary, "object 0x2000 RECORD \"r\"\n"
                     "  0 UINT16 ro 2 \"n\"\n"
                     "  1 UINT32 rw 5 \"value\"\n"
                     "  2 VSTRING rw \"abc\" \"text\"\n");
    const uint8_t four[4] = {1, 2, 3, 4};
    EXPECT_EQ(dictionary.write(0x2000, 1, four, 4), 0);
    EXPECT_EQ(dictionary.write(0x2000, 1, four, 2), kStatusInvalidData);
    EXPECT_EQ(dictionary.write(0x2000, 0, four, 2), kStatusInvalidAccess);
    EXPECT_EQ(dictionary.write(0x2000, 3, four, 4), kStatusInvalidIndex);
    EXPECT_EQ(dictionary.write(0x2001, 0, four, 4), kStatusInvalidIndex);
    int32_t status = -1;
    EXPECT_EQ(readBytes(dictionary, 0x2000, 1, status), std::vector<uint8_t>(four, four + 4));

    // Text is kept up to its first zero, with one terminator.
    const char padded[8] = {'C', 'O', 'M', '7', 0, 'x', 'y', 0};
    EXPECT_EQ(dictionary.write(0x2000, 2, reinterpret_cast<const uint8_t*>(padded), 8), 0);
    EXPECT_EQ(readBytes(dictionary, 0x2000, 2, status), (std::vector<uint8_t>{'C', 'O', 'M', '7', 0}));

    uint8_t small[2];
    uint32_t length = 99;
    EXPECT_EQ(dictionary.read(0x2000, 1, small, 2, length), kStatusBufferTooSmall);
    EXPECT_EQ(length, 0u);
}

TEST(GktSimDictionary, LiveValuesChangeOverTimeWithinTheirRange)
{
    Dictionary dictionary;
    load(dictionary, "object 0x2000 RECORD \"r\"\n"
                     "  0 UINT16 ro 2 \"n\"\n"
                     "  1 REAL64 ro ramp(100,1000) \"counter\"\n"
                     "  2 INT16 ro wave(40,60,0.2) \"temperature\"\n");
    auto readDouble = [&]
    {
        int32_t status = -1;
        const auto bytes = readBytes(dictionary, 0x2000, 1, status);
        double value = 0;
        std::memcpy(&value, bytes.data(), 8);
        return value;
    };
    const double first = readDouble();
    std::set<int16_t> temperatures;
    for (int i = 0; i < 200 && temperatures.size() < 2; ++i)
    {
        int32_t status = -1;
        const auto bytes = readBytes(dictionary, 0x2000, 2, status);
        int16_t value = 0;
        std::memcpy(&value, bytes.data(), 2);
        EXPECT_GE(value, 40);
        EXPECT_LE(value, 60);
        temperatures.insert(value);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(readDouble(), first);
    EXPECT_GE(first, 100.0);
    EXPECT_GE(temperatures.size(), 2u);
    const uint8_t two[2] = {1, 0};
    EXPECT_EQ(dictionary.write(0x2000, 2, two, 2), kStatusInvalidAccess);
}

// Request blocks as the device-profile library builds them.
std::vector<uint8_t> block(uint16_t index, uint8_t subindex, uint8_t flags, uint32_t length,
                           const std::vector<uint8_t>& data = {})
{
    std::vector<uint8_t> bytes(14 + length);
    std::memcpy(&bytes[4], &length, 4);
    std::memcpy(&bytes[10], &index, 2);
    bytes[12] = flags;
    bytes[13] = subindex;
    std::copy(data.begin(), data.end(), bytes.begin() + 14);
    return bytes;
}

int32_t statusOf(const std::vector<uint8_t>& bytes)
{
    int32_t status = 0;
    std::memcpy(&status, bytes.data(), 4);
    return status;
}

TEST(GktSimRequests, CombinedWriteAndReadAnswersInBothBlocks)
{
    Dictionary dictionary;
    load(dictionary, "object 0x2000 RECORD \"r\"\n"
                     "  0 UINT16 ro 1 \"n\"\n"
                     "  1 UINT16 rw 7 \"value\"\n");
    auto in = block(0x2000, 1, 0xA5, 2, {0x34, 0x12});
    auto out = block(0x2000, 1, 0, 8);
    const IoResult result = handleRequest(
        dictionary, {kIoctlReadWrite, in.data(), uint32_t(in.size()), out.data(), uint32_t(out.size())});
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytesReturned, 16u);
    EXPECT_EQ(statusOf(in), 0);
    EXPECT_EQ(statusOf(out), 0);
    EXPECT_EQ(out[4], 2);
    EXPECT_EQ(out[14], 0x34);
    EXPECT_EQ(out[15], 0x12);

    // A refused write reports in the write block; the read part still answers.
    auto badIn = block(0x2000, 0, 0, 2, {1, 0});
    const IoResult refused = handleRequest(dictionary, {kIoctlReadWrite, badIn.data(), uint32_t(badIn.size()),
                                                        out.data(), uint32_t(out.size())});
    EXPECT_EQ(refused.error, 0u);
    EXPECT_EQ(statusOf(badIn), kStatusInvalidAccess);
    EXPECT_EQ(statusOf(out), 0);

    // A block whose length runs past its buffer is refused as a whole.
    auto lying = block(0x2000, 1, 0, 2, {1, 0});
    lying[4] = 40;
    EXPECT_EQ(
        handleRequest(dictionary, {kIoctlReadWrite, lying.data(), uint32_t(lying.size()), nullptr, 0}).error,
        kErrorInvalidParameter);
}

TEST(GktSimRequests, DescriptionsAndObjectList)
{
    Dictionary dictionary;
    load(dictionary, "object 0x8010 RECORD \"Header\"\n"
                     "  0 UINT16 ro 1 \"n\"\n"
                     "  1 VSTRING ro \"CPU\" \"Type\"\n"
                     "object 0x1000 VAR \"Device Type\"\n"
                     "  0 UINT32 ro 5 \"Device Type\"\n");
    uint8_t selector[2] = {0, 0};
    uint8_t lengths[10] = {};
    IoResult result = handleRequest(dictionary, {kIoctlObjectList, selector, 2, lengths, 10});
    EXPECT_EQ(result.error, 0u);
    EXPECT_EQ(lengths[0], 2);
    selector[0] = 1;
    uint8_t list[4] = {};
    result = handleRequest(dictionary, {kIoctlObjectList, selector, 2, list, 4});
    EXPECT_EQ(result.bytesReturned, 4u);
    EXPECT_EQ(list[1], 0x10);
    EXPECT_EQ(list[3], 0x80);
    EXPECT_EQ(handleRequest(dictionary, {kIoctlObjectList, selector, 2, list, 2}).error,
              kErrorInsufficientBuffer);

    uint8_t request[6] = {0x10, 0x80, 0, 0, 0, 0};
    uint8_t description[64] = {};
    result = handleRequest(dictionary, {kIoctlObjectDescription, request, 6, description, 64});
    EXPECT_EQ(result.bytesReturned, 4u + 6u);
    EXPECT_EQ(description[0], 9);
    EXPECT_EQ(description[3], 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(description + 4), 6), "Header");
    // Too little room: the name is cut and the bytes returned tell the room needed.
    result = handleRequest(dictionary, {kIoctlObjectDescription, request, 6, description, 6});
    EXPECT_EQ(result.bytesReturned, 10u);

    uint8_t entryRequest[9] = {0x10, 0x80, 1, 0, 0, 0, 0, 0x22, 0x11};
    uint8_t entry[64] = {64};
    result = handleRequest(dictionary, {kIoctlEntryDescription, entryRequest, 9, entry, 64});
    EXPECT_EQ(result.error, 0u);
    uint16_t type = 0, bits = 0, echo = 0;
    uint32_t nameOffset = 0;
    std::memcpy(&echo, entry + 4, 2);
    std::memcpy(&type, entry + 6, 2);
    std::memcpy(&bits, entry + 8, 2);
    std::memcpy(&nameOffset, entry + 28, 4);
    EXPECT_EQ(echo, 0x1122);
    EXPECT_EQ(type, 9);
    EXPECT_EQ(bits, 512 * 8);
    ASSERT_LT(nameOffset, 60u);
    EXPECT_STREQ(reinterpret_cast<char*>(entry + nameOffset), "Type");
    entryRequest[2] = 5;
    EXPECT_EQ(handleRequest(dictionary, {kIoctlEntryDescription, entryRequest, 9, entry, 64}).error,
              kErrorNotFound);
}

TEST(GktSimDefaultDescription, DescribesModulesConsistently)
{
    std::ifstream file(GKTSIM_DEFAULT_DESCRIPTION);
    std::stringstream text;
    text << file.rdbuf();
    Dictionary dictionary;
    load(dictionary, text.str());

    // Subindex 0 of every table counts its further entries.
    for (uint16_t index : dictionary.objectIndices())
    {
        const auto object = dictionary.describeObject(index);
        if (object->code != 8 && object->code != 9)
            continue;
        int32_t status = -1;
        const auto count = readBytes(dictionary, index, 0, status);
        ASSERT_EQ(count.size(), 2u) << std::hex << index;
        EXPECT_EQ(count[0] + 1u, object->entries.size()) << std::hex << index;
    }

    // The module list names every module with the type its header gives, and
    // the types used cover every Gkt data type.
    int32_t status = -1;
    const auto countBytes = readBytes(dictionary, 0xF020, 0, status);
    ASSERT_EQ(countBytes.size(), 2u);
    bool displayFound = false;
    for (uint8_t sub = 1; sub <= countBytes[0]; ++sub)
    {
        const auto item = readBytes(dictionary, 0xF020, sub, status);
        uint32_t value = 0;
        std::memcpy(&value, item.data(), 4);
        const uint16_t module = value & 0xFFFF, type = value >> 16;
        const uint16_t header = 0x8000 + 16 * module;
        const auto headerType = readBytes(dictionary, header, 1, status);
        ASSERT_EQ(status, 0) << header;
        EXPECT_EQ(headerType[0] | headerType[1] << 8, type);
        EXPECT_EQ(readBytes(dictionary, header, 2, status).empty(), false);
        if (type == 19 && !displayFound)
        {
            displayFound = true;
            const uint16_t config = 0x8000 + 16 * module + 3;
            EXPECT_EQ(dictionary.describeEntry(config, 2)->type, 9);
            EXPECT_TRUE(dictionary.describeEntry(config, 2)->writable);
            EXPECT_TRUE(dictionary.describeEntry(config, 4)->writable);
            EXPECT_EQ(readBytes(dictionary, config, 4, status).size(), 4u);
        }
    }
    EXPECT_TRUE(displayFound);

    std::set<uint16_t> types;
    for (uint16_t index : dictionary.objectIndices())
    {
        const auto object = dictionary.describeObject(index);
        for (const auto& entry : object->entries)
            types.insert(entry.type);
    }
    for (uint16_t type :
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 22, 24, 25, 26, 27, 40, 48, 49, 50, 51, 52, 53, 54, 55})
        EXPECT_TRUE(types.count(type)) << type;
}

} // namespace
