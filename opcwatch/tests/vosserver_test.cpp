// The server's Vos requests: the generic request object, the table of index groups and offsets
// against a test double of the server, the port named "Opcwatch" through vostool and a Vos
// client, and restarts while clients read.
#include "fake_opc_server.h"
#include "testsupport.h"

#include "opcvosserver.h"
#include "opcwatchtrace.h"

#include <uatrace.h>
#include <uatracecapture.h>

#include <os/text.h>

#include <QbVosDllCe.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

namespace fs = std::filesystem;

namespace
{
const std::u16string kProgramDirectory = u"\\Program";
// The configuration file as offset 120 reports it.
const std::string kConfigurationPath = "\\Program\\Opcwatch.xml";
const WCHAR kTraceKey[] = u"SOFTWARE\\Corvanta\\Opcwatch\\Configuration";

using Lines = std::vector<std::string>;

Lines linesAt(const UaTraceCapture& trace, int level)
{
    Lines texts;
    for (const UaTraceLine& line : trace.lines())
        if (line.level == level)
            texts.push_back(line.text);
    return texts;
}

void storeTraceLevel(DWORD level)
{
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTraceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, u"TraceLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
    RegCloseKey(key);
}

std::vector<BYTE> u32(OpcUa_UInt32 value)
{
    std::vector<BYTE> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

// One ReadWrite: an empty read length gives no read buffer; no write bytes give no write data.
struct Exchange
{
    ULONG readLength = 0;
    std::optional<std::vector<BYTE>> write;
};

struct Answer
{
    HRESULT result = S_OK;
    ULONG returned = 0;
    std::vector<BYTE> buffer; // the read buffer afterwards, one byte longer than the read length
};

class OpcVosServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_root.Path() + "/Program");
        storeTraceLevel(3);
        m_fake.StartUaServer();
        m_server = new COpcVosServer(m_fake, kProgramDirectory);
        // The process's own reference: releasing the port never deletes the server.
        m_server->AddRef();
    }

    void TearDown() override
    {
        m_server->ShutdownVosServer();
        EXPECT_EQ(m_server->Release(), 0u);
        closeServerTrace();
        UaTrace::setActive(false);
        EXPECT_EQ(m_fake.m_unlockedAccesses, 0) << "settings used without the server's lock";
        EXPECT_TRUE(m_root.StopRouter());
    }

    void setRunning(bool running)
    {
        // A new start gives new settings with the file's default subscription mode.
        m_fake.StopUaServer();
        if (running)
            m_fake.StartUaServer();
    }

    Answer exchange(ULONG group, ULONG offset, const Exchange& request)
    {
        Answer answer;
        answer.buffer.assign(request.readLength + 1, 0xAB);
        answer.returned = 0xEEEE;
        answer.result = m_server->ReadWrite(group, offset, request.readLength,
                                            request.readLength ? answer.buffer.data() : nullptr,
                                            request.write ? static_cast<ULONG>(request.write->size()) : 0,
                                            writeData(request), &answer.returned);
        return answer;
    }

    // Write data that is there also when it is empty (an empty vector may have no storage).
    static const void* writeData(const Exchange& request)
    {
        static const BYTE nothing = 0;
        if (!request.write)
            return nullptr;
        return request.write->empty() ? &nothing : request.write->data();
    }

    // The result, the length and the read buffer: filled with the returned bytes of content,
    // untouched after them.
    static void expectAnswer(const Answer& answer, HRESULT result, ULONG returned, ULONG readLength,
                             const void* content)
    {
        EXPECT_EQ(answer.result, result);
        EXPECT_EQ(answer.returned, returned);
        std::vector<BYTE> expected(readLength + 1, 0xAB);
        if (returned)
            std::memcpy(expected.data(), content, returned);
        EXPECT_EQ(answer.buffer, expected);
    }

    static DWORD storedTraceLevel() { return readTraceLevel(); }

    OpcUa_UInt32 subscriptionMode()
    {
        std::lock_guard guard(m_fake);
        return m_fake.defaultSubscriptionMode();
    }

    vostest::DeviceRoot m_root;
    UaTraceCapture m_trace{7};
    FakeOpcServer m_fake;
    COpcVosServer* m_server = nullptr;
};

// ---- the generic object

TEST(VosServerImp, AnswersEveryRequestAsNotServedOrWithoutPointer)
{
    UaTraceCapture trace(7);
    CVosServerImp server;
    BYTE buffer[8] = {};
    ULONG returned = 0;
    ULONG handle = 0;
    BSTR name = nullptr;
    const struct
    {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT result;
        Lines lines;
    } rows[] = {
        {"Write",
         [&] { return server.Write(5000, 100, 4, buffer); },
         E_NOTIMPL,
         {"--> CVosServerImp::Write()", "<-- CVosServerImp::Write() return E_NOTIMPL"}},
        {"Read",
         [&] { return server.Read(5000, 100, 4, buffer); },
         E_NOTIMPL,
         {"--> CVosServerImp::Read()", "<-- CVosServerImp::Read() return E_NOTIMPL"}},
        {"Read without buffer",
         [&] { return server.Read(5000, 100, 4, nullptr); },
         E_POINTER,
         {"--> CVosServerImp::Read()", "<-- CVosServerImp::Read() return E_POINTER"}},
        {"ReadEx",
         [&] { return server.ReadEx(5000, 100, 4, buffer, &returned); },
         E_NOTIMPL,
         {"--> CVosServerImp::ReadEx()", "<-- CVosServerImp::ReadEx() return E_NOTIMPL"}},
        {"ReadEx without buffer",
         [&] { return server.ReadEx(5000, 100, 4, nullptr, &returned); },
         E_POINTER,
         {"--> CVosServerImp::ReadEx()", "<-- CVosServerImp::ReadEx() return E_POINTER"}},
        {"ReadEx without length",
         [&] { return server.ReadEx(5000, 100, 4, buffer, nullptr); },
         E_POINTER,
         {"--> CVosServerImp::ReadEx()", "<-- CVosServerImp::ReadEx() return E_POINTER"}},
        {"ReadWrite",
         [&] { return server.ReadWrite(5000, 100, 4, buffer, 0, nullptr, &returned); },
         E_NOTIMPL,
         {"--> CVosServerImp::ReadWrite()", "<-- CVosServerImp::ReadWrite() return E_NOTIMPL"}},
        {"ReadWrite without buffer",
         [&] { return server.ReadWrite(5000, 100, 4, nullptr, 4, buffer, &returned); },
         E_POINTER,
         {"--> CVosServerImp::ReadWrite()", "<-- CVosServerImp::ReadWrite() return E_POINTER"}},
        {"ReadWrite without length",
         [&] { return server.ReadWrite(5000, 100, 4, buffer, 0, nullptr, nullptr); },
         E_POINTER,
         {"--> CVosServerImp::ReadWrite()", "<-- CVosServerImp::ReadWrite() return E_POINTER"}},
        {"WriteControl",
         [&] { return server.WriteControl(1, 2, 0, nullptr); },
         E_NOTIMPL,
         {"--> CVosServerImp::WriteControl()", "<-- CVosServerImp::WriteControl() return E_NOTIMPL"}},
        {"AddDeviceNotification",
         [&] { return server.AddDeviceNotification(1, 2, 4, 0, &handle); },
         E_NOTIMPL,
         {"--> CVosServerImp::AddDeviceNotification()",
          "<-- CVosServerImp::AddDeviceNotification() return E_NOTIMPL"}},
        {"AddDeviceNotification without handle",
         [&] { return server.AddDeviceNotification(1, 2, 4, 0, nullptr); },
         E_POINTER,
         {"--> CVosServerImp::AddDeviceNotification()",
          "<-- CVosServerImp::AddDeviceNotification() return E_POINTER"}},
        {"DelDeviceNotification",
         [&] { return server.DelDeviceNotification(1); },
         E_NOTIMPL,
         {"--> CVosServerImp::DelDeviceNotification()",
          "<-- CVosServerImp::DelDeviceNotification() return E_NOTIMPL"}},
        {"DeviceNotification",
         [&] { return server.DeviceNotification(0, nullptr); },
         E_NOTIMPL,
         {"--> CVosServerImp::DeviceNotification()",
          "<-- CVosServerImp::DeviceNotification() return E_NOTIMPL"}},
        {"ReadDeviceInfo without pointers",
         [&] { return server.ReadDeviceInfo(nullptr, nullptr); },
         E_POINTER,
         {"--> CVosServerImp::ReadDeviceInfo()", "<-- CVosServerImp::ReadDeviceInfo() return E_POINTER"}},
        {"ReadDeviceInfo with the name",
         [&] { return server.ReadDeviceInfo(&name, nullptr); },
         S_OK,
         {"--> CVosServerImp::ReadDeviceInfo()", "<-- CVosServerImp::ReadDeviceInfo() return S_OK"}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        trace.clear();
        EXPECT_EQ(row.call(), row.result);
        EXPECT_EQ(linesAt(trace, 6), row.lines);
    }
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(SysStringLen(name), 0u); // the device name member starts empty
    SysFreeString(name);

    ULONG states[4] = {9, 9, 9, 9};
    trace.clear();
    EXPECT_EQ(server.ReadState(&states[0], &states[1], &states[2], &states[3]), S_OK);
    EXPECT_EQ(std::vector<ULONG>(states, states + 4), (std::vector<ULONG>{5, 5, 0, 0}));
    EXPECT_EQ(linesAt(trace, 6),
              (Lines{"--> CVosServerImp::ReadState()", "<-- CVosServerImp::ReadState() retrun S_OK"}));
}

TEST(VosServerImp, CountsReferencesAndDeletesItselfAtTheLast)
{
    class Probe : public CVosServerImp
    {
    public:
        explicit Probe(bool& deleted) : m_deleted(deleted) {}
        ~Probe() override { m_deleted = true; }

    private:
        bool& m_deleted;
    };
    UaTraceCapture trace(7);
    bool deleted = false;
    Probe* probe = new Probe(deleted);
    EXPECT_EQ(linesAt(trace, 5), Lines{"**CVosServerImp"});
    EXPECT_EQ(probe->AddRef(), 1u);

    for (const IID* iid : {&IID_IUnknown, &IID_IQbVosSync2})
    {
        void* object = nullptr;
        ASSERT_EQ(probe->QueryInterface(*iid, &object), S_OK);
        EXPECT_EQ(object, static_cast<IQbVosSync2*>(probe));
    }
    void* other = probe;
    EXPECT_EQ(probe->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    EXPECT_EQ(probe->Release(), 2u);
    EXPECT_EQ(probe->Release(), 1u);
    EXPECT_FALSE(deleted);
    trace.clear();
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(linesAt(trace, 5), Lines{"~CVosServerImp"});
    EXPECT_EQ(linesAt(trace, 6), (Lines{"--> CVosServerImp::ShutdownVosServer()",
                                        "<-- CVosServerImp::ShutdownVosServer() return 0"}));
}

// ---- the server's table

TEST_F(OpcVosServerTest, Offset100ReadsTheRegistryLevelAndWritesExactlyFourBytes)
{
    const struct
    {
        const char* what;
        bool running;
        Exchange request;
        HRESULT result;
        ULONG returned;
        DWORD levelAfter;
    } rows[] = {
        {"read, exact buffer", true, {4, {}}, S_OK, 4, 3},
        {"read, one byte more", true, {5, {}}, S_OK, 4, 3},
        {"read, short buffer", true, {2, {}}, S_OK, 0, 3},
        {"write", true, {0, u32(6)}, S_OK, 0, 6},
        {"write, then read back", true, {4, u32(7)}, S_OK, 4, 7},
        {"write of three bytes", true, {0, std::vector<BYTE>{1, 0, 0}}, S_OK, 0, 3},
        {"write of five bytes", true, {0, std::vector<BYTE>{1, 0, 0, 0, 0}}, S_OK, 0, 3},
        {"write while stopped", false, {0, u32(6)}, OPCVOS_E_NOT_ALLOWED, 0, 3},
        {"write and read while stopped", false, {4, u32(6)}, OPCVOS_E_NOT_ALLOWED, 4, 3},
        {"read while stopped", false, {4, {}}, S_OK, 4, 3},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        storeTraceLevel(3);
        setRunning(row.running);
        const Answer answer = exchange(IOFF_CONFIG, IOFF_CONFIG_TRACELEVEL, row.request);
        expectAnswer(answer, row.result, row.returned, row.request.readLength, &row.levelAfter);
        EXPECT_EQ(storedTraceLevel(), row.levelAfter);
    }
    // A level written is applied at once: the trace file beside the program is opened.
    EXPECT_TRUE(fs::exists(m_root.Path() + "/Program/_Opcwatch.log"));
}

TEST_F(OpcVosServerTest, Offset110UsesTheRunningConfigurationsSubscriptionMode)
{
    const struct
    {
        const char* what;
        bool running;
        Exchange request;
        HRESULT result;
        ULONG returned;
        OpcUa_UInt32 modeAfter; // read back when running
    } rows[] = {
        {"read, exact buffer", true, {4, {}}, S_OK, 4, 2},
        {"read, one byte more", true, {5, {}}, S_OK, 4, 2},
        {"read, short buffer", true, {3, {}}, OPCVOS_E_SIZE, 0, 2},
        {"write", true, {0, u32(1)}, S_OK, 0, 1},
        {"write, then read back", true, {4, u32(3)}, S_OK, 4, 3},
        {"write of two bytes", true, {0, std::vector<BYTE>{1, 0}}, OPCVOS_E_SIZE, 0, 2},
        {"write of five bytes", true, {0, std::vector<BYTE>{1, 0, 0, 0, 0}}, OPCVOS_E_SIZE, 0, 2},
        {"write of nothing", true, {0, std::vector<BYTE>{}}, OPCVOS_E_SIZE, 0, 2},
        {"short write, good read", true, {4, std::vector<BYTE>{1}}, OPCVOS_E_SIZE, 4, 2},
        {"read while stopped", false, {4, {}}, OPCVOS_E_NOT_ALLOWED, 0, 0},
        {"write while stopped", false, {0, u32(1)}, OPCVOS_E_NOT_ALLOWED, 0, 0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        setRunning(row.running);
        const Answer answer = exchange(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, row.request);
        expectAnswer(answer, row.result, row.returned, row.request.readLength, &row.modeAfter);
        if (row.running)
        {
            EXPECT_EQ(subscriptionMode(), row.modeAfter);
        }
    }
}

TEST_F(OpcVosServerTest, Offset120AnswersThePathWithItsZeroOrNothing)
{
    const ULONG n = static_cast<ULONG>(kConfigurationPath.size());
    const struct
    {
        const char* what;
        bool running;
        Exchange request;
        HRESULT result;
        ULONG returned;
    } rows[] = {
        {"buffer of the path's length", true, {n, {}}, OPCVOS_E_SIZE, 0},
        {"one byte more", true, {n + 1, {}}, S_OK, n + 1},
        {"a larger buffer", true, {n + 10, {}}, S_OK, n + 1},
        {"a one-byte buffer", true, {1, {}}, OPCVOS_E_SIZE, 0},
        {"while stopped", false, {n + 1, {}}, S_OK, n + 1},
        {"write: refused, the read still done",
         true,
         {n + 1, std::vector<BYTE>{'x'}},
         OPCVOS_E_NOT_ALLOWED,
         n + 1},
        {"write of nothing", true, {0, std::vector<BYTE>{}}, OPCVOS_E_NOT_ALLOWED, 0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        setRunning(row.running);
        const Answer answer = exchange(IOFF_CONFIG, IOFF_CONFIG_FILEPATH, row.request);
        expectAnswer(answer, row.result, row.returned, row.request.readLength, kConfigurationPath.c_str());
    }
    // A write length without data is refused too.
    ULONG returned = 0;
    EXPECT_EQ(m_server->ReadWrite(IOFF_CONFIG, IOFF_CONFIG_FILEPATH, 0, nullptr, 1, nullptr, &returned),
              OPCVOS_E_NOT_ALLOWED);
}

TEST_F(OpcVosServerTest, WriteChangesTheSettingsAndReadReadsThem)
{
    const std::vector<BYTE> level = u32(5);
    EXPECT_EQ(m_server->Write(IOFF_CONFIG, IOFF_CONFIG_TRACELEVEL, 4, level.data()), S_OK);
    EXPECT_EQ(storedTraceLevel(), 5u);
    const std::vector<BYTE> mode = u32(1);
    EXPECT_EQ(m_server->Write(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 4, mode.data()), S_OK);
    EXPECT_EQ(subscriptionMode(), 1u);
    EXPECT_EQ(m_server->Write(IOFF_CONFIG, IOFF_CONFIG_FILEPATH, 0, mode.data()), OPCVOS_E_NOT_ALLOWED);

    OpcUa_UInt32 value = 0;
    EXPECT_EQ(m_server->Read(IOFF_CONFIG, IOFF_CONFIG_TRACELEVEL, 4, &value), S_OK);
    EXPECT_EQ(value, 5u);
    ULONG returned = 0;
    EXPECT_EQ(m_server->ReadEx(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 4, &value, &returned), S_OK);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(m_server->Read(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 2, &value), OPCVOS_E_SIZE);
}

TEST_F(OpcVosServerTest, UnknownGroupsAndOffsetsAreNamedInTheTrace)
{
    const struct
    {
        ULONG group, offset;
        HRESULT result;
        std::string warning;
    } rows[] = {
        {IOFF_CONFIG, 130, OPCVOS_E_UNKNOWN_OFFSET, "Unknown iOffset : 0x00000082"},
        {IOFF_CONFIG, 0, OPCVOS_E_UNKNOWN_OFFSET, "Unknown iOffset : 0x00000000"},
        {7, 100, OPCVOS_E_UNKNOWN_GROUP, "Unknown iGroup : 0x00000007"},
        {0, 0, OPCVOS_E_UNKNOWN_GROUP, "Unknown iGroup : 0x00000000"},
        {5001, 110, OPCVOS_E_UNKNOWN_GROUP, "Unknown iGroup : 0x00001389"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.warning);
        BYTE buffer[8] = {};
        ULONG returned = 0;
        m_trace.clear();
        EXPECT_EQ(m_server->ReadWrite(row.group, row.offset, 8, buffer, 0, nullptr, &returned), row.result);
        EXPECT_EQ(linesAt(m_trace, 2), Lines{row.warning});
        EXPECT_EQ(m_server->Read(row.group, row.offset, 8, buffer), row.result);
        EXPECT_EQ(m_server->Write(row.group, row.offset, 4, buffer), row.result);
    }
    m_trace.clear();
    BYTE buffer[4];
    ULONG returned = 0;
    m_server->ReadWrite(IOFF_CONFIG, 130, 4, buffer, 0, nullptr, &returned);
    EXPECT_EQ(linesAt(m_trace, 6), (Lines{"--> COpcUaServer::ReadWrite( ig=0x1388, io=0x82)",
                                          "<-- COpcUaServer::ReadWrite() return 0x98110703"}));
    EXPECT_EQ(linesAt(m_trace, 3), Lines{"IOFF_CONFIG"});
}

TEST_F(OpcVosServerTest, GroupOneRestartsTheServerThroughEveryRequest)
{
    BYTE buffer[4] = {};
    ULONG returned = 0;
    const struct
    {
        const char* what;
        std::function<HRESULT()> call;
    } rows[] = {
        {"Read", [&] { return m_server->Read(IOFF_RESTART, 0, 4, buffer); }},
        {"ReadEx", [&] { return m_server->ReadEx(IOFF_RESTART, 0, 4, buffer, &returned); }},
        {"Write", [&] { return m_server->Write(IOFF_RESTART, 0, 0, buffer); }},
        {"ReadWrite", [&] { return m_server->ReadWrite(IOFF_RESTART, 7, 0, nullptr, 0, nullptr, nullptr); }},
    };
    for (bool startFails : {false, true})
        for (const auto& row : rows)
        {
            SCOPED_TRACE(std::string(row.what) + (startFails ? ", start fails" : ""));
            m_fake.m_startFails = startFails;
            const int stops = m_fake.m_stops;
            const int starts = m_fake.m_starts;
            m_trace.clear();
            // A failed start still answers 0.
            EXPECT_EQ(row.call(), S_OK);
            EXPECT_EQ(m_fake.m_stops, stops + 1);
            EXPECT_EQ(m_fake.m_starts, starts + 1);
            EXPECT_EQ(linesAt(m_trace, 3), Lines{"IOFF_RESTART"});
            ULONG deviceState = 0;
            EXPECT_EQ(m_server->ReadState(nullptr, &deviceState, nullptr, nullptr), S_OK);
            EXPECT_EQ(deviceState, startFails ? 6u : 5u);
        }
}

TEST_F(OpcVosServerTest, MissingPointersAnswerEPointerWithoutARequest)
{
    BYTE buffer[4] = {};
    ULONG returned = 0;
    const struct
    {
        const char* what;
        std::function<HRESULT()> call;
        Lines lines;
    } rows[] = {
        {"Read",
         [&] { return m_server->Read(IOFF_RESTART, 0, 4, nullptr); },
         {"--> COpcUaServer::Read( ig=0x1, io=0x0)", "<-- COpcUaServer::Read() return E_POINTER"}},
        {"ReadEx without buffer",
         [&] { return m_server->ReadEx(IOFF_RESTART, 0, 4, nullptr, &returned); },
         {"--> COpcUaServer::ReadEx( ig=0x1, io=0x0)", "<-- COpcUaServer::ReadEx() return E_POINTER"}},
        {"ReadEx without length",
         [&] { return m_server->ReadEx(IOFF_RESTART, 0, 4, buffer, nullptr); },
         {"--> COpcUaServer::ReadEx( ig=0x1, io=0x0)", "<-- COpcUaServer::ReadEx() return E_POINTER"}},
        {"ReadDeviceInfo",
         [&] { return m_server->ReadDeviceInfo(nullptr, nullptr); },
         {"--> COpcUaServer::ReadDeviceInfo()", "<-- COpcUaServer::ReadDeviceInfo() return E_POINTER"}},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        m_trace.clear();
        EXPECT_EQ(row.call(), E_POINTER);
        EXPECT_EQ(linesAt(m_trace, 6), row.lines);
    }
    EXPECT_EQ(m_fake.m_stops, 0);
}

TEST_F(OpcVosServerTest, DeviceInfoAndStateAnswerForTheServer)
{
    BSTR name = nullptr;
    m_trace.clear();
    ASSERT_EQ(m_server->ReadDeviceInfo(&name, nullptr), S_OK);
    EXPECT_EQ(os::toUtf8(name), "Opcwatch");
    SysFreeString(name);
    EXPECT_EQ(linesAt(m_trace, 6), (Lines{"--> COpcUaServer::ReadDeviceInfo()",
                                          "<-- COpcUaServer::ReadDeviceInfo() return S_OK"}));
    // The build gives this test program the file version 2.3.0.1234.
    VosVersion version{};
    ASSERT_EQ(m_server->ReadDeviceInfo(nullptr, &version), S_OK);
    EXPECT_EQ(version.version, 2);
    EXPECT_EQ(version.revision, 3);
    EXPECT_EQ(version.build, 1234);

    for (bool running : {true, false})
    {
        setRunning(running);
        ULONG states[4] = {9, 9, 9, 9};
        m_trace.clear();
        EXPECT_EQ(m_server->ReadState(&states[0], &states[1], &states[2], &states[3]), S_OK);
        EXPECT_EQ(std::vector<ULONG>(states, states + 4), (std::vector<ULONG>{5, running ? 5u : 6u, 0, 0}));
        EXPECT_EQ(linesAt(m_trace, 6),
                  (Lines{"--> CVosServerImp::ReadState()", "<-- CVosServerImp::ReadState() retrun S_OK"}));
    }
}

TEST_F(OpcVosServerTest, RequestsTraceTheirWayThroughReadWrite)
{
    OpcUa_UInt32 value = 0;
    m_trace.clear();
    ASSERT_EQ(m_server->Read(IOFF_CONFIG, IOFF_CONFIG_TRACELEVEL, 4, &value), S_OK);
    EXPECT_EQ(linesAt(m_trace, 6), (Lines{"--> COpcUaServer::Read( ig=0x1388, io=0x64)",
                                          "--> COpcUaServer::ReadEx( ig=0x1388, io=0x64)",
                                          "--> COpcUaServer::ReadWrite( ig=0x1388, io=0x64)",
                                          "<-- COpcUaServer::ReadWrite() return 0x00000000",
                                          "<-- COpcUaServer::ReadEx() return [0x00000000]",
                                          "<-- COpcUaServer::Read() return [0x00000000]"}));
    m_trace.clear();
    ASSERT_EQ(m_server->Write(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 2, &value), OPCVOS_E_SIZE);
    EXPECT_EQ(linesAt(m_trace, 6), (Lines{"--> COpcUaServer::Write( ig=0x1388, io=0x6e)",
                                          "--> COpcUaServer::ReadWrite( ig=0x1388, io=0x6e)",
                                          "<-- COpcUaServer::ReadWrite() return 0x98110705",
                                          "<-- COpcUaServer::Write() [return 0x98110705]"}));
}

// ---- the port

TEST_F(OpcVosServerTest, VostoolReachesTheServerOnItsPort)
{
    ASSERT_EQ(m_server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME), S_OK);
    const std::string port = std::to_string(OPCWATCH_VOS_PORT);
    const struct
    {
        std::vector<std::string> args;
        int exitCode;
        std::string output;
    } rows[] = {
        {{"--port", "Opcwatch", "info"}, 0, "name: Opcwatch\nversion: 2.3.1234\n"},
        {{"--port", port, "state"}, 0, "vos state: 5\ndevice state: 5\n"},
        {{"--port", "Opcwatch", "--as", "u32", "read", "5000", "100", "4"}, 0, "3\n"},
        {{"--port", "Opcwatch", "read", "5000", "100", "2"}, 0, "\n"},
        {{"--port", "Opcwatch", "--as", "str", "read", "5000", "120",
          std::to_string(kConfigurationPath.size() + 1)},
         0,
         kConfigurationPath + "\n"},
        {{"--port", "Opcwatch", "read", "5000", "120", std::to_string(kConfigurationPath.size())}, 1, ""},
        {{"--port", "Opcwatch", "--as", "u32", "readwrite", "5000", "110", "4", "u32:3"}, 0, "3\n"},
        {{"--port", "Opcwatch", "write", "5000", "100", "u32:4"}, 0, ""},
        {{"--port", "Opcwatch", "--as", "u32", "read", "5000", "100", "8"}, 0, "4\n"},
        {{"--port", "Opcwatch", "write", "5000", "120", "u8:1"}, 1, ""},
        {{"--port", "Opcwatch", "read", "5000", "130", "4"}, 1, ""},
        {{"--port", "Opcwatch", "read", "6000", "100", "4"}, 1, ""},
        {{"--port", "Opcwatch", "write", "1", "0"}, 0, ""},
        {{"--port", "Opcwatch", "--as", "u32", "read", "5000", "110", "4"},
         0,
         "2\n"}, // the restart's new settings
    };
    for (const auto& row : rows)
    {
        std::string joined;
        for (const std::string& arg : row.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        std::string out;
        EXPECT_EQ(vostest::Run("vostool", row.args, out), row.exitCode);
        EXPECT_EQ(out, row.output);
    }
    EXPECT_EQ(m_fake.m_starts, 2);
    EXPECT_EQ(storedTraceLevel(), 4u);

    // The exact codes, through a client of the test's own.
    CVosSync client;
    client.VosSyncSetTimeout(30000);
    OrxAddr target{};
    target.port = OPCWATCH_VOS_PORT;
    BYTE buffer[64] = {};
    EXPECT_EQ(client.VosSyncReadReq(&target, 5000, 130, 4, buffer),
              static_cast<LONG>(OPCVOS_E_UNKNOWN_OFFSET));
    EXPECT_EQ(client.VosSyncReadReq(&target, 6000, 100, 4, buffer),
              static_cast<LONG>(OPCVOS_E_UNKNOWN_GROUP));
    EXPECT_EQ(client.VosSyncWriteReq(&target, 5000, 120, 1, buffer), static_cast<LONG>(OPCVOS_E_NOT_ALLOWED));
    EXPECT_EQ(client.VosSyncReadReq(&target, 5000, 110, 3, buffer), static_cast<LONG>(OPCVOS_E_SIZE));
    setRunning(false);
    EXPECT_EQ(client.VosSyncReadReq(&target, 5000, 110, 4, buffer), static_cast<LONG>(OPCVOS_E_NOT_ALLOWED));
    USHORT vosState = 0;
    USHORT deviceState = 0;
    ASSERT_EQ(client.VosSyncReadStateReq(&target, &vosState, &deviceState), 0);
    EXPECT_EQ(deviceState, 6);
}

TEST_F(OpcVosServerTest, APortThatCannotOpenLeavesAWarningAndTheServerServing)
{
    CVosW32 holder(OPCWATCH_VOS_PORT, TRUE, nullptr);
    ASSERT_TRUE(holder.OrxIsConnected());
    m_trace.clear();
    EXPECT_EQ(m_server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME), E_FAIL);
    const Lines warnings = linesAt(m_trace, 2);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("Vos port 11600 (Opcwatch) not opened"), std::string::npos) << warnings[0];
    // The failed port gave its reference back: the process's is the only one.
    EXPECT_EQ(m_server->AddRef(), 2u);
    EXPECT_EQ(m_server->Release(), 1u);
    OpcUa_UInt32 value = 0;
    EXPECT_EQ(m_server->Read(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 4, &value), S_OK);
    EXPECT_EQ(value, 2u);
}

TEST_F(OpcVosServerTest, ReleasingThePortLeavesTheServerToTheProcess)
{
    ASSERT_EQ(m_server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME), S_OK);
    EXPECT_EQ(m_server->AddRef(), 3u); // the process, the port and this call
    EXPECT_EQ(m_server->Release(), 2u);
    EXPECT_EQ(m_server->ShutdownVosServer(), S_OK);
    EXPECT_EQ(m_server->AddRef(), 2u);
    EXPECT_EQ(m_server->Release(), 1u);
    OrxAddr found{};
    EXPECT_EQ(OrxGetPortByName(OPCWATCH_VOS_PORT_NAME, &found), static_cast<LONG>(VOSERR_NAME_NOT_FOUND));
}

// As the process entry does when Run fails: the object goes while its port is open.
TEST_F(OpcVosServerTest, DeletingTheServerClosesItsPort)
{
    auto* other = new COpcVosServer(m_fake, kProgramDirectory);
    other->AddRef();
    ASSERT_EQ(other->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME), S_OK);
    OrxAddr found{};
    ASSERT_EQ(OrxGetPortByName(OPCWATCH_VOS_PORT_NAME, &found), 0);
    delete other;
    EXPECT_EQ(OrxGetPortByName(OPCWATCH_VOS_PORT_NAME, &found), static_cast<LONG>(VOSERR_NAME_NOT_FOUND));
}

// Restarts delete the settings that requests on other threads use; the server's lock keeps them
// apart (the double counts any access without it, the sanitizers see any use after a stop).
TEST_F(OpcVosServerTest, RestartsWhileClientsReadAndWrite)
{
    ASSERT_EQ(m_server->OpenVosServer(OPCWATCH_VOS_PORT, OPCWATCH_VOS_PORT_NAME), S_OK);
    constexpr int kRestarts = 60;
    std::atomic<bool> done{false};
    std::atomic<int> unexpected{0};
    std::atomic<int> portReads{0};
    std::atomic<int> directWrites{0};

    std::thread portReader(
        [&]
        {
            CVosSync client;
            client.VosSyncSetTimeout(30000);
            OrxAddr target{};
            target.port = OPCWATCH_VOS_PORT;
            do
            {
                OpcUa_UInt32 mode = 0;
                ULONG got = 0;
                const LONG result = client.VosSyncReadReq(&target, 5000, 110, 4, &mode, &got);
                if (!(result == 0 && got == 4 && (mode == 2 || mode == 1)) &&
                    result != static_cast<LONG>(OPCVOS_E_NOT_ALLOWED))
                    ++unexpected;
                ++portReads;
            } while (!done);
        });
    std::thread directWriter(
        [&]
        {
            const std::vector<BYTE> mode = u32(1);
            do
            {
                const HRESULT result =
                    m_server->Write(IOFF_CONFIG, IOFF_CONFIG_SUBSCRIPTIONMODE, 4, mode.data());
                if (result != S_OK && result != OPCVOS_E_NOT_ALLOWED)
                    ++unexpected;
                ++directWrites;
            } while (!done);
        });
    for (int i = 0; i < kRestarts; ++i)
        EXPECT_EQ(m_server->ReadWrite(IOFF_RESTART, 0, 0, nullptr, 0, nullptr, nullptr), S_OK);
    done = true;
    portReader.join();
    directWriter.join();
    EXPECT_EQ(unexpected, 0);
    EXPECT_GT(portReads, 0);
    EXPECT_GT(directWrites, 0);
    EXPECT_EQ(m_fake.m_starts, kRestarts + 1);
}
} // namespace
