// What the wire tests and the read benchmark of the server share: the test server as a process of
// its own, a session client over the stack's channel with the requests they send, and the walk of
// namespace 0 in process that the walks over the wire are compared with.
#pragma once

#include "testserver_process.h"
#include "uatcp_session_client.h"

#include <opcua.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace uaserver::wire
{
using uaservertest::TestServerProcess;

template <typename T> T* newRequest(OpcUa_EncodeableType& type)
{
    OpcUa_Void* object = nullptr;
    OpcUa_EncodeableObject_Create(&type, &object);
    return static_cast<T*>(object);
}

// n zero-filled elements from the stack's heap, for the arrays of a message.
template <typename T> T* allocateArray(OpcUa_Int32 n)
{
    auto* items = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(n) * sizeof(T)));
    std::memset(static_cast<void*>(items), 0, static_cast<size_t>(n) * sizeof(T));
    return items;
}

// A message of the stack that frees itself.
template <typename T> class Message
{
public:
    explicit Message(OpcUa_EncodeableType& type) : m_type(&type), m_object(newRequest<T>(type)) {}
    ~Message()
    {
        OpcUa_Void* object = m_object;
        OpcUa_EncodeableObject_Delete(m_type, &object);
    }
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;
    T* get() const { return m_object; }
    OpcUa_EncodeableType& type() const { return *m_type; }

private:
    OpcUa_EncodeableType* m_type;
    T* m_object;
};

// A variable of the test server's namespace 2 that a client may write, with a value to write in
// the client script's JSON form.
struct TestVariable
{
    std::string nodeId;
    std::string dataType;
    std::string jsonValue;
};
const std::vector<TestVariable>& testVariables();

struct NodeNumber
{
    OpcUa_UInt16 ns;
    OpcUa_UInt32 id;
};
// The first count of the Doubles the test server makes with --variables (ns=2;i=1000..).
std::vector<NodeNumber> benchmarkVariables(size_t count);

// Certificates and keys made for one test in a temporary folder: the server's, and the outside
// client's (PEM) in the server's trust list.
class SecuredClientFiles
{
public:
    SecuredClientFiles();
    ~SecuredClientFiles();
    SecuredClientFiles(const SecuredClientFiles&) = delete;
    SecuredClientFiles& operator=(const SecuredClientFiles&) = delete;
    bool ready() const { return m_ready; }
    // The test server's options for a Basic256 SignAndEncrypt endpoint with these files, and its
    // environment.
    std::vector<std::string> serverOptions() const;
    std::vector<std::string> serverEnvironment() const;
    std::string clientCertificateFile() const;
    std::string clientKeyFile() const;
    // What our stack's client brings to the Basic256 channel: its certificate and key (the outside
    // client's) and the server's certificate.
    uatcp::test::ClientCredentials stackClientCredentials() const;
    // Where server.der, server_key.der (DER) and pki/trusted (the client's certificate) lie.
    std::string folder() const;

private:
    struct Private;
    Private* d;
    bool m_ready = false;
};

// The services that take a request of many operations, for their limits per request.
enum class ManyOperations
{
    Read,
    Write,
    Browse,
    BrowseNext,
    TranslateBrowsePaths,
    RegisterNodes,
    UnregisterNodes,
    Call,
    CreateMonitoredItems,
    DeleteMonitoredItems,
    SetTriggering
};

// A session on a None channel of our stack's client and the requests of the tests.
class Client
{
public:
    bool open(const std::string& url);
    bool close();

    OpcUa_StatusCode unsupportedServiceStatus();
    // How many values of nodes came back Good.
    int readValues(const std::vector<NodeNumber>& nodes, OpcUa_Int32 attributeId);
    // Reads count times the node; the service result.
    OpcUa_StatusCode readStatus(OpcUa_Int32 count, NodeNumber node = {0, 2255});
    OpcUa_StatusCode writeInt32(const std::string& stringNodeId, OpcUa_Int32 value);
    // A Write of count items to an unknown node: the service result and how many results came back.
    OpcUa_StatusCode writeMany(OpcUa_Int32 count, OpcUa_Int32& results);
    // The references of a forward hierarchical browse of node; -1 when the browse failed.
    int browseCount(NodeNumber node);
    // A Browse of count descriptions of node in both directions over all references with every
    // field: the references of all results; -1 when the call or a result failed.
    int browseEverything(NodeNumber node, OpcUa_Int32 count);
    // The continuation point of a browse of node with at most maxReferences.
    std::vector<OpcUa_Byte> browsePoint(NodeNumber node, OpcUa_UInt32 maxReferences);
    // The result of a BrowseNext of the point.
    OpcUa_StatusCode browseNextStatus(const std::vector<OpcUa_Byte>& point);
    // All of namespace 0 from Root over forward hierarchical references with maxReferences per
    // answer, every continuation point followed; empty when a call failed.
    std::set<OpcUa_UInt32> walkNamespaceZero(OpcUa_UInt32 maxReferences, int& continuations);
    // A request of service with count operations, each harmless: Reads of the ServerStatus, Writes
    // of value to the Int32 test variable ns=2;i=3, Browses of Objects, continuation points nobody
    // made, paths from Root to Objects, the Objects node registered or unregistered, an unknown
    // method of Objects, items of subscription 0 and links of its item 1. The service result.
    OpcUa_StatusCode manyOperations(ManyOperations service, OpcUa_Int32 count, OpcUa_Int32 value = 0);
    // The value of a UInt32 or an Int32 variable.
    OpcUa_StatusCode readUInt32(NodeNumber node, OpcUa_UInt32& value);
    OpcUa_StatusCode readInt32(NodeNumber node, OpcUa_Int32& value);
    // CreateSubscription asking for the interval and counts, which come back revised.
    OpcUa_StatusCode createSubscription(OpcUa_Double& publishingInterval, OpcUa_UInt32& maxKeepAliveCount,
                                        OpcUa_UInt32& lifetimeCount, OpcUa_UInt32& subscriptionId);
    // What a Publish that acknowledges nothing was answered with.
    struct Published
    {
        OpcUa_StatusCode result = OpcUa_BadUnexpectedError;
        OpcUa_UInt32 subscriptionId = 0;
        // The notifications of the message (none in a keep-alive), and the status of each status
        // change among them.
        OpcUa_Int32 notifications = 0;
        std::vector<OpcUa_StatusCode> statusChanges;
    };
    Published publish();

private:
    template <typename T>
    OpcUa_StatusCode readScalar(NodeNumber node, OpcUa_BuiltInType type, T OpcUa_VariantUnion::*member,
                                T& value);
    // Sends request (taken over); the response when it is of responseType, else null and status.
    OpcUa_StatusCode call(OpcUa_Void* request, OpcUa_EncodeableType* requestType, OpcUa_Void** response);

    uatcp::test::SessionClient m_session;
};

// A client that reads the server's state in a loop on a thread of its own until stopped.
class KeepReading
{
public:
    explicit KeepReading(const std::string& url);
    ~KeepReading();
    bool running() const { return m_opened; }
    // Stops and tells whether every read succeeded and there were some.
    bool stopAndCheck();

private:
    Client m_client;
    bool m_opened = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_reads{0};
    std::atomic<int> m_failed{0};
    std::thread m_thread;
};

// A session of a raw peer on a None channel that sends requests without waiting for their answers
// and reads the answers as they come, each with the id of its request: the pipelining client.
class PipelinedSession
{
public:
    // One decoded answer, deleted with it.
    struct Answer
    {
        Answer() = default;
        ~Answer();
        Answer(const Answer&) = delete;
        Answer& operator=(const Answer&) = delete;
        uint32_t requestId = 0;
        OpcUa_EncodeableType* type = nullptr;
        OpcUa_Void* message = nullptr;
        // The service result of the response or ServiceFault.
        OpcUa_StatusCode serviceResult() const;
    };

    PipelinedSession();
    ~PipelinedSession();
    PipelinedSession(const PipelinedSession&) = delete;
    PipelinedSession& operator=(const PipelinedSession&) = delete;

    // Hello and secure channel.
    bool connect(uint16_t port);
    // Keeps at most about bytes of the server's answers in the socket.
    void limitReceiveBuffer(int bytes);
    // CreateSession, its answer read: the session's token is kept for the requests that follow.
    OpcUa_StatusCode createSession(OpcUa_Double timeoutMs = 600000);
    // ActivateSession (anonymous), its answer read.
    OpcUa_StatusCode activateSession();
    // Sends request (of type) under the session's token, not waiting for anything; its request id,
    // 0 when the server did not take it.
    uint32_t send(OpcUa_Void* request, OpcUa_EncodeableType& type);
    // Requests of the kinds the tests pipeline; the request id as send gives it.
    uint32_t sendCreateSession(OpcUa_Double timeoutMs = 600000);
    uint32_t sendRead(const std::vector<NodeNumber>& nodes);
    uint32_t sendCloseSession();
    // The next answer; false when none came within timeoutMs or it was no whole message.
    bool read(Answer& answer, int timeoutMs = 20000);

private:
    struct Private;
    Private* d;
};

// A session on a None channel of a raw peer that sends Reads and never reads their answers: the
// client that asks and does not take what it asked for.
class NonReadingClient
{
public:
    NonReadingClient();
    ~NonReadingClient();
    NonReadingClient(const NonReadingClient&) = delete;
    NonReadingClient& operator=(const NonReadingClient&) = delete;
    // Hello, secure channel, CreateSession and ActivateSession (their answers are read).
    bool open(uint16_t port);
    // Sends a Read of the Values of nodes, not waiting for anything; false once the server takes
    // no more (it closed the connection, or took nothing for seconds).
    bool sendRead(const std::vector<NodeNumber>& nodes);

private:
    struct Private;
    Private* d;
};

// Our client's serializer takes arrays up to limit.
void raiseClientArrayLimit(OpcUa_Int32 limit);
// The ServiceFault status the server gives a message of an encoding id no service knows, sent on a
// None channel by the raw peer; 0 without a fault.
OpcUa_StatusCode rawUnknownServiceStatus(uint16_t port);

// A server manager started in this process, with a session for the view services' own work.
class InProcessServer
{
public:
    InProcessServer();
    ~InProcessServer();
    InProcessServer(const InProcessServer&) = delete;
    InProcessServer& operator=(const InProcessServer&) = delete;

    // Namespace 0 from Root as the walks over the wire go, through the view services' work.
    std::set<OpcUa_UInt32> walkNamespaceZero(OpcUa_UInt32 maxReferences, int& continuations);

private:
    struct Private;
    Private* d;
};

// Namespace 0 as the server builds it, walked in process with three references per answer.
std::set<OpcUa_UInt32> namespaceZeroWalk();
// Those of nodes that are neither in the standard NodeSet nor listed absent from it in the
// server's list of deviations; empty when there is no NodeSet extract.
std::vector<OpcUa_UInt32> nodesNotInTheStandard(const std::set<OpcUa_UInt32>& nodes);
} // namespace uaserver::wire
