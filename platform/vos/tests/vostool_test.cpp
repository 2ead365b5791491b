// The command-line tool: its value syntax, and the program against a test port.
#include "testsupport.h"
#include "values.h"

#include <gtest/gtest.h>

using vostest::Child;
using vostest::DeviceRoot;

namespace
{

TEST(VostoolValues, ParseTypedNumbersHexAndText)
{
    struct Case
    {
        std::vector<std::string> items;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {{"u8:255"}, {0xFF}},
        {{"i8:-1"}, {0xFF}},
        {{"i16:-2"}, {0xFE, 0xFF}},
        {{"u16:0x1234"}, {0x34, 0x12}},
        {{"i32:-1"}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {{"u32:4294967295"}, {0xFF, 0xFF, 0xFF, 0xFF}},
        {{"u64:1"}, {1, 0, 0, 0, 0, 0, 0, 0}},
        {{"f32:1.5"}, {0, 0, 0xC0, 0x3F}},
        {{"f64:-2"}, {0, 0, 0, 0, 0, 0, 0, 0xC0}},
        {{"hex:0aFF10"}, {0x0A, 0xFF, 0x10}},
        {{"str:ab"}, {'a', 'b', 0}},
        {{"u8:1", "hex:0203", "u16:4"}, {1, 2, 3, 4, 0}},
    };
    for (const auto& c : cases)
    {
        std::string error;
        auto bytes = vostool::ParseValues(c.items, error);
        ASSERT_TRUE(bytes) << c.items[0] << ": " << error;
        EXPECT_EQ(*bytes, c.bytes) << c.items[0];
    }
}

TEST(VostoolValues, RejectBadValues)
{
    for (const char* bad : {"u8:256", "i8:128", "i8:-129", "u16:-1", "u32:4294967296", "i32:1x", "hex:abc",
                            "hex:zz", "hex:", "f64:", "f64:one", "x32:1", "12"})
    {
        std::string error;
        EXPECT_FALSE(vostool::ParseValues({bad}, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos);
    }
}

TEST(VostoolValues, FormatAnswers)
{
    std::vector<uint8_t> bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    EXPECT_EQ(*vostool::FormatValues(bytes, ""), "ff ff ff ff 01 00 00 00\n");
    EXPECT_EQ(*vostool::FormatValues(bytes, "i32"), "-1\n1\n");
    EXPECT_EQ(*vostool::FormatValues(bytes, "u32"), "4294967295\n1\n");
    EXPECT_EQ(*vostool::FormatValues(bytes, "i16"), "-1\n-1\n1\n0\n");
    EXPECT_EQ(*vostool::FormatValues({'h', 'i', 0, 'x'}, "str"), "hi\n");
    EXPECT_FALSE(vostool::FormatValues(bytes, "f32x"));
    EXPECT_FALSE(vostool::FormatValues({1, 2, 3}, "u16")); // not a whole number of values
    EXPECT_EQ(vostool::ParseU32("0x2300"), 0x2300u);
    EXPECT_EQ(vostool::ParseU32("268435456"), 0x10000000u);
    EXPECT_FALSE(vostool::ParseU32("-1"));
    EXPECT_FALSE(vostool::ParseU32("0x100000000"));
}

class VostoolProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_peer = std::make_unique<Child>("vos_test_peer", std::vector<std::string>{"30001", "Peer_Tool"});
        ASSERT_EQ(m_peer->ReadLine(), "ready 30001");
    }
    void TearDown() override
    {
        m_peer.reset();
        EXPECT_TRUE(m_root.StopRouter());
    }

    int Tool(const std::vector<std::string>& args, std::string& out)
    {
        return vostest::Run("vostool", args, out);
    }

    DeviceRoot m_root;
    std::unique_ptr<Child> m_peer;
};

TEST_F(VostoolProgram, WritesReadsAndReadWritesTypedValues)
{
    std::string out;
    ASSERT_EQ(Tool({"--port", "30001", "write", "0x1000", "8", "f64:2.5", "f64:-0.125"}, out), 0) << out;
    ASSERT_EQ(Tool({"--port", "30001", "--as", "f64", "read", "0x1000", "8", "16"}, out), 0);
    EXPECT_EQ(out, "2.5\n-0.125\n");
    ASSERT_EQ(Tool({"--port", "30001", "read", "4096", "8", "4"}, out), 0);
    EXPECT_EQ(out, "00 00 00 00\n");
    // Read-write: write two 16-bit numbers at 0, read 6 bytes back from there.
    ASSERT_EQ(Tool({"--port", "30001", "readwrite", "0x1000", "0", "6", "u16:0x0102", "hex:0304"}, out), 0);
    EXPECT_EQ(out, "02 01 03 04 00 00\n");
    // By port name; text with its terminator.
    ASSERT_EQ(Tool({"--port", "Peer_Tool", "write", "0x1000", "32", "str:Millpath"}, out), 0);
    ASSERT_EQ(Tool({"--port", "Peer_Tool", "--as", "str", "read", "0x1000", "32", "12"}, out), 0);
    EXPECT_EQ(out, "Millpath\n");
    // A write without data, as commands take it; the peer refuses it past its area.
    EXPECT_EQ(Tool({"--port", "30001", "write", "0x1000", "1024"}, out), 0);
    EXPECT_EQ(Tool({"--port", "30001", "write", "0x1000", "1025"}, out), 1);
}

TEST_F(VostoolProgram, ShowsDeviceInfo)
{
    std::string out;
    ASSERT_EQ(Tool({"--port", "30001", "info"}, out), 0);
    EXPECT_EQ(out, "name: TestPeer\nversion: 1.2.345\n");
}

TEST_F(VostoolProgram, ReportsErrorsByExitCode)
{
    std::string out;
    EXPECT_EQ(Tool({"--port", "30002", "read", "0x1000", "0", "4"}, out), 1); // nobody holds it
    EXPECT_EQ(out, "");
    EXPECT_EQ(Tool({"--port", "30001", "read", "0x3000", "0", "4"}, out), 1); // device error
    EXPECT_EQ(Tool({"--port", "30001", "--timeout", "200", "read", "0x2000", "0", "4"}, out), 1);
    EXPECT_EQ(Tool({"--port", "NoSuchName", "info"}, out), 1);
    // Usage errors.
    EXPECT_EQ(Tool({"--port", "30001", "info", "u8:1"}, out), 2);
    EXPECT_EQ(Tool({"--port", "30001", "write", "0x1000"}, out), 2);
    EXPECT_EQ(Tool({"--port", "30001", "write", "0x1000", "0", "u8:300"}, out), 2);
    EXPECT_EQ(Tool({"--port", "30001", "fly"}, out), 2);
    EXPECT_EQ(Tool({"read", "1", "2", "3"}, out), 2);
    EXPECT_EQ(Tool({"--port", "30001", "--as", "q8", "read", "1", "2", "3"}, out), 2);
}

} // namespace
