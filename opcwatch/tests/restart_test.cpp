// The server object over the server library itself, as the program runs it, restarted through
// its Vos interface while clients on other threads read over loopback. Every answer that comes
// back is right, the readers get through again after each restart, and the sanitizers watch
// the sessions, the stack's threads and the address space go and come back.
#include "opcwatch_test_root.h"

#include "opcuaserver.h"
#include "opcwatchruntime.h"
#include "sharedmutexpool.h"

#include "freeport.h"
#include "uatcp_session_client.h"

#include <uaplatformlayer.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace
{
// Server.ServerStatus.BuildInfo.ManufacturerName and its Value attribute.
constexpr OpcUa_UInt32 kManufacturerName = 2263;
constexpr OpcUa_UInt32 kValueAttribute = 13;

// One Read of the manufacturer's name over the client's session: Good with "Corvanta", a Bad
// status otherwise; BadUnexpectedError for a Good answer with another value.
OpcUa_StatusCode readManufacturer(uatcp::test::SessionClient& client)
{
    OpcUa_ReadRequest request;
    OpcUa_ReadRequest_Initialize(&request);
    request.NoOfNodesToRead = 1;
    request.NodesToRead = static_cast<OpcUa_ReadValueId*>(OpcUa_Memory_Alloc(sizeof(OpcUa_ReadValueId)));
    OpcUa_ReadValueId_Initialize(request.NodesToRead);
    request.NodesToRead->NodeId.Identifier.Numeric = kManufacturerName;
    request.NodesToRead->AttributeId = kValueAttribute;
    OpcUa_Void* response = nullptr;
    OpcUa_EncodeableType* type = nullptr;
    OpcUa_StatusCode result = client.invoke(&request, &OpcUa_ReadRequest_EncodeableType, &response, &type);
    if (OpcUa_IsGood(result) && type != &OpcUa_ReadResponse_EncodeableType)
        result = OpcUa_BadCommunicationError; // a fault
    else if (OpcUa_IsGood(result))
    {
        const auto* read = static_cast<OpcUa_ReadResponse*>(response);
        result = read->ResponseHeader.ServiceResult;
        if (OpcUa_IsGood(result))
        {
            const OpcUa_DataValue& value = read->Results[0];
            const char* text = value.Value.Datatype == OpcUaType_String
                                   ? OpcUa_String_GetRawString(&value.Value.Value.String)
                                   : nullptr;
            result = read->NoOfResults != 1                       ? OpcUa_BadUnexpectedError
                     : OpcUa_IsBad(value.StatusCode)              ? value.StatusCode
                     : text && std::strcmp(text, "Corvanta") == 0 ? OpcUa_Good
                                                                  : OpcUa_BadUnexpectedError;
        }
    }
    if (type)
        OpcUa_EncodeableObject_Delete(type, &response);
    OpcUa_ReadRequest_Clear(&request);
    return result;
}

class OpcwatchRestartTest : public OpcwatchTestRoot
{
protected:
    void SetUp() override
    {
        OpcwatchTestRoot::SetUp();
        ASSERT_EQ(UaPlatformLayer::init(), 0);
        makeProgramFolder();
        writeConfiguration("<ServerInstanceUri>urn:[NodeName]:Corvanta:Opcwatch</ServerInstanceUri>"
                           "<UaEndpoint><Url>" +
                           std::to_string(m_port) +
                           "</Url><SerializerType>Binary</SerializerType><SecuritySetting>"
                           "<SecurityPolicy>http://opcfoundation.org/UA/SecurityPolicy#None</SecurityPolicy>"
                           "<MessageSecurityMode>None</MessageSecurityMode></SecuritySetting></UaEndpoint>");
    }
    void TearDown() override
    {
        m_server->StopUaServer();
        delete m_server;
        SharedMutexPool::clear();
        UaPlatformLayer::cleanup();
        OpcwatchTestRoot::TearDown();
    }

    ULONG deviceState()
    {
        ULONG state = 0;
        m_server->ReadState(nullptr, &state, nullptr, nullptr);
        return state;
    }

    const int m_port = uaservertest::freePort();
    OpcwatchRuntime m_runtime;
    COpcUaServer* m_server = new COpcUaServer(m_runtime, m_runtime, u"\\Program");
};

TEST_F(OpcwatchRestartTest, RestartsWhileClientsRead)
{
    ASSERT_EQ(m_server->StartUaServer(), OpcUa_Good);
    const std::string url = "opc.tcp://localhost:" + std::to_string(m_port);
    constexpr int kReaders = 3;
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::atomic<int> good[kReaders] = {};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i)
        readers.emplace_back(
            [&, i]
            {
                // A session until the restart breaks it, then a new one.
                while (!done)
                {
                    uatcp::test::SessionClient client;
                    if (OpcUa_IsBad(client.connect(url)) || !client.createSession() ||
                        !client.activateSession())
                    {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                        continue;
                    }
                    for (OpcUa_StatusCode result = OpcUa_Good; !done && OpcUa_IsGood(result);)
                    {
                        result = readManufacturer(client);
                        if (result == OpcUa_BadUnexpectedError)
                            ++wrong;
                        else if (OpcUa_IsGood(result))
                            ++good[i];
                    }
                }
            });

    const auto waitForReads = [&]
    {
        int before[kReaders];
        for (int i = 0; i < kReaders; ++i)
            before[i] = good[i];
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        for (int i = 0; i < kReaders; ++i)
            while (good[i] <= before[i] + 2 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (int i = 0; i < kReaders; ++i)
            if (good[i] <= before[i] + 2)
                return false;
        return true;
    };
    for (int restart = 0; restart < 8; ++restart)
    {
        SCOPED_TRACE(restart);
        EXPECT_TRUE(waitForReads()) << "every reader reads again";
        // Group 1 restarts the server, on this thread as a Vos request would.
        EXPECT_EQ(m_server->ReadWrite(1, 0, 0, nullptr, 0, nullptr, nullptr), S_OK);
        EXPECT_EQ(deviceState(), 5u);
    }
    EXPECT_TRUE(waitForReads());
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(wrong, 0);
}
} // namespace
