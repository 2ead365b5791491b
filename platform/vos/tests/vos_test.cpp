// The Vos layer between real processes through the router of a fresh device root.
#include "testsupport.h"

#include "../src/wire.h"
#include "QbVosDllCe.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using vostest::Child;
using vostest::DeviceRoot;

namespace
{

constexpr USHORT PEER_PORT = 30001;

OrxAddr Local(USHORT port)
{
    OrxAddr a{};
    a.port = port;
    return a;
}

class VosTest : public ::testing::Test
{
protected:
    void TearDown() override { EXPECT_TRUE(m_root.StopRouter()) << "a router is left running"; }

    // Starts the test peer on a port and waits until it serves.
    std::unique_ptr<Child> StartPeer(USHORT port, const std::string& name = "")
    {
        std::vector<std::string> args{std::to_string(port)};
        if (!name.empty())
            args.push_back(name);
        auto peer = std::make_unique<Child>("vos_test_peer", args);
        std::string line = peer->ReadLine();
        EXPECT_EQ(line, "ready " + std::to_string(port));
        return peer;
    }

    DeviceRoot m_root;
};

TEST_F(VosTest, TwoProcessesExchangeWriteReadAndReadWrite)
{
    auto peer = StartPeer(PEER_PORT);
    CVosSync client(0, TRUE, nullptr);
    ASSERT_TRUE(client.VosSyncIsConnected());
    OrxAddr target = Local(PEER_PORT);

    const double written[2] = {1.25, -7.5};
    ASSERT_EQ(client.VosSyncWriteReq(&target, 0x1000, 16, sizeof written, written), 0);
    double readBack[2] = {};
    ULONG got = 0;
    ASSERT_EQ(client.VosSyncReadReq(&target, 0x1000, 16, sizeof readBack, readBack, &got), 0);
    EXPECT_EQ(got, sizeof readBack);
    EXPECT_EQ(readBack[0], 1.25);
    EXPECT_EQ(readBack[1], -7.5);

    // Read-write: writes 4 bytes at 100, reads 8 from there (the 4 written, then 4 untouched zeros).
    const BYTE in[4] = {1, 2, 3, 4};
    BYTE out[8];
    std::memset(out, 0xAB, sizeof out);
    ASSERT_EQ(client.VosSyncReadWriteReq(&target, 0x1000, 100, sizeof out, out, sizeof in, in, &got), 0);
    EXPECT_EQ(got, 8u);
    const BYTE expected[8] = {1, 2, 3, 4, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(out, expected, 8), 0);
    EXPECT_EQ(peer->Finish(), 0);
}

struct SizeCase
{
    ULONG offset;
    ULONG length;
    LONG result;
};

TEST_F(VosTest, SizesAndAreaLimits)
{
    auto peer = StartPeer(PEER_PORT);
    CVosSync client;
    OrxAddr target = Local(PEER_PORT);
    const SizeCase cases[] = {
        {0, 0, 0},                      // empty read and write
        {0, 1, 0},                      //
        {0, 1024, 0},                   // the whole area
        {1023, 1, 0},                   // last byte
        {1023, 2, VOSERR_INVALID_SIZE}, // one past the end
        {1025, 0, VOSERR_INVALID_SIZE}, // offset past the end
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "offset " << c.offset << " length " << c.length);
        std::vector<BYTE> data(c.length);
        for (ULONG i = 0; i < c.length; ++i)
            data[i] = static_cast<BYTE>(i * 7 + c.offset);
        EXPECT_EQ(client.VosSyncWriteReq(&target, 0x1000, c.offset, c.length, data.data()), c.result);
        std::vector<BYTE> back(c.length + 1, 0xCD);
        ULONG got = 12345;
        EXPECT_EQ(client.VosSyncReadReq(&target, 0x1000, c.offset, c.length, back.data(), &got), c.result);
        if (c.result == 0)
        {
            EXPECT_EQ(got, c.length);
            EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
        }
        else
            EXPECT_EQ(got, 12345u); // untouched on failure
        EXPECT_EQ(back[c.length], 0xCD);
    }
}

TEST_F(VosTest, LargeMessagesCrossTheRouterWhole)
{
    // An in-process device answering big reads: larger than any single socket read.
    class Big : public CVosW32
    {
    public:
        Big() : CVosW32(0, FALSE, nullptr, 0) {}
        ~Big() override { OrxDisconnect(); }
        void VosReadInd(const OrxAddr* addr, ULONG id, ULONG, ULONG, ULONG length) override
        {
            std::vector<BYTE> data(length);
            for (ULONG i = 0; i < length; ++i)
                data[i] = static_cast<BYTE>(i % 251);
            VosReadRes(addr, id, 0, length, data.data());
        }
    } big;
    ASSERT_TRUE(big.OrxConnect(31000, 4096, 80));
    CVosSync client;
    OrxAddr target = Local(31000);
    for (ULONG length : {65536u, 300000u, 2000000u})
    {
        std::vector<BYTE> data(length);
        ULONG got = 0;
        ASSERT_EQ(client.VosSyncReadReq(&target, 1, 0, length, data.data(), &got), 0);
        ASSERT_EQ(got, length);
        for (ULONG i = 0; i < length; i += 997)
            ASSERT_EQ(data[i], static_cast<BYTE>(i % 251));
    }
}

TEST_F(VosTest, ErrorsAnswerACodeAndLeaveTheBufferUntouched)
{
    auto peer = StartPeer(PEER_PORT);
    CVosSync client;
    OrxAddr remote = Local(PEER_PORT);
    remote.netId.b[0] = 10; // another device: not reachable from here
    struct Case
    {
        const char* what;
        OrxAddr target;
        ULONG group;
        LONG result;
    } cases[] = {
        {"nobody holds the port", Local(PEER_PORT + 1), 0x1000, VOSERR_TARGET_PORT_NOT_FOUND},
        {"other device", remote, 0x1000, VOSERR_TARGET_NOT_REACHABLE},
        {"device error", Local(PEER_PORT), 0x3000, VOSERR_INVALID_VALUE},
        {"answer longer than asked", Local(PEER_PORT), 0x4000, VOSERR_INVALID_SIZE},
        {"unknown group", Local(PEER_PORT), 0x7777, VOSERR_INVALID_GROUP},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::array<BYTE, 16> buffer;
        buffer.fill(0xAB);
        ULONG got = 99;
        EXPECT_EQ(client.VosSyncReadReq(&c.target, c.group, 0, 8, buffer.data(), &got), c.result);
        EXPECT_EQ(got, 99u);
        EXPECT_EQ(client.VosSyncReadWriteReq(&c.target, c.group, 0, 8, buffer.data(), 2, "xy", &got),
                  c.result);
        for (BYTE b : buffer)
            ASSERT_EQ(b, 0xAB);
        EXPECT_EQ(client.VosSyncWriteReq(&c.target, c.group, 0, 2, "xy"), c.group == 0x4000 ? 0 : c.result);
    }
    EXPECT_EQ(client.VosSyncReadReq(nullptr, 0x1000, 0, 0, nullptr), VOSERR_INVALID_PARAMETER);
}

TEST_F(VosTest, AResultCodeWithDataDeliversBoth)
{
    // A device's own result that comes with data (the NC kernel's batch
    // answer names what it took): the code and the data arrive together.
    auto peer = StartPeer(PEER_PORT);
    CVosSync client;
    OrxAddr target = Local(PEER_PORT);
    std::array<BYTE, 8> buffer;
    buffer.fill(0);
    ULONG got = 0;
    EXPECT_EQ(client.VosSyncReadWriteReq(&target, 0x6000, 0x60, 8, buffer.data(), 2, "xy", &got), 0x423F);
    EXPECT_EQ(got, 8u);
    for (BYTE b : buffer)
        ASSERT_EQ(b, 0x5A);
    buffer.fill(0);
    got = 0;
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x6000, 0, 4, buffer.data(), &got), 0x423F);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(buffer[3], 0x5A);
    EXPECT_EQ(buffer[4], 0);
}

TEST_F(VosTest, TimeOutAndALateAnswerIsNotTakenForTheNext)
{
    auto peer = StartPeer(PEER_PORT);
    CVosSync client;
    client.VosSyncSetTimeout(300);
    OrxAddr target = Local(PEER_PORT);
    std::array<BYTE, 8> buffer;
    buffer.fill(0xAB);
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x2000, 0, 8, buffer.data()), VOSERR_TIMEOUT);
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x2001, 0, 8, buffer.data()), VOSERR_TIMEOUT);
    for (BYTE b : buffer)
        ASSERT_EQ(b, 0xAB);

    // The late answer to 0x2001 (bytes 0xEE) arrives while this request waits; it must be dropped.
    const BYTE mark[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    client.VosSyncSetTimeout(30000);
    ASSERT_EQ(client.VosSyncWriteReq(&target, 0x1000, 0, 8, mark), 0);
    ASSERT_EQ(client.VosSyncReadReq(&target, 0x1000, 0, 8, buffer.data()), 0);
    EXPECT_EQ(std::memcmp(buffer.data(), mark, 8), 0);
}

TEST_F(VosTest, AClientWaitingOnAPortThatGoesHearsSoAtOnce)
{
    // A client that keeps asking one port has a socket of its own to it; the
    // port's process going away mid-request ends that socket, and the client
    // is told the port is gone rather than waiting out its time-out.
    auto peer = StartPeer(PEER_PORT);
    CVosSync client;
    client.VosSyncSetTimeout(60000);
    OrxAddr target = Local(PEER_PORT);
    const BYTE mark[4] = {1, 2, 3, 4};
    BYTE back[4] = {};
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_EQ(client.VosSyncWriteReq(&target, 0x1000, 16, 4, mark), 0);
        ASSERT_EQ(client.VosSyncReadReq(&target, 0x1000, 16, 4, back), 0);
        ASSERT_EQ(std::memcmp(back, mark, 4), 0);
    }
    std::thread killer(
        [&peer]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(peer->Pid(), SIGKILL);
        });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x2000, 0, 4, back), VOSERR_TARGET_PORT_NOT_FOUND);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    killer.join();
    peer->Finish();
    // The next request takes the router, which knows nobody holds the port.
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x1000, 0, 4, back), VOSERR_TARGET_PORT_NOT_FOUND);
}

TEST_F(VosTest, ThreadsWithTheirOwnClientsWorkAtOnce)
{
    auto peer = StartPeer(PEER_PORT);
    constexpr int THREADS = 4, ROUNDS = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t)
        threads.emplace_back(
            [t, &failures]
            {
                CVosSync client;
                OrxAddr target = Local(PEER_PORT);
                for (int i = 0; i < ROUNDS; ++i)
                {
                    ULONG value = static_cast<ULONG>(t * 100000 + i), back = 0;
                    if (client.VosSyncWriteReq(&target, 0x1000, static_cast<ULONG>(t * 8), 4, &value) != 0 ||
                        client.VosSyncReadReq(&target, 0x1000, static_cast<ULONG>(t * 8), 4, &back) != 0 ||
                        back != value)
                        ++failures;
                }
            });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(VosTest, PortNumbersAndNamesHaveOneHolder)
{
    COrxW32Port first(0, FALSE, "Unit_A", 0);
    ASSERT_TRUE(first.OrxConnect(32000, 4096, 80));
    EXPECT_EQ(first.OrxGetPort(), 32000);

    COrxW32Port sameNumber(0, FALSE, nullptr, 0);
    EXPECT_FALSE(sameNumber.OrxConnect(32000, 4096, 80));
    EXPECT_EQ(sameNumber.OrxGetLastError(), VOSERR_PORT_IN_USE);
    COrxW32Port sameName(0, FALSE, "Unit_A", 0);
    EXPECT_FALSE(sameName.OrxConnect(0, 4096, 80));
    EXPECT_EQ(sameName.OrxGetLastError(), VOSERR_PORT_IN_USE);
    COrxW32Port logger(0, FALSE, nullptr, 0);
    EXPECT_FALSE(logger.OrxConnect(ORX_PORT_EVENTLOG, 4096, 80));

    OrxAddr found{};
    ASSERT_EQ(OrxGetPortByName("Unit_A", &found), 0);
    EXPECT_EQ(found.port, 32000);
    EXPECT_EQ(OrxGetPortByName("Unit_B", &found), static_cast<LONG>(VOSERR_NAME_NOT_FOUND));

    // Freed at once by a disconnect: the next opener gets number and name.
    first.OrxDisconnect();
    EXPECT_FALSE(first.OrxIsConnected());
    ASSERT_TRUE(sameName.OrxConnect(32000, 4096, 80));
    ASSERT_EQ(OrxGetPortByName("Unit_A", &found), 0);
    EXPECT_EQ(found.port, 32000);

    // Port 0 takes free ports, each different.
    COrxW32Port any1(0, TRUE, nullptr, 0), any2(0, TRUE, nullptr, 0);
    ASSERT_TRUE(any1.OrxIsConnected() && any2.OrxIsConnected());
    EXPECT_GE(any1.OrxGetPort(), ORX_PORT_DYNAMIC_FIRST);
    EXPECT_NE(any1.OrxGetPort(), any2.OrxGetPort());
}

// A device in this process: answers device info, state and raw commands.
class Device : public CVosW32
{
public:
    Device() : CVosW32(0, FALSE, nullptr, 0) {}
    ~Device() override { OrxDisconnect(); }
    void VosReadDeviceInfoInd(const OrxAddr* addr, ULONG id) override
    {
        VosReadDeviceInfoRes(addr, id, 0, "Millpath Service", VosVersion{2, 11, 3021});
    }
    void OrxDispatch(OrxCmd* cmd) override
    {
        if (cmd->cmdId == 0x4016 && !cmd->IsResponse())
        {
            ULONG sum = 0;
            for (ULONG i = 0; i < cmd->length; ++i)
                sum += cmd->Data()[i];
            OrxResponse(cmd, 0, &sum, 4);
            return;
        }
        CVosW32::OrxDispatch(cmd);
    }
};

// A port that collects what arrives.
class Collector : public COrxW32Port
{
public:
    Collector() : COrxW32Port(0, FALSE, nullptr, 0) {}
    ~Collector() override { OrxDisconnect(); }
    void OrxDispatch(OrxCmd* cmd) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_got.emplace_back(reinterpret_cast<BYTE*>(cmd),
                           reinterpret_cast<BYTE*>(cmd) + sizeof(OrxCmd) + cmd->length);
        m_cv.notify_all();
    }
    // The next message, or an empty one after the wait.
    std::vector<BYTE> Next()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return !m_got.empty(); });
        if (m_got.empty())
            return {};
        auto m = m_got.front();
        m_got.erase(m_got.begin());
        return m;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<std::vector<BYTE>> m_got;
};

TEST_F(VosTest, DeviceInfoStateAndBaseAnswers)
{
    Device device;
    ASSERT_TRUE(device.OrxConnect(11500, 4096, 80));
    CVosSync client;
    OrxAddr target = Local(11500);
    char name[VOS_DEVICE_NAME_LEN + 1];
    VosVersion version{};
    ASSERT_EQ(client.VosSyncReadDeviceInfoReq(&target, name, &version), 0);
    EXPECT_STREQ(name, "Millpath Service"); // 16 characters: the whole field
    EXPECT_EQ(version.version, 2);
    EXPECT_EQ(version.revision, 11);
    EXPECT_EQ(version.build, 3021);
    // Services the device does not override are answered by the base.
    USHORT s1 = 77, s2 = 77;
    EXPECT_EQ(client.VosSyncReadStateReq(&target, &s1, &s2), VOSERR_SRV_NOT_SUPPORTED);
    EXPECT_EQ(s1, 77);
    ULONG v = 0;
    EXPECT_EQ(client.VosSyncReadReq(&target, 1, 2, 4, &v), VOSERR_SRV_NOT_SUPPORTED);
    EXPECT_EQ(client.VosSyncWriteReq(&target, 1, 2, 4, &v), VOSERR_SRV_NOT_SUPPORTED);
    EXPECT_EQ(client.VosSyncWriteControlReq(&target, 5, 0, 0, nullptr), VOSERR_SRV_NOT_SUPPORTED);
}

TEST_F(VosTest, RawCommandsAndTheirAnswers)
{
    Device device;
    ASSERT_TRUE(device.OrxConnect(500, 4096, 80));
    Collector kernel;
    ASSERT_TRUE(kernel.OrxConnect(0, 4096, 80));
    OrxAddr target = Local(500);

    const BYTE data[3] = {1, 2, 3};
    ASSERT_EQ(kernel.OrxSend(&target, 0x4016, ORX_STATE_ANSWER, 42, data, 3), 0);
    auto answer = kernel.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd) + 4);
    const OrxCmd* cmd = reinterpret_cast<const OrxCmd*>(answer.data());
    EXPECT_EQ(cmd->cmdId, 0x4016);
    EXPECT_TRUE(cmd->IsResponse());
    EXPECT_EQ(cmd->invokeId, 42u);
    EXPECT_EQ(cmd->source.port, 500);
    EXPECT_EQ(cmd->target.port, kernel.OrxGetPort());
    ULONG sum;
    std::memcpy(&sum, cmd->Data(), 4);
    EXPECT_EQ(sum, 6u);

    // An unknown raw command that waits for an answer gets an error; one that does not wait gets nothing.
    ASSERT_EQ(kernel.OrxSend(&target, 251, 0, 1, nullptr, 0), 0);
    ASSERT_EQ(kernel.OrxSend(&target, 0x1234, ORX_STATE_ANSWER, 2, nullptr, 0), 0);
    answer = kernel.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    cmd = reinterpret_cast<const OrxCmd*>(answer.data());
    EXPECT_EQ(cmd->invokeId, 2u);
    EXPECT_EQ(cmd->errorCode, VOSERR_SRV_NOT_SUPPORTED);

    // The router answers for a port nobody holds.
    OrxAddr nobody = Local(501);
    ASSERT_EQ(kernel.OrxSend(&nobody, 0x4016, ORX_STATE_ANSWER, 3, nullptr, 0), 0);
    answer = kernel.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    cmd = reinterpret_cast<const OrxCmd*>(answer.data());
    EXPECT_EQ(cmd->invokeId, 3u);
    EXPECT_EQ(cmd->errorCode, VOSERR_TARGET_PORT_NOT_FOUND);

    device.OrxDisconnect();
    EXPECT_EQ(device.OrxSend(&target, 1, 0, 0, nullptr, 0), static_cast<LONG>(VOSERR_PORT_NOT_CONNECTED));
}

TEST_F(VosTest, ReportLogLinesOfEveryProcessReachOneFile)
{
    auto peer = StartPeer(PEER_PORT);
    CVosLog log;
    log.SetDeviceName("Millpath Service");
    ASSERT_EQ(log.VosReportLog(148, "sending orx message failed "), 0);
    ASSERT_EQ(log.VosReportLog(84, 0x802, "%d%s", 3, "\nstate"), 0);
    CVosLog wide;
    wide.SetDeviceName(u"Wide \u00c4");
    ASSERT_EQ(wide.VosReportLog(0x54, 0xC01, u"%d%d %s", 2, 17, u"X\u00b0"), 0);
    CVosSync client;
    OrxAddr target = Local(PEER_PORT);
    const char text[] = "from the peer";
    ASSERT_EQ(client.VosSyncWriteReq(&target, 0x5000, 0, sizeof text - 1, text), 0);

    std::string path = m_root.Path() + "/VosEvent.log";
    ASSERT_TRUE(vostest::WaitForText(path, "from the peer"));
    ASSERT_TRUE(vostest::WaitForText(path, "217 X"));
    std::string content = vostest::ReadFile(path);
    EXPECT_NE(content.find("\tMillpath Service\t148\t-\tsending orx message failed \n"), std::string::npos)
        << content;
    EXPECT_NE(content.find("\tMillpath Service\t84\t0x802\t3 state\n"), std::string::npos) << content;
    EXPECT_NE(content.find("\tTestPeer\t148\t-\tfrom the peer\n"), std::string::npos) << content;
    EXPECT_NE(content.find("\tWide \xc3\x84\t84\t0xC01\t217 X\xc2\xb0\n"), std::string::npos) << content;
    // Each line starts with the time.
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(content[0])));

    // A report that cannot be read still leaves a trace instead of garbage.
    COrxW32Port raw(0, TRUE, nullptr, 0);
    OrxAddr logger = Local(ORX_PORT_EVENTLOG);
    ASSERT_EQ(raw.OrxSend(&logger, vos::ORX_CMD_REPORTLOG, 0, 0, "\x01\x02", 2), 0);
    EXPECT_TRUE(vostest::WaitForText(path, "\t?\t0\t-\tmalformed report-log message\n"));
}

TEST_F(VosTest, PlainCallsReadDeviceInfo)
{
    auto peer = StartPeer(PEER_PORT);
    EXPECT_EQ(VosSyncSetTimeout(100), static_cast<LONG>(VOSERR_PORT_NOT_CONNECTED));
    LONG port = VosPortOpen();
    ASSERT_GE(port, ORX_PORT_DYNAMIC_FIRST);
    ASSERT_EQ(VosSyncSetTimeout(1000), 0);
    OrxAddr addr{};
    ASSERT_EQ(VosGetLocalAddress(&addr), 0);
    EXPECT_EQ(addr.port, port);
    addr.port = PEER_PORT;
    char name[VOS_DEVICE_NAME_LEN + 1];
    VosVersion version{};
    ASSERT_EQ(VosSyncReadDeviceInfoReq(&addr, name, &version), 0);
    EXPECT_STREQ(name, "TestPeer");
    EXPECT_EQ(version.build, 345);
    ULONG value = 0;
    EXPECT_EQ(VosSyncReadReq(&addr, 0x1000, 0, 4, &value), 0);
    addr.port = 100; // nobody holds it here
    EXPECT_EQ(VosSyncReadDeviceInfoReq(&addr, name, &version),
              static_cast<LONG>(VOSERR_TARGET_PORT_NOT_FOUND));
    EXPECT_EQ(VosPortClose(), 0);
    EXPECT_EQ(VosSyncReadReq(&addr, 0x1000, 0, 4, &value), static_cast<LONG>(VOSERR_PORT_NOT_CONNECTED));
}

TEST_F(VosTest, RouterDropsAMalformedConnectionAndServesTheOthers)
{
    auto peer = StartPeer(PEER_PORT);
    int fd = vos::ConnectRouterSocket();
    ASSERT_GE(fd, 0);
    const uint32_t bogus[2] = {0xFFFFFFFFu, 0};
    ASSERT_EQ(::send(fd, bogus, sizeof bogus, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof bogus));
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0); // closed by the router
    ::close(fd);
    CVosSync client;
    OrxAddr target = Local(PEER_PORT);
    ULONG value = 0;
    EXPECT_EQ(client.VosSyncReadReq(&target, 0x1000, 0, 4, &value), 0);
}

TEST_F(VosTest, RouterEndsWhenIdleAndStartsAgainOnDemand)
{
    std::string out;
    {
        // Started by hand with a short idle limit; it ends once nobody is connected.
        std::vector<std::string> args{"--daemon", "--idle-exit", "1"};
        ASSERT_EQ(vostest::Run("vosrouter", args, out), 0);
        CVosSync client;
        ASSERT_TRUE(client.VosSyncIsConnected());
    }
    bool ended = false;
    for (int i = 0; i < 3000 && !ended; ++i)
    {
        ended = !vos::RouterRunning();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(ended);
    // The next client starts a new router.
    CVosSync client;
    EXPECT_TRUE(client.VosSyncIsConnected());
}

} // namespace

namespace
{

TEST_F(VosTest, DeviceRootTooDeepForASocketFileStillWorks)
{
    std::string deep = m_root.Path() + "/" + std::string(60, 'd') + "/" + std::string(60, 'e');
    ASSERT_GT(deep.size() + sizeof("/vosrouter.sock"), sizeof(sockaddr_un::sun_path));
    ::setenv("DEVICE_ROOT", deep.c_str(), 1);
    {
        auto peer = StartPeer(PEER_PORT);
        CVosSync client;
        OrxAddr target = Local(PEER_PORT);
        ULONG value = 0x12345678, back = 0;
        EXPECT_EQ(client.VosSyncWriteReq(&target, 0x1000, 0, 4, &value), 0);
        EXPECT_EQ(client.VosSyncReadReq(&target, 0x1000, 0, 4, &back), 0);
        EXPECT_EQ(back, value);
    }
    EXPECT_TRUE(vos::ShutdownRouter(20000));
    ::setenv("DEVICE_ROOT", m_root.Path().c_str(), 1);
}

} // namespace

namespace
{

TEST_F(VosTest, APortLearnsThatTheRouterHasGoneAndOpensAgain)
{
    COrxW32Port port(0, FALSE, "Unit_C", 0);
    ASSERT_TRUE(port.OrxConnect(33000, 4096, 80));
    ASSERT_TRUE(vos::ShutdownRouter(20000));
    for (int i = 0; i < 3000 && port.OrxIsConnected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(port.OrxIsConnected());
    // Opening again brings up a new router, which knows the port and its name.
    ASSERT_TRUE(port.OrxConnect(33000, 4096, 80));
    OrxAddr found{};
    ASSERT_EQ(OrxGetPortByName("Unit_C", &found), 0);
    EXPECT_EQ(found.port, 33000);
}

} // namespace

namespace
{

TEST_F(VosTest, TheDevicesNetIdComesFromTheRegistry)
{
    const BYTE id[6] = {192, 168, 7, 21, 1, 1};
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Corvanta\\Quberon\\System", 0, nullptr, 0,
                             KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, u"OrxNetId", 0, REG_BINARY, id, sizeof id), ERROR_SUCCESS);
    RegCloseKey(key);

    auto peer = StartPeer(PEER_PORT);
    ASSERT_GT(VosPortOpen(), 0);
    OrxAddr addr{};
    ASSERT_EQ(VosGetLocalAddress(&addr), 0);
    EXPECT_EQ(std::memcmp(addr.netId.b, id, 6), 0);
    // The device's own net id and the zero id both mean this device.
    addr.port = PEER_PORT;
    ULONG value = 0;
    EXPECT_EQ(VosSyncReadReq(&addr, 0x1000, 0, 4, &value), 0);
    addr.netId = OrxNetId{};
    EXPECT_EQ(VosSyncReadReq(&addr, 0x1000, 0, 4, &value), 0);
    addr.netId.b[5] = 9;
    EXPECT_EQ(VosSyncReadReq(&addr, 0x1000, 0, 4, &value), static_cast<LONG>(VOSERR_TARGET_NOT_REACHABLE));
    EXPECT_EQ(VosPortClose(), 0);
}

} // namespace

namespace
{

// A client that sends requests without waiting and collects the confirmations.
class AsyncClient : public CVosW32
{
public:
    AsyncClient() : CVosW32(0, FALSE, nullptr, 0) {}
    ~AsyncClient() override { OrxDisconnect(); }
    void VosReadCon(const OrxAddr*, ULONG id, ULONG result, ULONG length, const void* data) override
    {
        Note(id, result, std::string(static_cast<const char*>(data), length));
    }
    void VosAddDeviceNotificationCon(const OrxAddr*, ULONG id, ULONG result, ULONG handle) override
    {
        Note(id, result, std::to_string(handle));
    }
    void VosDelDeviceNotificationCon(const OrxAddr*, ULONG id, ULONG result) override
    {
        Note(id, result, "deleted");
    }
    void VosDeviceNotificationInd(const OrxAddr*, ULONG id, ULONG length, const void* data) override
    {
        Note(id, 0, std::string(static_cast<const char*>(data), length));
    }
    // "id result text" of the next confirmation, or empty after the wait.
    std::string Next()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return !m_got.empty(); });
        if (m_got.empty())
            return {};
        std::string s = m_got.front();
        m_got.erase(m_got.begin());
        return s;
    }

private:
    void Note(ULONG id, ULONG result, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_got.push_back(std::to_string(id) + " " + std::to_string(result) + " " + text);
        m_cv.notify_all();
    }
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::vector<std::string> m_got;
};

// Answers reads with text and grants notifications, sending one at once.
class Notifier : public CVosW32
{
public:
    Notifier() : CVosW32(0, FALSE, nullptr, 0) {}
    ~Notifier() override { OrxDisconnect(); }
    void VosReadInd(const OrxAddr* addr, ULONG id, ULONG group, ULONG, ULONG) override
    {
        std::string text = "group " + std::to_string(group);
        VosReadRes(addr, id, 0, static_cast<ULONG>(text.size()), text.data());
    }
    void VosAddDeviceNotificationInd(const OrxAddr* addr, ULONG id, ULONG, ULONG, ULONG, ULONG, ULONG,
                                     ULONG) override
    {
        VosAddDeviceNotificationRes(addr, id, 0, 77);
        VosDeviceNotificationReq(addr, 1000, 4, "tick");
    }
};

TEST_F(VosTest, RequestsAndConfirmationsWithoutWaiting)
{
    Notifier device;
    ASSERT_TRUE(device.OrxConnect(34000, 4096, 80));
    AsyncClient client;
    ASSERT_TRUE(client.OrxConnect(0, 4096, 80));
    OrxAddr target = Local(34000);
    ASSERT_EQ(client.VosReadReq(&target, 1, 5, 0, 64), 0);
    ASSERT_EQ(client.VosReadReq(&target, 2, 6, 0, 64), 0);
    EXPECT_EQ(client.Next(), "1 0 group 5");
    EXPECT_EQ(client.Next(), "2 0 group 6");
    ASSERT_EQ(client.VosAddDeviceNotificationReq(&target, 3, 1, 2, 4, 0, 0, 0), 0);
    EXPECT_EQ(client.Next(), "3 0 77");
    EXPECT_EQ(client.Next(), "1000 0 tick");
    // A request the device does not serve is confirmed with the base answer.
    ASSERT_EQ(client.VosDelDeviceNotificationReq(&target, 4, 77), 0);
    ASSERT_EQ(client.VosReadReq(&target, 5, 7, 0, 64), 0); // confirmations keep their order
    EXPECT_EQ(client.Next(), "4 " + std::to_string(VOSERR_SRV_NOT_SUPPORTED) + " deleted");
    EXPECT_EQ(client.Next(), "5 0 group 7");
}

} // namespace

namespace
{

// Commands of a port that changes itself from its own receive thread.
constexpr USHORT CMD_REOPEN = 0x0771;  // close the port and open it again, then answer
constexpr USHORT CMD_DESTROY = 0x0772; // answer, then delete the port object
constexpr USHORT CMD_ECHO = 0x0773;    // answer with the data

// Counts the ends of a port object. Shared with the port, so that a test that gave up waiting
// leaves nothing on its stack for the port's thread to touch later.
class EndNote
{
public:
    void Note()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_ends;
        m_cv.notify_all();
    }
    // The number of ends once there was one, or 0 after the wait.
    int Wait()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, std::chrono::seconds(30), [this] { return m_ends > 0; });
        return m_ends;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    int m_ends = 0;
};

class SelfChanging : public COrxW32Port
{
public:
    explicit SelfChanging(std::shared_ptr<EndNote> ended = nullptr)
        : COrxW32Port(0, FALSE, "Unit_Self", 0), m_ended(std::move(ended))
    {
    }
    ~SelfChanging() override
    {
        OrxDisconnect();
        if (m_ended)
            m_ended->Note();
    }
    void OrxDispatch(OrxCmd* cmd) override
    {
        if (cmd->IsResponse())
            return;
        switch (cmd->cmdId)
        {
        case CMD_REOPEN:
        {
            OrxDisconnect();
            BOOL again = OrxConnect(35000, 4096, 80);
            OrxResponse(cmd, again ? 0 : OrxGetLastError());
            return;
        }
        case CMD_DESTROY:
            OrxResponse(cmd, 0);
            delete this;
            return;
        case CMD_ECHO:
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_echoThreads.insert(std::this_thread::get_id());
            OrxResponse(cmd, 0, cmd->Data(), cmd->length);
            return;
        }
        default:
            COrxW32Port::OrxDispatch(cmd);
        }
    }

    // The threads that answered echoes since the last call.
    size_t TakeEchoThreadCount()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        size_t n = m_echoThreads.size();
        m_echoThreads.clear();
        return n;
    }

private:
    std::shared_ptr<EndNote> m_ended;
    std::mutex m_lock;
    std::set<std::thread::id> m_echoThreads;
};

// Sends one raw command that waits for an answer and returns the answer (empty after the wait).
std::vector<BYTE> Ask(Collector& from, USHORT port, USHORT cmdId, ULONG invokeId,
                      const std::string& data = "")
{
    OrxAddr target = Local(port);
    if (from.OrxSend(&target, cmdId, ORX_STATE_ANSWER, invokeId, data.data(),
                     static_cast<ULONG>(data.size())) != 0)
        return {};
    return from.Next();
}

TEST_F(VosTest, APortReopenedFromItsOwnDispatchKeepsOneReceiver)
{
    SelfChanging port;
    ASSERT_TRUE(port.OrxConnect(35000, 4096, 80));
    Collector asker;
    ASSERT_TRUE(asker.OrxConnect(0, 4096, 80));
    for (ULONG round = 0; round < 5; ++round)
    {
        SCOPED_TRACE(round);
        auto answer = Ask(asker, 35000, CMD_REOPEN, 100 + round);
        ASSERT_EQ(answer.size(), sizeof(OrxCmd));
        const OrxCmd* cmd = reinterpret_cast<const OrxCmd*>(answer.data());
        EXPECT_EQ(cmd->invokeId, 100 + round);
        EXPECT_EQ(cmd->errorCode, 0u);
        // Every request is answered exactly once, with its own data, by the new connection.
        for (ULONG i = 0; i < 50; ++i)
        {
            std::string text = "echo " + std::to_string(round) + "." + std::to_string(i);
            answer = Ask(asker, 35000, CMD_ECHO, i, text);
            ASSERT_EQ(answer.size(), sizeof(OrxCmd) + text.size());
            cmd = reinterpret_cast<const OrxCmd*>(answer.data());
            ASSERT_EQ(cmd->invokeId, i);
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(cmd->Data()), cmd->length), text);
        }
        EXPECT_TRUE(port.OrxIsConnected());
        EXPECT_EQ(port.TakeEchoThreadCount(), 1u) << "more than one thread receives for the port";
    }
    port.OrxDisconnect();
    EXPECT_FALSE(port.OrxIsConnected());
    // No answer may be left over from a second receiver.
    OrxAddr self = Local(asker.OrxGetPort());
    ASSERT_EQ(asker.OrxSend(&self, 0x0999, 0, 7, nullptr, 0), 0);
    auto last = asker.Next();
    ASSERT_EQ(last.size(), sizeof(OrxCmd));
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(last.data())->cmdId, 0x0999);
}

TEST_F(VosTest, APortDeletedFromItsOwnDispatchEndsCleanly)
{
    auto ended = std::make_shared<EndNote>();
    auto owned = std::make_unique<SelfChanging>(ended);
    ASSERT_TRUE(owned->OrxConnect(35000, 4096, 80));
    Collector asker;
    ASSERT_TRUE(asker.OrxConnect(0, 4096, 80));
    owned.release(); // deletes itself on CMD_DESTROY
    auto answer = Ask(asker, 35000, CMD_DESTROY, 1);
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->errorCode, 0u);
    // The answer leaves before the port deletes itself; a request sent before that end could
    // still reach the port and go down with it.
    ASSERT_EQ(ended->Wait(), 1);
    // The port is gone: its number is free again and the router answers for it.
    answer = Ask(asker, 35000, CMD_ECHO, 2, "x");
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->errorCode, VOSERR_TARGET_PORT_NOT_FOUND);
    EXPECT_EQ(ended->Wait(), 1);
    COrxW32Port next(0, FALSE, "Unit_Self", 0);
    EXPECT_TRUE(next.OrxConnect(35000, 4096, 80));
}

TEST_F(VosTest, APortThatStopsTakingMessagesStillSendsAndItsUntakenRequestsAreAnswered)
{
    Collector asker;
    ASSERT_TRUE(asker.OrxConnect(0, 4096, 80));
    // A port on a bare connection that stops reading (as one does on its way out) but still sends.
    int fd = vos::ConnectRouterSocket();
    ASSERT_GE(fd, 0);
    const USHORT wanted = 36000;
    vos::FrameReader reader;
    vos::OrxMessage opened;
    ASSERT_EQ(vos::RouterRequest(fd, reader, vos::ROUTER_CMD_CONNECT, &wanted, sizeof wanted, opened, 30000),
              VOSERR_NOERROR);
    ASSERT_EQ(::shutdown(fd, SHUT_RD), 0);

    // The router meets the closed end when it passes request 1 on; the answer to request 2, from
    // the router itself, shows that it has.
    OrxAddr gone = Local(wanted), nobody = Local(wanted + 1);
    ASSERT_EQ(asker.OrxSend(&gone, CMD_ECHO, ORX_STATE_ANSWER, 1, "a", 1), 0);
    ASSERT_EQ(asker.OrxSend(&nobody, CMD_ECHO, ORX_STATE_ANSWER, 2, "b", 1), 0);
    auto answer = asker.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->invokeId, 2u);
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->errorCode, VOSERR_TARGET_PORT_NOT_FOUND);

    // What the port sends after that still arrives ...
    OrxCmd late = vos::MakeHeader(Local(asker.OrxGetPort()), 0x0999, 0, 3, 4);
    ASSERT_TRUE(vos::SendFrame(fd, late, "late", 4));
    answer = asker.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd) + 4);
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->invokeId, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(answer.data() + sizeof(OrxCmd)), 4), "late");

    // ... and once it has gone, the request it never took is answered for it.
    ::close(fd);
    answer = asker.Next();
    ASSERT_EQ(answer.size(), sizeof(OrxCmd));
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->invokeId, 1u);
    EXPECT_EQ(reinterpret_cast<const OrxCmd*>(answer.data())->errorCode, VOSERR_TARGET_PORT_NOT_FOUND);
}

// A frame from a bare router connection within the time; false when none came.
bool NextFrame(int fd, vos::FrameReader& reader, vos::OrxMessage& msg, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool bad = false;
    while (!reader.Next(msg, bad))
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (bad || left <= 0 || reader.FillWithin(fd, static_cast<int>(left)) == vos::FrameReader::Fill_::Closed)
            return false;
    }
    return true;
}

// A bare connection to the router that holds a port of its own (its number in port).
int OpenBarePort(vos::FrameReader& reader, USHORT* port = nullptr)
{
    ULONG error = 0;
    const int fd = vos::ConnectRouter(error);
    if (fd < 0)
        return -1;
    const USHORT any = 0;
    vos::OrxMessage opened;
    if (vos::RouterRequest(fd, reader, vos::ROUTER_CMD_CONNECT, &any, sizeof any, opened, 30000) !=
            VOSERR_NOERROR ||
        opened.Cmd()->length != sizeof(OrxAddr))
    {
        ::close(fd);
        return -1;
    }
    if (port)
        *port = reinterpret_cast<const OrxAddr*>(opened.Cmd()->Data())->port;
    return fd;
}

// The descriptors a process holds open.
long Descriptors(long pid)
{
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    return static_cast<long>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

// The descriptors the router of the device root holds open.
long RouterDescriptors(const std::string& root)
{
    const long router = std::atol(vostest::ReadFile(root + "/vosrouter.pid").c_str());
    return router <= 1 ? -1 : Descriptors(router);
}

// A bare router client that offers a port one end of a socket pair of its own as
// its direct socket, as a CVosSync does.
struct DirectSocketClient
{
    DirectSocketClient()
    {
        fd = OpenBarePort(reader);
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            pair[0] = pair[1] = -1;
    }
    ~DirectSocketClient()
    {
        for (int open : {fd, pair[0], pair[1]})
            if (open >= 0)
                ::close(open);
    }
    // True when the port takes pair[1].
    bool OfferTo(USHORT port) { return pair[1] >= 0 && Offer(port, pair[1]) == vos::LINK_ACCEPT; }
    // Offers the port a descriptor; the command that answers (0: none came).
    USHORT Offer(USHORT port, int offered)
    {
        vos::OrxMessage answer;
        const bool answered =
            fd >= 0 &&
            vos::SendFrame(fd, vos::MakeHeader(Local(port), vos::LINK_OFFER, vos::ORX_STATE_LINK, 0, 0),
                           nullptr, 0, offered) &&
            NextFrame(fd, reader, answer, 30000);
        return answered ? answer.Cmd()->cmdId : 0;
    }

    vos::FrameReader reader;
    int fd = -1;
    int pair[2] = {-1, -1};
};

// Another client's reads of the peer's port, each waiting up to 20 s: 0 when every one was
// answered, else the first failure.
LONG ReadsOfAnotherClient(USHORT port, int reads = 1)
{
    CVosSync other;
    other.VosSyncSetTimeout(20000);
    OrxAddr target = Local(port);
    for (int i = 0; i < reads; ++i)
    {
        ULONG value = 0;
        if (const LONG result = other.VosSyncReadReq(&target, 0x1000, 0, 4, &value); result != 0)
            return result;
    }
    return 0;
}

TEST_F(VosTest, DescriptorsSentWithOrdinaryFramesDoNotPileUpInTheRouter)
{
    vos::FrameReader reader;
    const int fd = OpenBarePort(reader);
    ASSERT_GE(fd, 0);
    const long before = RouterDescriptors(m_root.Path());
    ASSERT_GT(before, 0);

    // A careless client sends descriptors along with name look-ups; only an offer
    // of a direct socket takes one.
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    constexpr int Frames = 200;
    for (ULONG i = 0; i < Frames; ++i)
    {
        OrxCmd h = vos::MakeHeader(Local(ORX_PORT_ROUTER), vos::ROUTER_CMD_RESOLVE, 0, i + 1, 6);
        ASSERT_TRUE(vos::SendFrame(fd, h, "nobody", 6, devNull));
    }
    ::close(devNull);
    vos::OrxMessage answer;
    for (int i = 0; i < Frames; ++i)
    {
        ASSERT_TRUE(NextFrame(fd, reader, answer, 30000));
        ASSERT_EQ(answer.Cmd()->errorCode, VOSERR_NAME_NOT_FOUND);
    }
    EXPECT_LT(RouterDescriptors(m_root.Path()) - before, 4) << "the router keeps descriptors nobody took";
    ::close(fd);
}

TEST_F(VosTest, APortServesOthersWhileAClientWithADirectSocketTakesNothing)
{
    auto peer = StartPeer(PEER_PORT);
    // A client offers the port a direct socket, as a CVosSync does, and then sends
    // requests through the router without ever reading its end of that socket.
    DirectSocketClient client;
    ASSERT_TRUE(client.OfferTo(PEER_PORT));
    // Read answers of 1 KiB: far more than the direct socket holds.
    for (ULONG i = 0; i < 2000; ++i)
    {
        const ULONG request[3] = {0x1000, 0, 1024};
        ASSERT_TRUE(vos::SendFrame(
            client.fd,
            vos::MakeHeader(Local(PEER_PORT), VOSCMD_READ, ORX_STATE_VOSCMD, i + 1, sizeof request), request,
            sizeof request));
    }

    // Everyone else is still served.
    EXPECT_EQ(ReadsOfAnotherClient(PEER_PORT), 0);
}

TEST_F(VosTest, APortServesOthersWhileAClientHoldsItsDirectSocketHalfFull)
{
    auto peer = StartPeer(PEER_PORT);
    // The socket offered to the port asks every blocking read to fill a large buffer,
    // and the client switches to it and sends a few bytes of a frame, then nothing.
    DirectSocketClient client;
    const int lowWater = 1 << 20;
    ASSERT_EQ(::setsockopt(client.pair[1], SOL_SOCKET, SO_RCVLOWAT, &lowWater, sizeof lowWater), 0);
    ASSERT_TRUE(client.OfferTo(PEER_PORT));
    ASSERT_TRUE(vos::SendFrame(
        client.fd, vos::MakeHeader(Local(PEER_PORT), vos::LINK_SWITCHED, vos::ORX_STATE_LINK, 0, 0), nullptr,
        0));
    ASSERT_EQ(::send(client.pair[0], "\x40\0", 2, MSG_NOSIGNAL), 2);

    EXPECT_EQ(ReadsOfAnotherClient(PEER_PORT, 3), 0);
}

TEST_F(VosTest, APortTakesOnlyALocalStreamSocketAsADirectSocket)
{
    auto peer = StartPeer(PEER_PORT);
    DirectSocketClient client;
    ASSERT_GE(client.fd, 0);
    // A network socket among them: its close may wait for a peer that never reads.
    int pipeEnds[2], datagrams[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, datagrams), 0);
    const struct
    {
        const char* what;
        int fd;
    } others[] = {{"a file", ::open("/dev/null", O_RDWR | O_CLOEXEC)},
                  {"a pipe", pipeEnds[1]},
                  {"a datagram socket", datagrams[1]},
                  {"a network socket", ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)}};
    for (const auto& other : others)
    {
        SCOPED_TRACE(other.what);
        ASSERT_GE(other.fd, 0);
        EXPECT_EQ(client.Offer(PEER_PORT, other.fd), vos::LINK_DECLINE);
    }
    EXPECT_TRUE(client.OfferTo(PEER_PORT));
    for (int fd : {others[0].fd, others[3].fd, pipeEnds[0], pipeEnds[1], datagrams[0], datagrams[1]})
        ::close(fd);

    EXPECT_EQ(ReadsOfAnotherClient(PEER_PORT), 0);
}

TEST_F(VosTest, ClientsGoneBeforeTheSwitchLeaveNoDescriptorInThePort)
{
    auto peer = StartPeer(PEER_PORT);
    ASSERT_EQ(ReadsOfAnotherClient(PEER_PORT), 0);
    const long before = Descriptors(peer->Pid());
    // More clients than a port takes direct sockets from, each gone (as a killed process is:
    // every descriptor closed) after the port took its socket and before it switched to it.
    constexpr int Clients = 70;
    for (int i = 0; i < Clients; ++i)
    {
        DirectSocketClient client;
        ASSERT_TRUE(client.OfferTo(PEER_PORT)) << "client " << i;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Descriptors(peer->Pid()) > before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Descriptors(peer->Pid()), before) << "the port holds the sockets of clients that are gone";
    EXPECT_EQ(ReadsOfAnotherClient(PEER_PORT), 0);
}

TEST_F(VosTest, AnOfferToAPortNobodyHoldsIsDeclined)
{
    // The offerer drops its end at the decline; without it the end stayed open, never read.
    DirectSocketClient client;
    ASSERT_GE(client.fd, 0);
    EXPECT_EQ(client.Offer(PEER_PORT, client.pair[1]), vos::LINK_DECLINE);
}

TEST_F(VosTest, OffersToAPortThatReadsNothingDoNotPileUpDescriptorsInTheRouter)
{
    // One bare port never reads; another offers it a socket again and again.
    vos::FrameReader silentReader;
    USHORT silent = 0;
    const int silentFd = OpenBarePort(silentReader, &silent);
    ASSERT_GE(silentFd, 0);
    DirectSocketClient offerer;
    ASSERT_GE(offerer.fd, 0);
    const long before = RouterDescriptors(m_root.Path());
    ASSERT_GT(before, 0);
    constexpr int Offers = 3000;
    for (int i = 0; i < Offers; ++i)
        ASSERT_TRUE(vos::SendFrame(offerer.fd,
                                   vos::MakeHeader(Local(silent), vos::LINK_OFFER, vos::ORX_STATE_LINK, 0, 0),
                                   nullptr, 0, offerer.pair[1]));
    // The router has handled every offer once it answers what came after them (after the
    // declines of those it could not pass on).
    OrxCmd resolve = vos::MakeHeader(Local(ORX_PORT_ROUTER), vos::ROUTER_CMD_RESOLVE, 0, 1, 6);
    ASSERT_TRUE(vos::SendFrame(offerer.fd, resolve, "nobody", 6));
    vos::OrxMessage answer;
    bool answered = false;
    for (int frames = 0; frames <= Offers && !answered; ++frames)
    {
        ASSERT_TRUE(NextFrame(offerer.fd, offerer.reader, answer, 30000));
        answered = !vos::IsLinkMessage(*answer.Cmd());
    }
    ASSERT_TRUE(answered);
    EXPECT_EQ(answer.Cmd()->errorCode, VOSERR_NAME_NOT_FOUND);
    EXPECT_LT(RouterDescriptors(m_root.Path()) - before, 200) << "the router holds a descriptor per offer";
    ::close(silentFd);
}

} // namespace

namespace
{

TEST_F(VosTest, ARouterStartedFromAThreadWithBlockedSignalsEndsOnTerm)
{
    // The router is started by a thread that blocks and ignores the usual end signals.
    std::unique_ptr<COrxW32Port> port;
    std::thread starter(
        [&port]
        {
            sigset_t blocked;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGTERM);
            sigaddset(&blocked, SIGINT);
            pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
            port = std::make_unique<COrxW32Port>(0, TRUE, nullptr, 0);
        });
    starter.join();
    ASSERT_TRUE(port->OrxIsConnected());
    std::string pidText = vostest::ReadFile(m_root.Path() + "/vosrouter.pid");
    pid_t pid = static_cast<pid_t>(std::atol(pidText.c_str()));
    ASSERT_GT(pid, 1);
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    bool ended = false;
    for (int i = 0; i < 3000 && !ended; ++i)
    {
        ended = !vos::RouterRunning();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "the router ignored SIGTERM";
    for (int i = 0; i < 3000 && port->OrxIsConnected(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(port->OrxIsConnected());
}

} // namespace
