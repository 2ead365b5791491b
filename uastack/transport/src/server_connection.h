// One accepted connection of the server with its secure channel: a reader
// thread that checks every chunk and, with the worker pool off, runs the
// requests itself; sends from any thread that never interleave and leave the
// wire in sequence-number order. The service layer sits behind ServerHandler.
#pragma once
#include "channel_security.h"
#include "chunk_layer.h"
#include "message_reader.h"
#include "receive_budget.h"
#include "socket_io.h"
#include "tcp_messages.h"
#include "worker_pool.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace uatcp
{
class TcpServer;

enum class ChannelEvent : uint32_t
{
    Opened = 1,
    Closed = 2,
    Renewed = 3,
    UnsupportedService = 4,
    DecodeError = 5
};

struct PolicyConfig
{
    std::string uri;
    uint16_t modeMask = 0; // 0x1 None, 0x2 Sign, 0x4 SignAndEncrypt
};

struct ServerSettings
{
    ConnectionLimits limits;
    size_t maxConnections = 100;
    uint32_t maxPendingRequestsPerChannel = 500;
    int helloTimeoutMs = 5000; // for Hello to arrive after the connection was accepted
    // What all connections together may hold in messages of several chunks still being received.
    size_t receiveBudget = 64u << 20;
    int ioTimeoutMs = 15000; // for a started chunk to arrive whole, and for a send to be taken
    uint32_t minTokenLifetimeMs = 1000;
    uint32_t maxTokenLifetimeMs = 3600000;
    uint32_t defaultTokenLifetimeMs = 600000;
    std::vector<PolicyConfig> policies;
    SecurityCredentials credentials; // the endpoint's certificate, key and PKI configuration
    // Off: each request runs on the thread that read it, one after another per connection.
    bool useWorkerPool = true;
    WorkerPoolSettings pool;
};

class ServerConnection;

class ServerHandler
{
public:
    virtual ~ServerHandler() = default;
    virtual void onChannelEvent(ChannelEvent event, uint32_t channelId, uint32_t status,
                                const Bytes& clientCertificate, const std::string& policyUri,
                                SecurityMode mode) = 0;
    // Runs on a worker thread, or on the connection's reader with the pool off;
    // the request counts as pending on its channel until sendResponse or
    // finishRequest is called for it.
    virtual void onRequest(const std::shared_ptr<ServerConnection>& connection, uint32_t channelId,
                           uint32_t requestId, Bytes body) = 0;
    // The same with a body that is only lent for the call, so that the stack
    // can reuse its buffers; by default a copy goes to onRequest.
    virtual void onRequestView(const std::shared_ptr<ServerConnection>& connection, uint32_t channelId,
                               uint32_t requestId, const uint8_t* body, size_t size)
    {
        onRequest(connection, channelId, requestId, Bytes(body, body + size));
    }
    // A connection is being dropped for breaking the protocol or a limit.
    virtual void onConnectionError(uint32_t /*status*/, const std::string& /*reason*/) {}
};

class ServerConnection : public std::enable_shared_from_this<ServerConnection>
{
public:
    ServerConnection(TcpServer& server, Socket socket);
    ~ServerConnection();
    void start();
    // Ends the connection from outside; the reader thread then winds down.
    void stop();
    void join();
    bool finished() const { return m_finished.load(); }

    // For a full server that looks for a connection to close in favour of a new one.
    // Still in its handshake: without Hello, or with Hello but without a secure
    // channel for longer than Hello may take.
    bool stalledInHandshake(Clock::time_point now) const;
    // An open secure channel without an activated session.
    bool channelWithoutSession() const { return m_stage == Stage::Open && !m_sessionActive; }
    void setSessionActive(bool active) { m_sessionActive = active; }
    // Closes the connection with BadTcpServerTooBusy; it no longer counts towards the limit.
    void evict();
    bool evicted() const { return m_evicted.load(); }

    // Callable from any thread. Sends the response of a pending request; a
    // response whose channel has gone is dropped (BadSecureChannelClosed).
    uint32_t sendResponse(uint32_t channelId, uint32_t requestId, uint32_t requestHandle, const uint8_t* body,
                          size_t size);
    uint32_t sendResponse(uint32_t channelId, uint32_t requestId, uint32_t requestHandle, const Bytes& body)
    {
        return sendResponse(channelId, requestId, requestHandle, body.data(), body.size());
    }
    // Ends a pending request without a response.
    void finishRequest(uint32_t requestId);

    // For the server's flusher, which writes what the socket did not take at once.
    enum class FlushResult
    {
        Done,         // nothing ready is left to write; the writing is given back
        WaitForSocket // the socket is full again
    };
    int outputFd() const { return m_socket.fd(); }
    FlushResult flushOutput();
    // True when the connection has ended, or is now ended because its peer took nothing of its
    // output for the send time-out; its output is then dropped by the next flushOutput().
    bool outputStalled(Clock::time_point now);
    // Ends the connection when nobody can write its output; drops that output.
    void abandonOutput();
    uint32_t channelId() const;
    std::string policyUri() const;
    SecurityMode securityMode() const;

private:
    struct Token
    {
        uint32_t id = 0;
        Clock::time_point created;
        uint32_t lifetimeMs = 0;
        // Taken for a quarter of its lifetime past its end: a client renews at three quarters, and a
        // renewal held up behind a large request or on a busy machine must not cut its channel off.
        static constexpr uint64_t kGracePercent = 25;
        bool expired(Clock::time_point now) const
        {
            return now > created + std::chrono::milliseconds(lifetimeMs * (100 + kGracePercent) / 100);
        }
    };

    // A request handed to the worker pool, with its own copy of the body: the assembled message
    // of several chunks, or a copy of a chunk's body.
    struct Job
    {
        std::shared_ptr<ServerConnection> connection;
        uint32_t channelId = 0;
        uint32_t requestId = 0;
        PagedBytes assembled;
        Bytes body;
        size_t charge = 0; // taken from the receive budget for the body
    };

    // One message on its way out: its place in the order is fixed when its
    // sequence numbers are taken, its bytes are built after that.
    struct Outgoing
    {
        Bytes bytes;
        size_t written = 0; // of bytes, by the socket
        bool ready = false;
        bool failed = false;
        Outgoing* next = nullptr;
    };

    enum class ChunkOutcome
    {
        Continue,
        Closed,
        Failed
    };
    enum class Stage
    {
        AwaitingHello,
        AwaitingOpen,
        Open
    };

    // server_connection.cpp: the reader.
    void run();
    MessageReader::Result nextMessage(uint32_t minSize, uint32_t maxSize, MessageReader::View& view);
    bool partialOverdue(Clock::time_point now, int timeoutMs) const;
    bool receiveHello();
    ChunkOutcome handleChunk(const uint8_t* data, size_t size);
    ChunkOutcome handleMessage(const ChunkInfo& info, uint32_t requestId, const uint8_t* body, size_t size,
                               PagedBytes* owned);
    bool handleOpen(const ChunkInfo& info, const uint8_t* body, size_t size);
    bool acceptToken(uint32_t tokenId);
    // Makes room in the assembly for bodySize more bytes, drawn from the server's budget.
    bool growAssembly(size_t bodySize);
    // Gives back what the assembly no longer holds (after a reset).
    void settleAssemblyCharge();
    bool dispatch(uint32_t requestId, const uint8_t* body, size_t size, PagedBytes* owned, size_t charge);
    void runJob(Job* job);

    // server_sending.cpp: the ordered output and the ways a connection ends.
    uint32_t send(const ChunkWriteParams& params, const uint8_t* body, size_t size);
    Outgoing* reserveLocked(const ChunkWriteParams& params, size_t size, uint32_t& firstSequence,
                            uint32_t& result);
    // Queues a built message and writes what is ready, unless another thread or the flusher
    // writes now; closes the connection when its unwritten output passes the bound.
    uint32_t complete(Outgoing* out, uint32_t buildResult);
    // Writes the ready messages at the head of the output as far as the socket takes them;
    // m_writing is the caller's and stays set on WaitForSocket.
    FlushResult writeReadyLocked(std::unique_lock<std::mutex>& lock, uint32_t& result);
    void retireTokenWhenUnused(uint32_t tokenId);
    void fail(uint32_t error, const std::string& reason, int sendTimeoutMs = 1000);
    ChunkWriteParams messageParamsLocked(uint32_t requestId) const;
    bool removePendingLocked(uint32_t requestId);

    TcpServer& m_server;
    const ServerSettings& m_settings;
    Socket m_socket;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    const Clock::time_point m_acceptedAt;
    std::atomic<Stage> m_stage{Stage::AwaitingHello};
    std::atomic<bool> m_sessionActive{false};
    std::atomic<bool> m_evicted{false};

    // Reader-thread state.
    MessageReader m_reader;
    Clock::time_point m_partialSince{}; // when the part of a message now buffered began to arrive
    Bytes m_chunk;                      // the chunk being checked, unprotected in place
    NegotiatedLimits m_limits;
    SequenceChecker m_receiveSequence;
    // Messages of several chunks are joined in pages of their own, which go back to the system with them.
    std::unique_ptr<PagedChunkAssembler> m_assembler;
    size_t m_assemblyCharge = 0; // taken from the budget for the assembler's storage
    std::optional<Token> m_previousToken;
    Token m_currentToken;
    Bytes m_clientCertificate;
    uint32_t m_openChannelId = 0; // the reader's copy of m_channelId

    // Shared with senders, guarded by m_sendMutex (m_alive is also read without it).
    mutable std::mutex m_sendMutex;
    uint32_t m_failStatus = 0; // the first failure
    std::atomic<bool> m_alive{true};
    uint32_t m_channelId = 0;
    uint32_t m_sendTokenId = 0;
    std::string m_policyUri;
    SecurityMode m_mode = SecurityMode::Invalid;
    std::unique_ptr<ChannelSecurity> m_security;
    SequenceCounter m_sendSequence;
    std::vector<uint32_t> m_pendingRequests; // request ids not answered yet
    // Messages in the order of their sequence numbers; the thread that finds the first one ready
    // writes it and all ready ones after it, outside the lock.
    Outgoing* m_outHead = nullptr;
    Outgoing* m_outTail = nullptr;
    std::vector<std::unique_ptr<Outgoing>> m_outgoing; // every slot, kept for reuse
    std::vector<Outgoing*> m_spareOutgoing;
    bool m_writing = false;                 // a thread, or the flusher, writes the output
    size_t m_queuedBytes = 0;               // queued and not yet taken by the socket
    Clock::time_point m_outputProgressAt{}; // when the socket last took output, while it waits
    int m_building = 0;           // messages between taking their sequence numbers and being queued
    uint32_t m_tokenToRetire = 0; // retired once no message is being built with it
    int m_sendTimeoutMs;

    // Jobs for the worker pool, kept for reuse.
    std::mutex m_jobMutex;
    std::condition_variable m_jobDone;
    int m_jobsInPool = 0;
    std::vector<std::unique_ptr<Job>> m_spareJobs;
};
} // namespace uatcp
