#ifndef UASERVER_RUNTIME_SESSION_H
#define UASERVER_RUNTIME_SESSION_H

#include <referencecounter.h>

#include <uabytestring.h>
#include <uanodeid.h>
#include <uastatus.h>
#include <uastring.h>
#include <uavariantarrays.h>

#include <opcua.h>

#include <atomic>
#include <memory>

class BrowseContext;
class HistoryReadContinuationPoint;
class QueryContext;
class UaMutex;
class UaNode;
class UaUserIdentityToken;

// The server's record of one client session: its identity (numeric id, public session NodeId,
// authentication token), its state, its secure channel, its time-out and user, and the tables
// that park the continuation points of Browse, Query and HistoryRead between calls. While
// activated it keeps a diagnostics object in the address space. Reference counted: whoever keeps
// a session pointer holds a reference.
class Session : public ReferenceCounter
{
public:
    // Table sizes come from the running server's configuration (10, 10 and 100 without one).
    Session(OpcUa_UInt32 sessionId, const UaNodeId& authenticationToken);
    ~Session() override;

    // Stores name, certificate and time-out (milliseconds) and counts as contact.
    virtual UaStatus open(const UaString& sessionName, const UaByteString& clientCertificate,
                          OpcUa_UInt32 sessionTimeout);
    // Binds the session to secureChannelId and takes the user from the identity token (the
    // caller keeps the token). An expired session answers BadSessionIdInvalid.
    virtual UaStatus activate(OpcUa_UInt32 secureChannelId, UaUserIdentityToken* userIdentityToken,
                              const UaStringArray& localeIds);
    // BadInvalidState when closed before. The base ignores deleteSubscriptions.
    virtual UaStatus close(bool deleteSubscriptions);
    // True once the time-out, in whole seconds, has passed since the last contact and since the
    // session manager's resume time.
    virtual bool hasExpired();
    // A session must be activated this soon after its creation, whatever its time-out: one that
    // never is holds a slot of the session table for nobody.
    static constexpr OpcUa_UInt32 kActivationTimeLimit = 10000;
    // Never activated, and created kActivationTimeLimit milliseconds ago or longer.
    bool isActivationOverdue() const;
    // Milliseconds since the session was created (tick count).
    OpcUa_UInt32 age() const;
    // The check of every service request on the session.
    virtual UaStatus checkSessionValid(OpcUa_UInt32 secureChannelId);
    virtual void setInvalid();
    virtual bool isToBeRemoved();
    virtual bool isSecureChannelValid();
    virtual void invalidateSecureChannel();

    // The tables take a context over and fill continuationPoint (4 bytes, stack memory); a lookup
    // hands the context to the caller and uses the point up, or answers null.
    virtual UaStatus queueBrowseContext(BrowseContext* browseContext, OpcUa_ByteString& continuationPoint);
    virtual BrowseContext* getBrowseContext(const OpcUa_ByteString& continuationPoint);
    virtual OpcUa_UInt16 getMaxBrowseContinuationPoints();
    virtual UaStatus queueQueryContext(QueryContext* queryContext, OpcUa_ByteString& continuationPoint);
    virtual QueryContext* getQueryContext(const OpcUa_ByteString& continuationPoint);
    virtual UaStatus queueHistoryReadCP(HistoryReadContinuationPoint* historyReadCP,
                                        OpcUa_ByteString& continuationPoint);
    virtual HistoryReadContinuationPoint* getHistoryReadCP(const OpcUa_ByteString& continuationPoint);

    OpcUa_UInt32 sessionId() const;
    OpcUa_UInt32 getSessionId() const { return sessionId(); }
    UaNodeId sessionNodeId() const;
    UaNodeId authenticationToken() const;
    OpcUa_UInt32 secureChannelId() const;
    UaString sessionName() const;
    OpcUa_UInt32 sessionTimeout() const;
    UaByteString clientCertificate() const;
    UaString userName() const;
    // 0 none, 1 user name token, 2 certificate token.
    OpcUa_UInt32 identityType() const;
    // A copy of the locale ids given with the last activation.
    void localeIds(UaStringArray& localeIds) const;
    bool isActivated() const;
    // Whether the session has been activated at least once.
    bool wasActivated() const;
    bool isClosed() const;
    void updateLastContact();
    UaStatus checkValid(OpcUa_UInt32 secureChannelId) { return checkSessionValid(secureChannelId); }

    // Live sessions in the process.
    static OpcUa_Int32 instanceCount();
    // The counter itself, for the readers that show it live.
    static std::atomic<OpcUa_Int32>* instanceCounter();

protected:
    // Hooks for derived classes, called without the session's mutex.
    virtual void afterOpen() {}
    virtual void afterActivate() {}
    virtual void afterSetInvalid() {}
    virtual void afterClose() {}

    // The part of close shared with derived closes: clears activated, sets closed and takes the
    // diagnostics object out of the address space. False when the session was closed before.
    bool markClosed();
    // The session's mutex, which guards the fields of derived classes too.
    UaMutex* sessionMutex() const;

private:
    struct Private;

    void addDiagnosticsObject();
    // Ends the life of the diagnostics object already taken out of the record.
    static void removeDiagnosticsObject(UaNode* object);

    std::unique_ptr<Private> d;
};

#endif
