#include "server_connection.h"

#include "secure_messages.h"
#include "tcp_server.h"
#include "tcp_status.h"

#include <algorithm>
#include <utility>

namespace uatcp
{
namespace
{
constexpr uint32_t kMinChunkSize = kMessageHeaderSize + 4 + 4 + kSequenceHeaderSize; // MSG without body
constexpr uint32_t kMaxHelloSize = kMessageHeaderSize + 20 + 4 + kMaxEndpointUrlLength;
// How long the reader sleeps in a read at most before it looks at its clocks.
constexpr int kIdleWakeMs = 500;
// The most an assembly grows by at a time, so that what it holds stays close to what it needs.
constexpr size_t kAssemblyGrowthStep = 1u << 20;
// Bodies kept with a spare job for the next request; larger ones are given back.
constexpr size_t kSpareBodyCapacity = 8192;
constexpr size_t kSpareJobs = 8;
// Requests of one connection in the worker pool at once, waiting or running.
constexpr int kMaxJobsInPool = 8;

uint16_t modeBit(SecurityMode mode)
{
    switch (mode)
    {
    case SecurityMode::None:
        return 0x1;
    case SecurityMode::Sign:
        return 0x2;
    case SecurityMode::SignAndEncrypt:
        return 0x4;
    default:
        return 0;
    }
}
} // namespace

ServerConnection::ServerConnection(TcpServer& server, Socket socket)
    : m_server(server), m_settings(server.settings()), m_socket(std::move(socket)),
      m_acceptedAt(Clock::now()), m_reader(kMaxHelloSize), m_sendTimeoutMs(server.settings().ioTimeoutMs)
{
}

ServerConnection::~ServerConnection()
{
    join();
}

void ServerConnection::start()
{
    m_thread = std::thread([self = shared_from_this()] { self->run(); });
}

void ServerConnection::stop()
{
    std::lock_guard lock(m_sendMutex);
    m_alive = false;
    m_socket.shutdown();
}

bool ServerConnection::stalledInHandshake(Clock::time_point now) const
{
    Stage stage = m_stage;
    // A client between its Hello and its OpenSecureChannel gets the time Hello may take.
    return stage == Stage::AwaitingHello ||
           (stage == Stage::AwaitingOpen &&
            now - m_acceptedAt >= std::chrono::milliseconds(m_settings.helloTimeoutMs));
}

void ServerConnection::evict()
{
    m_evicted = true;
    // The accept thread must not wait for this peer: the Error goes out only if it fits at once.
    fail(status::BadTcpServerTooBusy, "Closed for a new connection", 0);
}

void ServerConnection::join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    else if (m_thread.joinable())
        m_thread.detach();
}

uint32_t ServerConnection::channelId() const
{
    std::lock_guard lock(m_sendMutex);
    return m_channelId;
}

std::string ServerConnection::policyUri() const
{
    std::lock_guard lock(m_sendMutex);
    return m_policyUri;
}

SecurityMode ServerConnection::securityMode() const
{
    std::lock_guard lock(m_sendMutex);
    return m_mode;
}

MessageReader::Result ServerConnection::nextMessage(uint32_t minSize, uint32_t maxSize,
                                                    MessageReader::View& view)
{
    bool wasPartial = m_reader.partial();
    MessageReader::Result result = m_reader.next(m_socket.fd(), minSize, maxSize, view);
    // A started message must arrive whole in time; the clock runs from its first bytes.
    if (!m_reader.partial())
        m_partialSince = {};
    else if (!wasPartial || result == MessageReader::Result::Message)
        m_partialSince = Clock::now();
    return result;
}

bool ServerConnection::partialOverdue(Clock::time_point now, int timeoutMs) const
{
    return m_reader.partial() && now - m_partialSince > std::chrono::milliseconds(timeoutMs);
}

void ServerConnection::run()
{
    // Reads block in the socket (no poll before them) and wake at least this often for the clocks.
    int wakeMs = std::max(1, std::min({kIdleWakeMs, m_settings.helloTimeoutMs, m_settings.ioTimeoutMs}));
    m_socket.setBlockingWithReceiveTimeout(wakeMs);
    uint32_t closeStatus = status::BadConnectionClosed;
    if (receiveHello())
    {
        m_reader.reserve(m_limits.receiveChunkSize);
        for (;;)
        {
            if (!m_alive)
                break;
            MessageReader::View view;
            MessageReader::Result read = nextMessage(kMinChunkSize, m_limits.receiveChunkSize, view);
            if (read == MessageReader::Result::Refused)
            {
                fail(view.status, "Invalid chunk");
                break;
            }
            if (read == MessageReader::Result::Closed || read == MessageReader::Result::Error)
                break;
            auto now = Clock::now();
            if (m_openChannelId != 0 && m_currentToken.expired(now))
            {
                closeStatus = status::BadSecureChannelClosed;
                fail(status::BadSecureChannelClosed, "Security token expired");
                break;
            }
            if (read == MessageReader::Result::Pending)
            {
                // A chunk that stops half-way ends the connection without a word, as a broken one.
                if (partialOverdue(now, m_settings.ioTimeoutMs))
                    break;
                continue;
            }
            ChunkOutcome outcome = handleChunk(view.data, view.size);
            if (outcome == ChunkOutcome::Closed)
                closeStatus = status::Good;
            if (outcome != ChunkOutcome::Continue)
                break;
        }
    }
    {
        std::lock_guard lock(m_sendMutex);
        m_alive = false;
        m_socket.shutdown();
        // The channel closes with the reason it failed, when it failed.
        if (m_failStatus != status::Good)
            closeStatus = m_failStatus;
    }
    m_assembler.reset();
    settleAssemblyCharge();
    if (m_openChannelId != 0)
        m_server.handler().onChannelEvent(ChannelEvent::Closed, m_openChannelId, closeStatus,
                                          m_clientCertificate, m_policyUri, m_mode);
    m_finished = true;
}

bool ServerConnection::receiveHello()
{
    auto deadline = Clock::now() + std::chrono::milliseconds(m_settings.helloTimeoutMs);
    MessageReader::View view;
    for (;;)
    {
        MessageReader::Result read = nextMessage(kMessageHeaderSize + 24, kMaxHelloSize, view);
        if (read == MessageReader::Result::Message)
            break;
        if (read == MessageReader::Result::Refused)
        {
            fail(view.status, "Hello expected");
            return false;
        }
        if (read != MessageReader::Result::Pending || !m_alive)
            return false;
        // The first byte by the deadline, the whole Hello within the same time after it.
        auto now = Clock::now();
        if (m_reader.partial() ? partialOverdue(now, m_settings.helloTimeoutMs) : now >= deadline)
        {
            fail(status::BadTimeout, "No Hello received");
            return false;
        }
    }
    if (view.header.type != MessageType::Hello || view.header.chunkType != 'F')
    {
        fail(status::BadTcpMessageTypeInvalid, "Hello expected");
        return false;
    }
    HelloMessage hello;
    uint32_t result = decodeHello(view.data + kMessageHeaderSize, view.size - kMessageHeaderSize, hello);
    AcknowledgeMessage ack;
    if (!status::isBad(result))
        result = negotiateServer(m_settings.limits, hello, ack, m_limits);
    if (status::isBad(result))
    {
        fail(result, "Hello refused");
        return false;
    }
    m_assembler =
        std::make_unique<PagedChunkAssembler>(m_limits.receiveMaxMessageSize, m_limits.receiveMaxChunkCount);
    m_stage = Stage::AwaitingOpen;
    // Nothing else can be sent before the channel is open: the Acknowledge goes straight out.
    Bytes reply = encodeAcknowledge(ack);
    return m_alive && writeAll(m_socket.fd(), reply.data(), reply.size(), m_sendTimeoutMs) == IoResult::Ok;
}

bool ServerConnection::growAssembly(size_t bodySize)
{
    size_t held = m_assembler->capacity();
    size_t needed = m_assembler->size() + bodySize;
    // A chunk over the message limits is refused for that reason, not for the budget.
    if (needed <= held || !m_assembler->fits(bodySize))
        return true;
    // The pages move when the storage grows: only the new size is held, never old and new together.
    // Grown by doubling, at most a step at a time, up to the message limit.
    size_t grown = std::max(needed, std::min(held * 2, held + kAssemblyGrowthStep));
    if (m_limits.receiveMaxMessageSize != 0)
        grown = std::max(needed, std::min<size_t>(grown, m_limits.receiveMaxMessageSize));
    const size_t page = PagedBytes::pageSize();
    grown = (grown + page - 1) / page * page;
    if (!m_server.budget().reserve(grown))
        return false;
    if (!m_assembler->reserve(grown))
    {
        m_server.budget().release(grown);
        return false;
    }
    m_server.budget().release(held);
    m_assemblyCharge = m_assemblyCharge - held + grown;
    return true;
}

void ServerConnection::settleAssemblyCharge()
{
    size_t held = m_assembler ? m_assembler->capacity() : 0;
    if (m_assemblyCharge > held)
    {
        m_server.budget().release(m_assemblyCharge - held);
        m_assemblyCharge = held;
    }
}

bool ServerConnection::acceptToken(uint32_t tokenId)
{
    auto now = Clock::now();
    if (tokenId == m_currentToken.id)
    {
        if (m_previousToken)
        {
            // The client has moved to the renewed token: answers go with it, and the old one is done.
            retireTokenWhenUnused(m_previousToken->id);
            m_previousToken.reset();
        }
        return true;
    }
    return m_previousToken && tokenId == m_previousToken->id && !m_previousToken->expired(now);
}

ServerConnection::ChunkOutcome ServerConnection::handleChunk(const uint8_t* data, size_t size)
{
    // Checked and unprotected in a buffer of its own, whose storage stays for the next chunk.
    m_chunk.assign(data, data + size);
    ChunkInfo info;
    uint32_t result = parseChunkHeaders(m_chunk, info);
    if (status::isBad(result))
    {
        fail(result, "Invalid chunk header");
        return ChunkOutcome::Failed;
    }
    if (info.type == MessageType::Open)
    {
        if (info.channelId != m_openChannelId)
        {
            fail(status::BadTcpSecureChannelUnknown, "Unknown secure channel");
            return ChunkOutcome::Failed;
        }
        if (m_openChannelId != 0 && info.policyUri != m_policyUri)
        {
            fail(status::BadSecurityPolicyRejected, "Policy differs from the channel's");
            return ChunkOutcome::Failed;
        }
        if (!m_security)
        {
            bool offered = std::any_of(m_settings.policies.begin(), m_settings.policies.end(),
                                       [&](const PolicyConfig& p) { return p.uri == info.policyUri; });
            std::unique_ptr<ChannelSecurity> security;
            if (offered)
                security = createChannelSecurity(info.policyUri, m_settings.credentials);
            result = security ? status::Good : status::BadSecurityPolicyRejected;
            std::lock_guard lock(m_sendMutex);
            m_security = std::move(security);
        }
        // A client certificate that is not trusted fails here, before anything is decrypted.
        if (!status::isBad(result))
            result = m_security->acceptPeer(info.senderCertificate, info.receiverThumbprint);
    }
    else
    {
        if (m_openChannelId == 0 || info.channelId != m_openChannelId)
        {
            fail(status::BadTcpSecureChannelUnknown, "Unknown secure channel");
            return ChunkOutcome::Failed;
        }
        if (!acceptToken(info.tokenId))
        {
            fail(status::BadSecureChannelTokenUnknown, "Unknown security token");
            return ChunkOutcome::Failed;
        }
    }
    if (status::isBad(result))
    {
        if (m_openChannelId == 0)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, result, info.senderCertificate,
                                              info.policyUri, SecurityMode::Invalid);
        fail(result, "OpenSecureChannel refused");
        return ChunkOutcome::Failed;
    }
    size_t plainEnd = 0;
    // The reader alone sets the channel's protection, so it reads it without the lock.
    result = m_security->unprotect(m_chunk, info.securedFrom, info.type == MessageType::Open, info.tokenId,
                                   plainEnd);
    if (!status::isBad(result))
        result = parseSequenceHeader(m_chunk, plainEnd, info);
    if (status::isBad(result))
    {
        // A first OpenSecureChannel that fails its signature or decryption is a failed open.
        if (m_openChannelId == 0 && info.type == MessageType::Open)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, status::BadSecurityChecksFailed,
                                              info.senderCertificate, info.policyUri, SecurityMode::Invalid);
        fail(status::BadSecurityChecksFailed, "Chunk failed the security checks");
        return ChunkOutcome::Failed;
    }
    if (!m_receiveSequence.accept(info.sequenceNumber))
    {
        fail(status::BadSequenceNumberInvalid, "Sequence number out of order");
        return ChunkOutcome::Failed;
    }
    const uint8_t* body = m_chunk.data() + info.bodyOffset;
    size_t bodySize = info.bodyEnd - info.bodyOffset;
    // A message of one chunk is used where it lies; only longer ones are assembled, drawing on the budget.
    if (info.chunkType == 'F' && !m_assembler->inProgress())
    {
        if (!m_assembler->fits(bodySize))
        {
            fail(status::BadTcpMessageTooLarge, "Message refused");
            return ChunkOutcome::Failed;
        }
        return handleMessage(info, info.requestId, body, bodySize, nullptr);
    }
    if (info.chunkType != 'A' && !growAssembly(bodySize))
    {
        fail(status::BadTcpNotEnoughResources, "Receive memory budget exhausted");
        return ChunkOutcome::Failed;
    }
    uint32_t error = status::Good;
    auto assembled = m_assembler->add(info.chunkType, info.requestId, body, bodySize, error);
    if (assembled == ChunkAssembler::Result::Error)
    {
        fail(error, "Message refused");
        return ChunkOutcome::Failed;
    }
    if (assembled != ChunkAssembler::Result::Complete)
    {
        settleAssemblyCharge();
        return ChunkOutcome::Continue;
    }
    uint32_t requestId = m_assembler->requestId();
    PagedBytes message = m_assembler->takeMessage();
    return handleMessage(info, requestId, message.data(), message.size(), &message);
}

ServerConnection::ChunkOutcome ServerConnection::handleMessage(const ChunkInfo& info, uint32_t requestId,
                                                               const uint8_t* body, size_t size,
                                                               PagedBytes* owned)
{
    // An assembled body takes its storage's charge along until the request has been handed over.
    size_t charge = owned != nullptr ? std::exchange(m_assemblyCharge, 0) : 0;
    if (info.type != MessageType::Message)
    {
        ChunkOutcome outcome = info.type == MessageType::Close ? ChunkOutcome::Closed
                               : handleOpen(info, body, size)  ? ChunkOutcome::Continue
                                                               : ChunkOutcome::Failed;
        m_server.budget().release(charge);
        return outcome;
    }
    uint32_t result = status::Good;
    {
        std::lock_guard lock(m_sendMutex);
        if (std::find(m_pendingRequests.begin(), m_pendingRequests.end(), requestId) !=
            m_pendingRequests.end())
            result = status::BadTcpMessageTypeInvalid; // its answer could not be told apart
        else if (m_pendingRequests.size() >= m_settings.maxPendingRequestsPerChannel)
            result = status::BadTcpNotEnoughResources;
        else
            m_pendingRequests.push_back(requestId);
    }
    if (status::isBad(result))
    {
        m_server.budget().release(charge);
        fail(result, result == status::BadTcpNotEnoughResources ? "Too many pending requests"
                                                                : "Request id already in use");
        return ChunkOutcome::Failed;
    }
    if (!m_settings.useWorkerPool)
    {
        // The request runs here, on the thread that read it, with the body where it lies.
        m_server.handler().onRequestView(shared_from_this(), m_openChannelId, requestId, body, size);
        m_server.budget().release(charge);
        return ChunkOutcome::Continue;
    }
    if (!dispatch(requestId, body, size, owned, charge))
    {
        finishRequest(requestId);
        fail(status::BadTcpServerTooBusy, "Server too busy");
        return ChunkOutcome::Failed;
    }
    return ChunkOutcome::Continue;
}

bool ServerConnection::dispatch(uint32_t requestId, const uint8_t* body, size_t size, PagedBytes* owned,
                                size_t charge)
{
    std::unique_ptr<Job> job;
    {
        std::unique_lock lock(m_jobMutex);
        // The pool is shared: one connection's flood of requests waits here, at its own reader,
        // rather than in the pool's queue ahead of every other connection's requests.
        while (m_jobsInPool >= kMaxJobsInPool && m_alive)
            m_jobDone.wait_for(lock, std::chrono::milliseconds(kIdleWakeMs));
        ++m_jobsInPool;
        if (!m_spareJobs.empty())
        {
            job = std::move(m_spareJobs.back());
            m_spareJobs.pop_back();
        }
    }
    if (!job)
        job = std::make_unique<Job>();
    job->connection = shared_from_this();
    job->channelId = m_openChannelId;
    job->requestId = requestId;
    if (owned != nullptr)
    {
        job->assembled = std::move(*owned);
    }
    else
    {
        // A copy of a chunk's body is bounded by the chunk size: counted, but never refused.
        job->body.assign(body, body + size);
        charge = job->body.capacity();
        m_server.budget().charge(charge);
    }
    job->charge = charge;
    Job* posted = job.release();
    if (m_server.dispatch([posted] { posted->connection->runJob(posted); }))
        return true;
    m_server.budget().release(posted->charge);
    delete posted;
    std::lock_guard lock(m_jobMutex);
    --m_jobsInPool;
    return false;
}

void ServerConnection::runJob(Job* job)
{
    std::unique_ptr<Job> done(job);
    const bool assembled = !done->assembled.empty();
    m_server.handler().onRequestView(done->connection, done->channelId, done->requestId,
                                     assembled ? done->assembled.data() : done->body.data(),
                                     assembled ? done->assembled.size() : done->body.size());
    done->assembled.clear();
    m_server.budget().release(done->charge);
    done->charge = 0;
    if (done->body.capacity() > kSpareBodyCapacity)
        Bytes().swap(done->body);
    // The job holds this connection: the reference goes before the job is kept or freed.
    auto self = std::move(done->connection);
    std::lock_guard lock(m_jobMutex);
    --m_jobsInPool;
    m_jobDone.notify_one();
    if (m_spareJobs.size() < kSpareJobs)
        m_spareJobs.push_back(std::move(done));
}

bool ServerConnection::handleOpen(const ChunkInfo& info, const uint8_t* body, size_t size)
{
    OpenRequest request;
    uint32_t result = decodeOpenRequest(Bytes(body, body + size), request);
    auto mode = static_cast<SecurityMode>(request.securityMode);
    bool renew = request.requestType == static_cast<uint32_t>(TokenRequestType::Renew);
    if (!status::isBad(result))
    {
        if (request.requestType > 1 || renew != (m_openChannelId != 0))
            result = status::BadRequestTypeInvalid;
        else if (renew && mode != m_mode)
            result = status::BadSecurityModeRejected;
    }
    if (!status::isBad(result) && !renew)
    {
        auto policy = std::find_if(m_settings.policies.begin(), m_settings.policies.end(),
                                   [&](const PolicyConfig& p) { return p.uri == info.policyUri; });
        bool offered = policy != m_settings.policies.end() && (policy->modeMask & modeBit(mode)) != 0;
        result = offered ? m_security->setMode(mode) : status::BadSecurityModeRejected;
    }
    Bytes serverNonce;
    uint32_t tokenId = m_currentToken.id + 1;
    if (!status::isBad(result))
    {
        serverNonce = m_security->createNonce();
        result = m_security->activateToken(tokenId, request.clientNonce, serverNonce);
    }
    if (status::isBad(result))
    {
        if (!renew)
            m_server.handler().onChannelEvent(ChannelEvent::Opened, 0, result, info.senderCertificate,
                                              info.policyUri, mode);
        fail(result, "OpenSecureChannel refused");
        return false;
    }

    uint32_t lifetime =
        request.requestedLifetime == 0 ? m_settings.defaultTokenLifetimeMs : request.requestedLifetime;
    lifetime = std::clamp(lifetime, m_settings.minTokenLifetimeMs, m_settings.maxTokenLifetimeMs);
    if (renew)
    {
        if (m_previousToken)
        {
            // Renewed again before the client used the last renewal: that one is
            // dropped (nothing is sent with it), the token the client still uses stays.
            m_security->retireToken(m_currentToken.id);
        }
        else
        {
            m_previousToken = m_currentToken;
        }
    }
    else
    {
        m_openChannelId = nextSecureChannelId();
        m_clientCertificate = info.senderCertificate;
        m_stage = Stage::Open;
    }
    m_currentToken = Token{tokenId, Clock::now(), lifetime};

    OpenResponse response;
    response.header.requestHandle = request.header.requestHandle;
    response.channelId = m_openChannelId;
    response.tokenId = m_currentToken.id;
    response.createdAt = utcNowTicks();
    response.revisedLifetime = lifetime;
    response.serverNonce = serverNonce;
    Bytes responseBody = encodeOpenResponse(response);

    if (!renew)
    {
        std::lock_guard lock(m_sendMutex);
        m_channelId = m_openChannelId;
        m_sendTokenId = m_currentToken.id;
        m_policyUri = info.policyUri;
        m_mode = mode;
    }
    ChunkWriteParams params;
    params.type = MessageType::Open;
    params.channelId = m_openChannelId;
    params.policyUri = m_policyUri;
    params.senderCertificate = m_security->senderCertificate();
    params.receiverThumbprint = m_security->receiverThumbprint();
    params.requestId = info.requestId;
    params.chunkSize = m_limits.sendChunkSize;
    params.maxMessageSize = m_limits.sendMaxMessageSize;
    params.maxChunkCount = m_limits.sendMaxChunkCount;
    if (status::isBad(send(params, responseBody.data(), responseBody.size())))
        return false;
    m_server.handler().onChannelEvent(renew ? ChannelEvent::Renewed : ChannelEvent::Opened, m_openChannelId,
                                      status::Good, m_clientCertificate, m_policyUri, m_mode);
    return true;
}
} // namespace uatcp
