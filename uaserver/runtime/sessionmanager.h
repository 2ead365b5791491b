#ifndef UASERVER_RUNTIME_SESSIONMANAGER_H
#define UASERVER_RUNTIME_SESSIONMANAGER_H

#include <readmostlylock.h>
#include <uabytestring.h>
#include <uamutex.h>
#include <uanodeid.h>
#include <uastatus.h>
#include <uastring.h>
#include <uavariantarrays.h>

#include <opcua.h>

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

class NodeManager;
class ServerConfig;
class Session;
class UaUserIdentityToken;
class UaVariable;

// Owns the server's sessions: creates them within the configured limits, finds them by
// authentication token, binds them to secure channels at activation, closes them for
// CloseSession, expiry, lost channels and shut-down, and keeps the six session counters of the
// server diagnostics summary.
//
// Lock order: the manager's mutex before a session's. Calls into a session that may call back
// or lock elsewhere are made with the mutex released, and walks over the maps start again after
// them; createSession and closeSession hold the mutex throughout.
class SessionManager
{
public:
    // The counters of the diagnostics summary, in the order of their variables 2277, 2278, 2279,
    // 3705, 2281 and 2282.
    enum Counter
    {
        CurrentSessionCount,
        CumulatedSessionCount,
        SecurityRejectedSessionCount,
        RejectedSessionCount,
        SessionTimeoutCount,
        SessionAbortCount,
        CounterCount
    };

    // What a configured maximum of 0 stands for: a client must not be able to hold the server's
    // memory without a bound, so "no limit" is never taken literally.
    static constexpr OpcUa_UInt32 kMaxSessionCountCeiling = 100;
    static constexpr OpcUa_UInt32 kMaxSessionTimeoutCeiling = 3600000; // ms
    // Sessions never activated that one channel may hold: a channel that creates sessions and
    // never activates them takes no more of the table than this, nor the places of others.
    static constexpr OpcUa_UInt32 kMaxUnactivatedPerChannel = 5;
    // Bytes of an authentication token (a ByteString NodeId of random bytes).
    static constexpr OpcUa_Int32 kAuthenticationTokenLength = 32;

    SessionManager();
    virtual ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // rootNodeManager: where the counter variables are looked up and sessions are reported.
    UaStatus startUp(ServerConfig* serverConfig, NodeManager* rootNodeManager);
    // Closes every session (subscriptions deleted) and stops; counters stay.
    UaStatus shutDown();
    bool isStarted() const;

    // A new open session with its creation reference for the caller, which the manager's map
    // keeps too; the revised time-out in milliseconds. secureChannelId: the channel the
    // CreateSession came on (0 for a session made in process). A channel that holds
    // kMaxUnactivatedPerChannel sessions never activated first gives up the oldest of them; a full
    // table the oldest never activated session of the channel that holds the most.
    UaStatus createSession(const UaString& sessionName, const UaByteString& clientCertificate,
                           OpcUa_Double requestedSessionTimeout, OpcUa_Double& revisedSessionTimeout,
                           Session*& session, OpcUa_UInt32 secureChannelId = 0);
    // The session of a token with a reference added for the caller, who releases it; null for an
    // unknown token or one that is not a ByteString of the token namespace.
    Session* findSession(const UaNodeId& authenticationToken, bool refreshLastContact);
    UaStatus activateSession(const UaNodeId& authenticationToken, OpcUa_UInt32 secureChannelId,
                             UaUserIdentityToken* userIdentityToken, const UaStringArray& localeIds);
    UaStatus closeSession(const UaNodeId& authenticationToken, bool deleteSubscriptions);
    UaStatus closeAllUaSessions();

    // The stack's secure channel events; clientCertificate is the one the channel was opened with
    // (empty on a channel without security).
    void secureChannelCreated(OpcUa_UInt32 secureChannelId,
                              const UaByteString& clientCertificate = UaByteString());
    void secureChannelDeleted(OpcUa_UInt32 secureChannelId);
    // Takes the session off the channel's list (CloseSession does so for its channel).
    void detachSessionFromSecureChannel(OpcUa_UInt32 sessionId, OpcUa_UInt32 secureChannelId);
    // The certificate a known channel was opened with; false for an unknown channel.
    bool channelCertificate(OpcUa_UInt32 secureChannelId, UaByteString& clientCertificate) const;
    // Told, outside the manager's mutex, whether a channel carries an activated session each time
    // that may have changed: when a session is activated on it, and when its last one closes,
    // expires or moves away. Calls for one manager come one at a time, the last with the truth.
    void setChannelMarker(std::function<void(OpcUa_UInt32 secureChannelId, bool carriesSession)> marker);

    // The periodic check: closes expired sessions and those marked for removal.
    void checkSessionTimeouts();
    UaStatus purge()
    {
        checkSessionTimeouts();
        return OpcUa_Good;
    }

    OpcUa_UInt32 counter(Counter which) const { return m_counters[which].count.load(); }
    OpcUa_UInt32 sessionCount() const;
    OpcUa_UInt16 tokenNamespace() const { return m_tokenNamespace; }

    // Process-wide times of the periodic check; Session::hasExpired also waits a whole time-out
    // after the resume time, so that a check gap or a clock set back never expires everything.
    static OpcUa_Int64 resumeTime();

protected:
    virtual void afterSessionCreated(Session* /*session*/) {}
    virtual void afterSessionActivated(Session* /*session*/) {}
    virtual void afterSessionClosed(Session* /*session*/, bool /*deleteSubscriptions*/) {}
    // A random id from 1 to 0x7FFFFFFF. It is public (trace lines, diagnostics); the secret that
    // names a session in requests is its authentication token.
    virtual OpcUa_UInt32 getNextSessionId();

private:
    struct CounterSlot
    {
        UaVariable* variable = nullptr;
        std::atomic<OpcUa_UInt32> count{0};
    };

    struct Channel
    {
        // The sessions activated on the channel, each holding a reference.
        std::list<Session*> sessions;
        UaByteString clientCertificate;
    };

    // The token's bytes, as long as the token lives; empty for a token this manager never gives.
    std::string_view tokenKey(const UaNodeId& authenticationToken) const;
    Session* lookUpLocked(const UaNodeId& authenticationToken) const;
    // Takes the session out of the maps (the map's reference becomes the caller's).
    void eraseLocked(std::map<OpcUa_UInt32, Session*>::iterator it);
    // The sessions never activated (and not closed) of each creating channel.
    std::map<OpcUa_UInt32, OpcUa_UInt32> unactivatedPerChannelLocked() const;
    // Closes, of the sessions never activated of secureChannelId (without one: of the channel
    // holding the most), the one that waits longest for its activation; false when there is none.
    // Holds the mutex throughout, as createSession does.
    bool dropOldestUnactivatedLocked(std::optional<OpcUa_UInt32> secureChannelId = std::nullopt);
    // Takes session off every channel list, without the mutex held around the session calls;
    // the channels it was on are appended to channels.
    void detachFromChannels(Session* session, UaMutexLocker& lock, std::vector<OpcUa_UInt32>& channels);
    // The channels whose lists hold session.
    std::vector<OpcUa_UInt32> channelsOfLocked(Session* session) const;
    // Tells the marker what each channel carries now; called without the mutex.
    void markChannels(const std::vector<OpcUa_UInt32>& channels);
    void changeCounter(Counter which, OpcUa_Int32 delta);
    void writeCounter(Counter which);
    void traceObjectCounts();
    void releaseCounterVariables();
    UaStatus closeEverySession(bool countClosed);

    mutable UaMutex m_mutex;
    std::map<OpcUa_UInt32, Session*> m_sessions;
    // Token bytes to session id.
    std::map<std::string, OpcUa_UInt32, std::less<>> m_tokens;
    // Session id to the channel its CreateSession came on.
    std::map<OpcUa_UInt32, OpcUa_UInt32> m_creatingChannels;
    // Every request finds its session through the two maps above: findSession reads them under this
    // alone, shared, so that requests of different sessions neither queue on m_mutex nor all write
    // one lock word. They change under m_mutex and this, exclusive.
    mutable ReadMostlyLock m_lookupLock;
    std::map<OpcUa_UInt32, Channel> m_channels;
    // Serialises the marker's calls, so that the last one tells the present state.
    UaMutex m_markMutex;
    std::function<void(OpcUa_UInt32, bool)> m_channelMarker;
    bool m_isStarted = false;
    ServerConfig* m_pServerConfig = nullptr;
    NodeManager* m_pRootNodeManager = nullptr;
    OpcUa_UInt16 m_tokenNamespace = 0;
    CounterSlot m_counters[CounterCount];
    // Serialises the counter writes, so that the last write carries the latest count.
    UaMutex m_counterWriteMutex;
};

#endif
