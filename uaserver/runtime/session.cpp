#include "session.h"

#include "continuationpointtable.h"
#include "sessionmanager.h"
#include "uauseridentitytoken.h"

#include <browsecontext.h>
#include <historyreadcontinuationpoint.h>
#include <nodemanager.h>
#include <nodemanagerlist.h>
#include <querycontext.h>
#include <serverconfig.h>
#include <servermanagerlink.h>
#include <uanode.h>
#include <uaplainnodes.h>

#include <uadatetime.h>
#include <uaguid.h>
#include <uamutex.h>
#include <uapkicertificate.h>
#include <uatrace.h>

#include <atomic>

namespace
{
std::atomic<OpcUa_Int32> g_instanceCount{0};

constexpr OpcUa_UInt32 kSessionDiagnosticsObjectType = 2029;
constexpr OpcUa_UInt32 kSessionsDiagnosticsSummary = 3706;
constexpr OpcUa_UInt32 kHasComponent = 47;
constexpr OpcUa_UInt16 kDefaultBrowseContinuationPoints = 10;
constexpr OpcUa_UInt16 kDefaultHistoryContinuationPoints = 100;

// The configuration view of the node manager that serves the namespace of nodeId, where reads and
// browses of the node are sent; namespace 0's while that namespace has none. Null while no server
// manager runs.
NodeManagerConfig* addressSpaceOf(const UaNodeId& nodeId)
{
    ServerManagerLink* serverManager = ServerManagerLink::running();
    NodeManager* root = serverManager != nullptr ? serverManager->getNodeManagerRoot() : nullptr;
    if (root == nullptr)
        return nullptr;
    auto* list = dynamic_cast<NodeManagerList*>(root);
    NodeManager* owner = list != nullptr ? list->getNodeManagerByNamespace(nodeId.namespaceIndex()) : nullptr;
    return (owner != nullptr ? owner : root)->getNodeManagerConfig();
}

// Adds the diagnostics object below SessionsDiagnosticsSummary. An object kept by the node manager
// of its own namespace hangs below the summary of namespace 0 by the summary's node.
UaStatus addToSummary(NodeManagerConfig* addressSpace, UaNode* object)
{
    ServerManagerLink* serverManager = ServerManagerLink::running();
    NodeManager* root = serverManager != nullptr ? serverManager->getNodeManagerRoot() : nullptr;
    if (root == nullptr || addressSpace == root->getNodeManagerConfig())
        return addressSpace->addNodeAndReference(UaNodeId(kSessionsDiagnosticsSummary, 0),
                                                 object->getUaReferenceLists(), UaNodeId(kHasComponent, 0));
    UaNode* summary = root->getNode(UaNodeId(kSessionsDiagnosticsSummary, 0));
    if (summary == nullptr)
        return OpcUa_BadNodeIdUnknown;
    const UaStatus status =
        summary->getUaReferenceLists() != nullptr
            ? addressSpace->addNodeAndReference(summary->getUaReferenceLists(), object->getUaReferenceLists(),
                                                UaNodeId(kHasComponent, 0))
            : UaStatus(OpcUa_BadNodeIdUnknown);
    summary->releaseReference();
    return status;
}

// Whole seconds from then to now (negative when then lies ahead).
OpcUa_Int64 secondsSince(OpcUa_Int64 then, OpcUa_Int64 now)
{
    return (now - then) / 10000000;
}

void copyStrings(const UaStringArray& source, UaStringArray& target)
{
    target.create(source.length());
    for (OpcUa_UInt32 i = 0; i < source.length(); ++i)
        OpcUa_String_CopyTo(&source[i], &target[i]);
}
} // namespace

struct Session::Private
{
    Private(OpcUa_UInt16 browseSize, OpcUa_UInt16 historySize)
        : browseTable(browseSize), queryTable(browseSize), historyTable(historySize)
    {
    }

    mutable UaMutex mutex;
    OpcUa_UInt32 sessionId = 0;
    UaNodeId authenticationToken;
    UaNodeId sessionNodeId;
    UaNode* diagnosticsObject = nullptr;
    bool addingDiagnosticsObject = false;
    OpcUa_UInt32 secureChannelId = 0;
    OpcUa_Int64 lastContact = 0;
    // The tick count at creation: the activation time limit runs on it, not on the date-time.
    OpcUa_UInt32 createdTick = 0;
    UaString sessionName;
    UaByteString clientCertificate;
    OpcUa_UInt32 sessionTimeout = 60000;
    UaStringArray localeIds;
    bool activated = false;
    bool wasActivated = false;
    bool closed = false;
    bool markedForRemoval = false;
    ContinuationPointTable<BrowseContext, OpcUa_Byte> browseTable;
    ContinuationPointTable<QueryContext, OpcUa_Byte> queryTable;
    ContinuationPointTable<HistoryReadContinuationPoint, OpcUa_UInt16> historyTable;
    bool secureChannelValid = true;
    UaString userName;
    OpcUa_UInt32 identityType = 0;
};

Session::Session(OpcUa_UInt32 sessionId, const UaNodeId& authenticationToken)
{
    ServerManagerLink* serverManager = ServerManagerLink::running();
    ServerConfig* config = serverManager != nullptr ? serverManager->getServerConfig() : nullptr;
    OpcUa_UInt16 browseSize = kDefaultBrowseContinuationPoints;
    OpcUa_UInt16 historySize = kDefaultHistoryContinuationPoints;
    if (config != nullptr)
    {
        browseSize = ContinuationPointTable<BrowseContext, OpcUa_Byte>::sizeFor(
            config->getMaxBrowseContinuationPoints(), kDefaultBrowseContinuationPoints);
        historySize = ContinuationPointTable<BrowseContext, OpcUa_Byte>::sizeFor(
            config->getMaxHistoryContinuationPoints(), kDefaultHistoryContinuationPoints);
    }
    d = std::make_unique<Private>(browseSize, historySize);
    d->sessionId = sessionId;
    d->authenticationToken = authenticationToken;
    UaGuid guid;
    guid.create();
    d->sessionNodeId.setNodeId(guid, 1);
    d->lastContact = UaDateTime::now().toInt64();
    d->createdTick = OpcUa_GetTickCount();
    const OpcUa_Int32 count = ++g_instanceCount;
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("Ctor Session [ID=%d]", static_cast<int>(sessionId));
    if (UaTrace::isTraceLevelOn(3))
        UaTrace::traceLevel3("Session [ID=%d] created. Current instances count = %d",
                             static_cast<int>(sessionId), count);
}

Session::~Session()
{
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("--> Dtor Session [ID=%d]", static_cast<int>(d->sessionId));
    // A derived class has closed itself in its own destructor; this closes a plain session.
    if (!isClosed())
        Session::close(false);
    const OpcUa_UInt32 sessionId = d->sessionId;
    d.reset();
    const OpcUa_Int32 count = --g_instanceCount;
    if (UaTrace::isTraceLevelOn(5))
        UaTrace::traceLevel5("<-- Dtor Session");
    if (UaTrace::isTraceLevelOn(3))
        UaTrace::traceLevel3("Session [ID=%d] deleted. Remaining instances count = %d",
                             static_cast<int>(sessionId), count);
}

UaStatus Session::open(const UaString& sessionName, const UaByteString& clientCertificate,
                       OpcUa_UInt32 sessionTimeout)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> Session::open [ID=%d]", static_cast<int>(d->sessionId));
    if (UaTrace::isTraceLevelOn(7))
    {
        UaTrace::traceLevel7("  SessionName    = %s", sessionName.toUtf8());
        UaTrace::traceLevel7("  SessionTimeout = %d", static_cast<int>(sessionTimeout));
    }
    {
        UaMutexLocker lock(&d->mutex);
        d->sessionName = sessionName;
        d->clientCertificate = clientCertificate;
        d->sessionTimeout = sessionTimeout;
        d->lastContact = UaDateTime::now().toInt64();
    }
    afterOpen();
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- Session::open [ret=0x%lx]", static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

UaStatus Session::activate(OpcUa_UInt32 secureChannelId, UaUserIdentityToken* userIdentityToken,
                           const UaStringArray& localeIds)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> Session::activate [ID=%d]", static_cast<int>(d->sessionId));
    UaStatus result = OpcUa_Good;
    if (hasExpired() || isActivationOverdue())
    {
        // The logon passed all the same: user, diagnostics object and hook are still set up, and
        // the next periodic check closes the session.
        result = OpcUa_BadSessionIdInvalid;
    }
    else
    {
        UaMutexLocker lock(&d->mutex);
        copyStrings(localeIds, d->localeIds);
        updateLastContact();
        if (secureChannelId != d->secureChannelId)
        {
            lock.unlock();
            invalidateSecureChannel();
            lock.lock(&d->mutex);
            d->secureChannelId = secureChannelId;
        }
        d->activated = true;
        d->wasActivated = true;
        d->secureChannelValid = true;
    }

    if (userIdentityToken != nullptr)
    {
        UaString user;
        OpcUa_UInt32 type = 0;
        if (userIdentityToken->getType() == OpcUa_UserTokenType_UserName)
        {
            user = static_cast<UaUserIdentityTokenUserName*>(userIdentityToken)->userName;
            type = 1;
        }
        else if (userIdentityToken->getType() == OpcUa_UserTokenType_Certificate)
        {
            UaPkiCertificate certificate = UaPkiCertificate::fromDER(
                static_cast<UaUserIdentityTokenCertificate*>(userIdentityToken)->userCertificate);
            user = certificate.subject().commonName;
            type = 2;
        }
        if (type != 0)
        {
            UaMutexLocker lock(&d->mutex);
            d->userName = user;
            d->identityType = type;
        }
    }

    addDiagnosticsObject();
    afterActivate();
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- Session::activate [ret=0x%lx]",
                             static_cast<unsigned long>(result.statusCode()));
    return result;
}

void Session::addDiagnosticsObject()
{
    UaString name;
    UaNodeId nodeId;
    {
        UaMutexLocker lock(&d->mutex);
        if (d->diagnosticsObject != nullptr || d->addingDiagnosticsObject || d->closed)
            return;
        d->addingDiagnosticsObject = true;
        name = d->sessionName;
        nodeId = d->sessionNodeId;
    }
    UaNode* object = nullptr;
    if (NodeManagerConfig* addressSpace = addressSpaceOf(nodeId))
    {
        auto* node = new UaObjectPlain(nodeId, UaQualifiedName(name, nodeId.namespaceIndex()),
                                       UaLocalizedText(UaString(), name), UaLocalizedText(),
                                       UaNodeId(kSessionDiagnosticsObjectType, 0), 0);
        // The address space takes the creating reference; the session keeps one of its own.
        if (addToSummary(addressSpace, node).isGood())
        {
            node->addReference();
            object = node;
        }
        else
            node->releaseReference();
    }
    bool closedMeanwhile;
    {
        UaMutexLocker lock(&d->mutex);
        d->addingDiagnosticsObject = false;
        closedMeanwhile = d->closed;
        if (!closedMeanwhile)
            d->diagnosticsObject = object;
    }
    if (closedMeanwhile)
        removeDiagnosticsObject(object);
}

void Session::removeDiagnosticsObject(UaNode* object)
{
    if (object == nullptr)
        return;
    if (NodeManagerConfig* addressSpace = addressSpaceOf(object->nodeId()))
        addressSpace->deleteUaNode(object, true, true, true);
    object->releaseReference();
}

bool Session::markClosed()
{
    UaNode* object;
    {
        UaMutexLocker lock(&d->mutex);
        if (d->closed)
            return false;
        d->activated = false;
        d->closed = true;
        object = d->diagnosticsObject;
        d->diagnosticsObject = nullptr;
    }
    removeDiagnosticsObject(object);
    return true;
}

UaStatus Session::close(bool /*deleteSubscriptions*/)
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> Session::close [ID=%d]", static_cast<int>(d->sessionId));
    if (!markClosed())
    {
        if (UaTrace::isTraceLevelOn(6))
            UaTrace::traceLevel6("<-- Session::close [ret=OpcUa_BadInvalidState]");
        return OpcUa_BadInvalidState;
    }
    afterClose();
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- Session::close [ret=0x%lx]", static_cast<unsigned long>(OpcUa_Good));
    return OpcUa_Good;
}

bool Session::hasExpired()
{
    const OpcUa_Int64 now = UaDateTime::now().toInt64();
    OpcUa_Int64 lastContact;
    OpcUa_Int64 timeoutSeconds;
    {
        UaMutexLocker lock(&d->mutex);
        lastContact = d->lastContact;
        timeoutSeconds = d->sessionTimeout / 1000;
    }
    return secondsSince(lastContact, now) > timeoutSeconds &&
           secondsSince(SessionManager::resumeTime(), now) > timeoutSeconds;
}

void Session::updateLastContact()
{
    // The time is read before the check: a contact racing the expiry is never dated after the
    // moment the session was found alive, so it cannot revive a session that has expired.
    const OpcUa_Int64 now = UaDateTime::now().toInt64();
    UaMutexLocker lock(&d->mutex);
    if (!hasExpired())
        d->lastContact = now;
}

UaStatus Session::checkSessionValid(OpcUa_UInt32 secureChannelId)
{
    {
        UaMutexLocker lock(&d->mutex);
        if (!d->activated)
        {
            d->markedForRemoval = true;
            return d->wasActivated ? OpcUa_BadSessionIdInvalid : OpcUa_BadSessionNotActivated;
        }
        if (secureChannelId != d->secureChannelId)
            return OpcUa_BadSecureChannelIdInvalid;
    }
    if (hasExpired())
    {
        setInvalid();
        return OpcUa_BadSessionIdInvalid;
    }
    return OpcUa_Good;
}

void Session::setInvalid()
{
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("--> Session::setInvalid [ID=%d]", static_cast<int>(d->sessionId));
    bool wasActive;
    {
        UaMutexLocker lock(&d->mutex);
        wasActive = d->activated;
        d->activated = false;
    }
    if (wasActive)
        afterSetInvalid();
    if (UaTrace::isTraceLevelOn(6))
        UaTrace::traceLevel6("<-- Session::setInvalid");
}

bool Session::isToBeRemoved()
{
    if (hasExpired())
    {
        setInvalid();
        return true;
    }
    if (isActivationOverdue())
        return true;
    UaMutexLocker lock(&d->mutex);
    return d->markedForRemoval;
}

OpcUa_UInt32 Session::age() const
{
    const OpcUa_UInt32 now = OpcUa_GetTickCount();
    UaMutexLocker lock(&d->mutex);
    return now - d->createdTick; // unsigned: right across a wrap of the tick count
}

bool Session::isActivationOverdue() const
{
    return !wasActivated() && age() >= kActivationTimeLimit;
}

bool Session::isSecureChannelValid()
{
    UaMutexLocker lock(&d->mutex);
    return d->secureChannelValid;
}

void Session::invalidateSecureChannel()
{
    UaMutexLocker lock(&d->mutex);
    d->secureChannelValid = false;
}

UaStatus Session::queueBrowseContext(BrowseContext* browseContext, OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->browseTable.queue(browseContext, continuationPoint);
}

BrowseContext* Session::getBrowseContext(const OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->browseTable.take(continuationPoint);
}

OpcUa_UInt16 Session::getMaxBrowseContinuationPoints()
{
    return d->browseTable.capacity();
}

UaStatus Session::queueQueryContext(QueryContext* queryContext, OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->queryTable.queue(queryContext, continuationPoint);
}

QueryContext* Session::getQueryContext(const OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->queryTable.take(continuationPoint);
}

UaStatus Session::queueHistoryReadCP(HistoryReadContinuationPoint* historyReadCP,
                                     OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->historyTable.queue(historyReadCP, continuationPoint);
}

HistoryReadContinuationPoint* Session::getHistoryReadCP(const OpcUa_ByteString& continuationPoint)
{
    UaMutexLocker lock(&d->mutex);
    return d->historyTable.take(continuationPoint);
}

OpcUa_UInt32 Session::sessionId() const
{
    return d->sessionId;
}

UaNodeId Session::sessionNodeId() const
{
    UaMutexLocker lock(&d->mutex);
    return d->sessionNodeId;
}

UaNodeId Session::authenticationToken() const
{
    UaMutexLocker lock(&d->mutex);
    return d->authenticationToken;
}

OpcUa_UInt32 Session::secureChannelId() const
{
    UaMutexLocker lock(&d->mutex);
    return d->secureChannelId;
}

UaString Session::sessionName() const
{
    UaMutexLocker lock(&d->mutex);
    return d->sessionName;
}

OpcUa_UInt32 Session::sessionTimeout() const
{
    UaMutexLocker lock(&d->mutex);
    return d->sessionTimeout;
}

UaByteString Session::clientCertificate() const
{
    UaMutexLocker lock(&d->mutex);
    return d->clientCertificate;
}

UaString Session::userName() const
{
    UaMutexLocker lock(&d->mutex);
    return d->userName;
}

OpcUa_UInt32 Session::identityType() const
{
    UaMutexLocker lock(&d->mutex);
    return d->identityType;
}

void Session::localeIds(UaStringArray& localeIds) const
{
    UaMutexLocker lock(&d->mutex);
    copyStrings(d->localeIds, localeIds);
}

bool Session::isActivated() const
{
    UaMutexLocker lock(&d->mutex);
    return d->activated;
}

bool Session::wasActivated() const
{
    UaMutexLocker lock(&d->mutex);
    return d->wasActivated;
}

bool Session::isClosed() const
{
    UaMutexLocker lock(&d->mutex);
    return d->closed;
}

OpcUa_Int32 Session::instanceCount()
{
    return g_instanceCount.load();
}

std::atomic<OpcUa_Int32>* Session::instanceCounter()
{
    return &g_instanceCount;
}

UaMutex* Session::sessionMutex() const
{
    return &d->mutex;
}
