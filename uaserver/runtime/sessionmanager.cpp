#include "sessionmanager.h"

#include "securerandom.h"
#include "session.h"

#include <nodemanager.h>
#include <serverconfig.h>
#include <uanode.h>
#include <uanodeinterfaces.h>

#include <uadatavalue.h>
#include <uadatetime.h>
#include <uatrace.h>
#include <uavariant.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{
std::atomic<OpcUa_Int64> g_lastCheckTime{0};
std::atomic<OpcUa_Int64> g_resumeTime{0};
std::atomic<OpcUa_UInt32> g_objectCountTick{0};

const OpcUa_UInt32 kCounterNodeIds[SessionManager::CounterCount] = {2277, 2278, 2279, 3705, 2281, 2282};
constexpr OpcUa_UInt32 kLowestMinimumTimeout = 5000;
constexpr int kExtraIdTries = 10000;

OpcUa_Int64 nowTicks()
{
    return UaDateTime::now().toInt64();
}

// The revised time-out in milliseconds. The maximum is applied after 0 has become "no limit", so
// that no request escapes it (an abandoned session would hold its slot for ever); NaN and
// negative requests count as 0.
OpcUa_UInt32 reviseTimeout(OpcUa_Double requested, OpcUa_UInt32 minimum, OpcUa_UInt32 maximum)
{
    if (std::isnan(requested) || requested < 0)
        requested = 0;
    OpcUa_UInt32 revised = requested > 4294967295.0
                               ? 0xFFFFFFFFu
                               : static_cast<OpcUa_UInt32>(static_cast<OpcUa_Int64>(requested) & 0xFFFFFFFF);
    if (revised == 0)
        revised = 0xFFFFFFFFu;
    if (maximum > 0 && revised > maximum)
        revised = maximum;
    if (revised < minimum)
        revised = minimum;
    return revised;
}

void traceError(const UaStatus& status, const char* text)
{
    if (UaTrace::isTraceLevelOn(1))
        UaTrace::traceLevel1("%s [ret=0x%lx]", text, static_cast<unsigned long>(status.statusCode()));
}
} // namespace

SessionManager::SessionManager()
{
    // A new manager starts the process-wide times afresh, so that two start/stop cycles in one
    // process behave alike.
    g_lastCheckTime = nowTicks();
    g_resumeTime = 0;
    g_objectCountTick = 0;
}

SessionManager::~SessionManager()
{
    if (isStarted())
        shutDown();
    // Closed sessions stay listed on their channel until detached or the channel goes: let go of
    // what the channels still hold.
    std::map<OpcUa_UInt32, Channel> channels;
    {
        UaMutexLocker lock(&m_mutex);
        channels.swap(m_channels);
    }
    for (auto& [channelId, channel] : channels)
        for (Session* session : channel.sessions)
            session->releaseReference();
    releaseCounterVariables();
}

OpcUa_Int64 SessionManager::resumeTime()
{
    return g_resumeTime.load();
}

bool SessionManager::isStarted() const
{
    UaMutexLocker lock(&m_mutex);
    return m_isStarted;
}

OpcUa_UInt32 SessionManager::sessionCount() const
{
    UaMutexLocker lock(&m_mutex);
    return static_cast<OpcUa_UInt32>(m_sessions.size());
}

UaStatus SessionManager::startUp(ServerConfig* serverConfig, NodeManager* rootNodeManager)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> SessionManager::startUp");
    UaStatus result;
    {
        UaMutexLocker lock(&m_mutex);
        if (m_isStarted)
        {
            result.setStatus(OpcUa_BadInternalError,
                             UaString("SessionManager::startUp - SessionManager already started"));
            traceError(result, "SessionManager::startUp - SessionManager already started");
            return result;
        }
        if (serverConfig == nullptr)
        {
            result.setStatus(OpcUa_BadInvalidArgument,
                             UaString("SessionManager::startUp - ServerConfig is not valid"));
            traceError(result, "SessionManager::startUp - ServerConfig is not valid");
            return result;
        }
        m_pServerConfig = serverConfig;
        m_pRootNodeManager = rootNodeManager;
        m_isStarted = true;
    }
    releaseCounterVariables();
    for (int i = 0; i < CounterCount; ++i)
    {
        UaNode* node =
            rootNodeManager != nullptr ? rootNodeManager->getNode(UaNodeId(kCounterNodeIds[i], 0)) : nullptr;
        UaVariable* variable = node != nullptr && node->nodeClass() == OpcUa_NodeClass_Variable
                                   ? dynamic_cast<UaVariable*>(node)
                                   : nullptr;
        if (variable == nullptr)
        {
            // The server object that makes these variables may come later: count all the same,
            // write nowhere.
            if (node != nullptr)
                node->releaseReference();
            if (UaTrace::isTraceLevelOn(2))
                UaTrace::traceLevel2("SessionManager::startUp - diagnostic node i=%u not found",
                                     static_cast<unsigned>(kCounterNodeIds[i]));
            continue;
        }
        UaMutexLocker lock(&m_counterWriteMutex);
        m_counters[i].variable = variable;
    }
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- SessionManager::startUp [ret=0x%lx]",
                             static_cast<unsigned long>(OpcUa_Good));
    return result;
}

UaStatus SessionManager::shutDown()
{
    return closeEverySession(false);
}

UaStatus SessionManager::closeAllUaSessions()
{
    return closeEverySession(true);
}

UaStatus SessionManager::closeEverySession(bool countClosed)
{
    const char* name = countClosed ? "closeAllUaSessions" : "shutDown";
    UaMutexLocker lock(&m_mutex);
    if (!m_isStarted)
    {
        UaStatus result;
        const UaString text =
            UaString("SessionManager::") + UaString(name) + UaString(" - SessionManager not started");
        result.setStatus(OpcUa_BadInternalError, text);
        traceError(result, text.toUtf8());
        return result;
    }
    if (!countClosed)
        m_isStarted = false;
    std::vector<OpcUa_UInt32> channels;
    while (!m_sessions.empty())
    {
        Session* session = m_sessions.begin()->second;
        eraseLocked(m_sessions.begin());
        lock.unlock();
        session->close(true);
        lock.lock(&m_mutex);
        detachFromChannels(session, lock, channels);
        lock.unlock();
        session->releaseReference();
        if (countClosed)
            changeCounter(CurrentSessionCount, -1);
        lock.lock(&m_mutex);
    }
    lock.unlock();
    markChannels(channels);
    return OpcUa_Good;
}

OpcUa_UInt32 SessionManager::getNextSessionId()
{
    OpcUa_UInt32 id = 0;
    while (id == 0)
    {
        if (!fillSecureRandom(&id, sizeof id))
            id = std::random_device{}();
        id &= 0x7FFFFFFFu;
    }
    return id;
}

UaStatus SessionManager::createSession(const UaString& sessionName, const UaByteString& clientCertificate,
                                       OpcUa_Double requestedSessionTimeout,
                                       OpcUa_Double& revisedSessionTimeout, Session*& session,
                                       OpcUa_UInt32 secureChannelId)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> SessionManager::openSession");
    session = nullptr;
    UaStatus result;
    bool dropped = false;
    {
        UaMutexLocker lock(&m_mutex);
        do
        {
            if (!m_isStarted)
            {
                result.setStatus(OpcUa_BadInternalError,
                                 UaString("SessionManager::openSession - SessionManager not started"));
                traceError(result, "SessionManager::openSession - SessionManager not started");
                break;
            }
            OpcUa_UInt32 maxSessionCount = 0;
            OpcUa_UInt32 minTimeout = 0;
            OpcUa_UInt32 maxTimeout = 0;
            result = m_pServerConfig->getSessionSettings(maxSessionCount, minTimeout, maxTimeout);
            if (result.isNotGood())
            {
                if (UaTrace::isTraceLevelOn(1))
                    UaTrace::traceLevel1(
                        "<-- SessionManager::createSession [ret=0x%lx] - getSessionSettings failed",
                        static_cast<unsigned long>(result.statusCode()));
                break;
            }
            minTimeout = std::max(minTimeout, kLowestMinimumTimeout);
            if (maxSessionCount == 0)
                maxSessionCount = kMaxSessionCountCeiling;
            if (maxTimeout == 0)
                maxTimeout = kMaxSessionTimeoutCeiling;
            // A channel past its share of sessions never activated makes room among its own: one that
            // floods CreateSession takes no more of the table, nor the places of others.
            if (secureChannelId != 0 &&
                unactivatedPerChannelLocked()[secureChannelId] >= kMaxUnactivatedPerChannel)
                dropped = dropOldestUnactivatedLocked(secureChannelId);
            // Sessions nobody activates must not keep the clients that would out of a full table.
            if (!dropped && m_sessions.size() >= maxSessionCount)
                dropped = dropOldestUnactivatedLocked();
            if (m_sessions.size() >= maxSessionCount)
            {
                result = OpcUa_BadTooManySessions;
                break;
            }
            const OpcUa_UInt32 revised = reviseTimeout(requestedSessionTimeout, minTimeout, maxTimeout);

            OpcUa_UInt32 sessionId = getNextSessionId();
            for (int extra = 0; m_sessions.count(sessionId) != 0 && extra <= kExtraIdTries; ++extra)
                sessionId = getNextSessionId();
            if (m_sessions.count(sessionId) != 0)
            {
                result = OpcUa_BadTooManySessions;
                if (UaTrace::isTraceLevelOn(1))
                    UaTrace::traceLevel1("<-- SessionManager::createSession [ret=OpcUa_BadTooManySessions] - "
                                         "Can not find empty slot");
                break;
            }
            // The token is the session's secret: requests name their session by it, so it is random
            // and long enough that no client finds another's by trying.
            const UaByteString secret = secureRandomBytes(kAuthenticationTokenLength);
            if (secret.length() != kAuthenticationTokenLength)
            {
                result = OpcUa_BadInternalError;
                break;
            }
            UaNodeId token;
            token.setNodeId(secret, m_tokenNamespace);
            const std::string_view key = tokenKey(token);
            if (m_tokens.count(key) != 0)
            {
                result = OpcUa_BadInternalError;
                break;
            }

            Session* created = m_pServerConfig->createSession(static_cast<OpcUa_Int32>(sessionId), token);
            if (created == nullptr)
            {
                result = OpcUa_BadOutOfMemory;
                break;
            }
            result = created->open(sessionName, clientCertificate, revised);
            if (result.isNotGood())
            {
                created->releaseReference();
                break;
            }
            // The caller keeps the creation reference, the map one of its own.
            created->addReference();
            {
                std::unique_lock lookups(m_lookupLock);
                m_sessions[sessionId] = created;
                m_tokens.emplace(std::string(key), sessionId);
            }
            m_creatingChannels[sessionId] = secureChannelId;
            session = created;
            if (m_pRootNodeManager != nullptr)
                m_pRootNodeManager->sessionOpened(created);
            afterSessionCreated(created);
            revisedSessionTimeout = revised;
        } while (false);
    }
    if (dropped)
    {
        changeCounter(CurrentSessionCount, -1);
        changeCounter(SessionAbortCount, 1);
    }
    if (result.isGood())
    {
        changeCounter(CurrentSessionCount, 1);
        changeCounter(CumulatedSessionCount, 1);
    }
    else
        changeCounter(RejectedSessionCount, 1);
    return result;
}

std::map<OpcUa_UInt32, OpcUa_UInt32> SessionManager::unactivatedPerChannelLocked() const
{
    std::map<OpcUa_UInt32, OpcUa_UInt32> counts;
    for (const auto& [sessionId, session] : m_sessions)
        if (!session->wasActivated() && !session->isClosed())
            ++counts[m_creatingChannels.at(sessionId)];
    return counts;
}

bool SessionManager::dropOldestUnactivatedLocked(std::optional<OpcUa_UInt32> secureChannelId)
{
    // Without a channel, taken from the one that holds the most: a flood of CreateSession on a few
    // channels gives up its own sessions, not those of a client about to activate.
    const std::map<OpcUa_UInt32, OpcUa_UInt32> counts = unactivatedPerChannelLocked();
    auto oldest = m_sessions.end();
    OpcUa_UInt32 oldestCount = 0;
    OpcUa_UInt32 oldestAge = 0;
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
    {
        Session* candidate = it->second;
        const OpcUa_UInt32 channel = m_creatingChannels.at(it->first);
        if (candidate->wasActivated() || candidate->isClosed() || (secureChannelId && channel != *secureChannelId))
            continue;
        const OpcUa_UInt32 count = counts.at(channel);
        const OpcUa_UInt32 age = candidate->age();
        if (oldest == m_sessions.end() || count > oldestCount || (count == oldestCount && age > oldestAge))
        {
            oldest = it;
            oldestCount = count;
            oldestAge = age;
        }
    }
    if (oldest == m_sessions.end())
        return false;
    Session* session = oldest->second;
    if (UaTrace::isTraceLevelOn(2))
        UaTrace::traceLevel2("SessionManager::createSession - %s: session [ID=%d], never activated, is "
                             "closed after %u ms",
                             secureChannelId ? "the channel holds its share" : "the session table is full",
                             static_cast<int>(session->sessionId()), static_cast<unsigned>(oldestAge));
    eraseLocked(oldest);
    // Never activated, so on no channel's list; closed as CloseSession would, the mutex held.
    session->close(true);
    if (m_pRootNodeManager != nullptr)
        m_pRootNodeManager->sessionClosed(session);
    afterSessionClosed(session, true);
    session->releaseReference();
    return true;
}

std::string_view SessionManager::tokenKey(const UaNodeId& authenticationToken) const
{
    const OpcUa_NodeId* raw = authenticationToken.toOpcUaNodeId();
    if (raw->IdentifierType != OpcUa_IdentifierType_Opaque || raw->NamespaceIndex != m_tokenNamespace ||
        raw->Identifier.ByteString.Length != kAuthenticationTokenLength ||
        raw->Identifier.ByteString.Data == nullptr)
        return std::string_view();
    return std::string_view(reinterpret_cast<const char*>(raw->Identifier.ByteString.Data),
                            static_cast<std::size_t>(raw->Identifier.ByteString.Length));
}

void SessionManager::eraseLocked(std::map<OpcUa_UInt32, Session*>::iterator it)
{
    std::unique_lock lookups(m_lookupLock);
    auto token = m_tokens.find(tokenKey(it->second->authenticationToken()));
    if (token != m_tokens.end())
        m_tokens.erase(token);
    m_creatingChannels.erase(it->first);
    m_sessions.erase(it);
}

Session* SessionManager::lookUpLocked(const UaNodeId& authenticationToken) const
{
    const std::string_view key = tokenKey(authenticationToken);
    if (key.empty())
        return nullptr;
    auto token = m_tokens.find(key);
    if (token == m_tokens.end())
        return nullptr;
    auto it = m_sessions.find(token->second);
    return it != m_sessions.end() ? it->second : nullptr;
}

Session* SessionManager::findSession(const UaNodeId& authenticationToken, bool refreshLastContact)
{
    Session* session = nullptr;
    {
        std::shared_lock lookups(m_lookupLock);
        session = lookUpLocked(authenticationToken);
        if (session == nullptr)
            return nullptr;
        // The caller's reference is taken here, under the lock: a purge or CloseSession takes the
        // session out of the maps before it gives up the maps' reference, which may free it.
        session->addReference();
    }
    if (refreshLastContact)
        session->updateLastContact();
    return session;
}

UaStatus SessionManager::activateSession(const UaNodeId& authenticationToken, OpcUa_UInt32 secureChannelId,
                                         UaUserIdentityToken* userIdentityToken,
                                         const UaStringArray& localeIds)
{
    Session* session;
    {
        UaMutexLocker lock(&m_mutex);
        session = lookUpLocked(authenticationToken);
        if (session == nullptr)
        {
            if (UaTrace::isTraceLevelOn(1))
                UaTrace::traceLevel1("Error: SessionManager::activateSession - can not find session "
                                     "[OpcUa_BadSessionIdInvalid]");
            return OpcUa_BadSessionIdInvalid;
        }
        if (m_channels.count(secureChannelId) == 0)
            return OpcUa_BadSecureChannelIdInvalid;
        session->addReference();
    }
    // Too late for a first activation: no logon is tried, the periodic check closes it.
    if (session->isActivationOverdue())
    {
        session->releaseReference();
        return OpcUa_BadSessionIdInvalid;
    }

    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("CALL ServerConfig::logonSessionUser");
    UaStatus result = m_pServerConfig->logonSessionUser(session, userIdentityToken);
    if (UaTrace::isTraceLevelOn(4))
        UaTrace::traceLevel4("DONE ServerConfig::logonSessionUser [ret=0x%lx]",
                             static_cast<unsigned long>(result.statusCode()));
    if (result.isNotBad())
    {
        result = session->activate(secureChannelId, userIdentityToken, localeIds);
        if (result.isNotBad())
        {
            // Listed on its new channel only now, after a good logon, and taken off the old one,
            // so that closing the old channel leaves the live session alone.
            std::vector<Session*> released;
            std::vector<OpcUa_UInt32> changed;
            bool channelGone;
            {
                UaMutexLocker lock(&m_mutex);
                for (auto& [channelId, channel] : m_channels)
                {
                    if (channelId == secureChannelId)
                        continue;
                    for (auto it = channel.sessions.begin(); it != channel.sessions.end();)
                    {
                        if (*it == session)
                        {
                            released.push_back(session);
                            changed.push_back(channelId);
                            it = channel.sessions.erase(it);
                        }
                        else
                            ++it;
                    }
                }
                auto channel = m_channels.find(secureChannelId);
                channelGone = channel == m_channels.end();
                if (!channelGone &&
                    std::find(channel->second.sessions.begin(), channel->second.sessions.end(), session) ==
                        channel->second.sessions.end())
                {
                    session->addReference();
                    channel->second.sessions.push_back(session);
                }
            }
            for (Session* old : released)
                old->releaseReference();
            // The channel closed while the logon ran: nothing can be answered on it.
            if (channelGone)
                session->invalidateSecureChannel();
            else
                changed.push_back(secureChannelId);
            markChannels(changed);
            if (m_pRootNodeManager != nullptr)
                m_pRootNodeManager->sessionActivated(session);
            afterSessionActivated(session);
        }
    }
    session->releaseReference();
    return result;
}

UaStatus SessionManager::closeSession(const UaNodeId& authenticationToken, bool deleteSubscriptions)
{
    if (tokenKey(authenticationToken).empty())
    {
        if (UaTrace::isTraceLevelOn(1))
            UaTrace::traceLevel1("Error: SessionManager::closeSession - authenticationToken invalid "
                                 "[OpcUa_BadSessionIdInvalid]");
        return OpcUa_BadSessionIdInvalid;
    }
    UaStatus result;
    std::vector<OpcUa_UInt32> channels;
    {
        UaMutexLocker lock(&m_mutex);
        Session* session = lookUpLocked(authenticationToken);
        if (session == nullptr)
            return OpcUa_BadSessionIdInvalid;
        result = session->close(deleteSubscriptions);
        if (m_pRootNodeManager != nullptr)
            m_pRootNodeManager->sessionClosed(session);
        afterSessionClosed(session, deleteSubscriptions);
        eraseLocked(m_sessions.find(session->sessionId()));
        channels = channelsOfLocked(session);
        session->releaseReference();
    }
    changeCounter(CurrentSessionCount, -1);
    // Still listed until detached, but closed: the channel no longer carries it.
    markChannels(channels);
    return result;
}

void SessionManager::secureChannelCreated(OpcUa_UInt32 secureChannelId, const UaByteString& clientCertificate)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> SessionManager::secureChannelCreated SecureChannelId = %d",
                             static_cast<int>(secureChannelId));
    std::list<Session*> previous;
    {
        UaMutexLocker lock(&m_mutex);
        Channel& channel = m_channels[secureChannelId];
        previous.swap(channel.sessions);
        channel.clientCertificate = clientCertificate;
    }
    for (Session* session : previous)
        session->releaseReference();
}

void SessionManager::secureChannelDeleted(OpcUa_UInt32 secureChannelId)
{
    std::list<Session*> sessions;
    {
        UaMutexLocker lock(&m_mutex);
        auto it = m_channels.find(secureChannelId);
        if (it == m_channels.end())
        {
            if (UaTrace::isTraceLevelOn(6))
                UaTrace::traceLevel6(
                    "<-- SessionManager::secureChannelDeleted - did not find the SecureChannelId");
            return;
        }
        sessions.swap(it->second.sessions);
        m_channels.erase(it);
    }
    for (Session* session : sessions)
    {
        // A session that moved on to another channel keeps its requests and answers.
        if (session->secureChannelId() == secureChannelId)
            session->invalidateSecureChannel();
        session->releaseReference();
    }
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6(
            "<-- SessionManager::secureChannelDeleted - SecureChannel invalidated in Sessions");
}

void SessionManager::detachSessionFromSecureChannel(OpcUa_UInt32 sessionId, OpcUa_UInt32 secureChannelId)
{
    Session* session = nullptr;
    {
        UaMutexLocker lock(&m_mutex);
        auto channel = m_channels.find(secureChannelId);
        if (channel == m_channels.end())
        {
            if (UaTrace::isTraceLevelOn(6))
                UaTrace::traceLevel6(
                    "<-- SessionManager::detachSessionFromSecureChannel - did not find the SecureChannelId");
            return;
        }
        auto& sessions = channel->second.sessions;
        auto it = std::find_if(sessions.begin(), sessions.end(),
                               [&](Session* s) { return s->sessionId() == sessionId; });
        if (it == sessions.end())
        {
            if (UaTrace::isTraceLevelOn(6))
                UaTrace::traceLevel6(
                    "<-- SessionManager::detachSessionFromSecureChannel - Session is not set");
            return;
        }
        session = *it;
        sessions.erase(it);
    }
    // The channel lives on: requests of the session still in progress are answered on it.
    session->releaseReference();
    markChannels({secureChannelId});
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- SessionManager::detachSessionFromSecureChannel - Session released");
}

bool SessionManager::channelCertificate(OpcUa_UInt32 secureChannelId, UaByteString& clientCertificate) const
{
    UaMutexLocker lock(&m_mutex);
    auto channel = m_channels.find(secureChannelId);
    if (channel == m_channels.end())
        return false;
    clientCertificate = channel->second.clientCertificate;
    return true;
}

void SessionManager::setChannelMarker(std::function<void(OpcUa_UInt32, bool)> marker)
{
    UaMutexLocker lock(&m_markMutex);
    m_channelMarker = std::move(marker);
}

std::vector<OpcUa_UInt32> SessionManager::channelsOfLocked(Session* session) const
{
    std::vector<OpcUa_UInt32> channels;
    for (const auto& [channelId, channel] : m_channels)
        if (std::find(channel.sessions.begin(), channel.sessions.end(), session) != channel.sessions.end())
            channels.push_back(channelId);
    return channels;
}

void SessionManager::markChannels(const std::vector<OpcUa_UInt32>& channels)
{
    if (channels.empty())
        return;
    UaMutexLocker markLock(&m_markMutex);
    if (!m_channelMarker)
        return;
    for (OpcUa_UInt32 channelId : channels)
    {
        bool carriesSession = false;
        {
            UaMutexLocker lock(&m_mutex);
            auto channel = m_channels.find(channelId);
            if (channel == m_channels.end())
                continue; // gone with its connection
            for (Session* session : channel->second.sessions)
                carriesSession = carriesSession || session->isActivated();
        }
        m_channelMarker(channelId, carriesSession);
    }
}

void SessionManager::detachFromChannels(Session* session, UaMutexLocker& lock,
                                        std::vector<OpcUa_UInt32>& channels)
{
    int entries = 0;
    for (auto& [channelId, channel] : m_channels)
    {
        const auto before = channel.sessions.size();
        channel.sessions.remove(session);
        if (channel.sessions.size() != before)
            channels.push_back(channelId);
        entries += static_cast<int>(before - channel.sessions.size());
    }
    if (entries == 0)
        return;
    // The channels live on: requests of the session still in progress are answered on them.
    lock.unlock();
    for (int i = 0; i < entries; ++i)
        session->releaseReference();
    lock.lock(&m_mutex);
}

void SessionManager::checkSessionTimeouts()
{
    int removed = 0;
    std::vector<OpcUa_UInt32> channels;
    {
        UaMutexLocker lock(&m_mutex);
        const OpcUa_Int64 now = nowTicks();
        const OpcUa_Int64 sinceLastCheck = (now - g_lastCheckTime.load()) / 10000000;
        if (sinceLastCheck < 0 || sinceLastCheck > 100)
            g_resumeTime = now;
        g_lastCheckTime = now;

        bool walkAgain = true;
        while (walkAgain)
        {
            walkAgain = false;
            for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
            {
                Session* session = it->second;
                if (!session->isToBeRemoved())
                    continue;
                eraseLocked(it);
                ++removed;
                m_counters[CurrentSessionCount].count -= 1;
                m_counters[SessionTimeoutCount].count += 1;
                lock.unlock();
                session->close(false);
                if (m_pRootNodeManager != nullptr)
                    m_pRootNodeManager->sessionClosed(session);
                lock.lock(&m_mutex);
                detachFromChannels(session, lock, channels);
                lock.unlock();
                session->releaseReference();
                lock.lock(&m_mutex);
                walkAgain = true; // the map may have changed meanwhile
                break;
            }
        }
    }
    if (removed > 0)
    {
        writeCounter(CurrentSessionCount);
        writeCounter(SessionTimeoutCount);
    }
    markChannels(channels);
    traceObjectCounts();
}

void SessionManager::traceObjectCounts()
{
    const OpcUa_UInt32 tick = g_objectCountTick.load();
    if (tick != 0 && tick != 60)
    {
        g_objectCountTick = tick + 1;
        return;
    }
    g_objectCountTick = 1;
    if (!UaTrace::isTraceLevelOn(6))
        return;
    UaTrace::traceLevel6("Object Counts:        Session        = %5d",
                         static_cast<int>(Session::instanceCount()));
    UaTrace::traceLevel6("UaNode       = %5d  UaObject       = %5d   UaVariable      = %5d ",
                         static_cast<int>(UaNodeCounters::uaNode), static_cast<int>(UaNodeCounters::uaObject),
                         static_cast<int>(UaNodeCounters::uaVariable));
    UaTrace::traceLevel6("UaMethod     = %5d  UaView         = %5d   UaReferenceType = %5d ",
                         static_cast<int>(UaNodeCounters::uaMethod), static_cast<int>(UaNodeCounters::uaView),
                         static_cast<int>(UaNodeCounters::uaReferenceType));
    UaTrace::traceLevel6("UaObjectType = %5d  UaVariableType = %5d   UaDataType      = %5d ",
                         static_cast<int>(UaNodeCounters::uaObjectType),
                         static_cast<int>(UaNodeCounters::uaVariableType),
                         static_cast<int>(UaNodeCounters::uaDataType));
}

void SessionManager::changeCounter(Counter which, OpcUa_Int32 delta)
{
    m_counters[which].count += static_cast<OpcUa_UInt32>(delta);
    writeCounter(which);
}

void SessionManager::writeCounter(Counter which)
{
    UaMutexLocker lock(&m_counterWriteMutex);
    UaVariable* variable = m_counters[which].variable;
    if (variable == nullptr)
        return;
    UaVariant value;
    value.setUInt32(m_counters[which].count.load());
    UaDataValue dataValue;
    dataValue.setValue(value, true, true);
    variable->setValue(nullptr, dataValue, false);
}

void SessionManager::releaseCounterVariables()
{
    UaMutexLocker lock(&m_counterWriteMutex);
    for (CounterSlot& slot : m_counters)
    {
        if (slot.variable != nullptr)
            slot.variable->releaseReference();
        slot.variable = nullptr;
    }
}
