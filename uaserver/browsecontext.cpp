#include "browsecontext.h"

#include "browsecontinuationpoint.h"

#include <nodeidcompare.h>
#include <stackcopy.h>

BrowseContext::BrowseContext()
    : m_pView(&m_ownView), m_pStartingNode(&m_ownStartingNode), m_pReferenceTypeId(&m_ownReferenceTypeId)
{
    OpcUa_ViewDescription_Initialize(&m_ownView);
    OpcUa_NodeId_Initialize(&m_ownStartingNode);
    OpcUa_NodeId_Initialize(&m_ownReferenceTypeId);
}

BrowseContext::BrowseContext(const OpcUa_ViewDescription* view, const OpcUa_BrowseDescription& description,
                             OpcUa_UInt32 maxReferencesPerNode)
    : BrowseContext()
{
    if (view)
        m_pView = view;
    m_pStartingNode = &description.NodeId;
    m_maxReferencesPerNode = maxReferencesPerNode;
    m_browseDirection = static_cast<OpcUa_UInt32>(description.BrowseDirection);
    m_pReferenceTypeId = &description.ReferenceTypeId;
    m_includeSubtypes = description.IncludeSubtypes != OpcUa_False;
    m_nodeClassMask = description.NodeClassMask;
    m_resultMask = description.ResultMask;
}

BrowseContext::~BrowseContext()
{
    if (m_pContinuationPoint)
        m_pContinuationPoint->releaseReference();
    OpcUa_ViewDescription_Clear(&m_ownView);
    OpcUa_NodeId_Clear(&m_ownStartingNode);
    OpcUa_NodeId_Clear(&m_ownReferenceTypeId);
}

bool BrowseContext::hasView() const
{
    return !NodeIdCompare::isNull(m_pView->ViewId);
}

BrowseContinuationPoint* BrowseContext::takeContinuationPoint()
{
    BrowseContinuationPoint* continuationPoint = m_pContinuationPoint;
    m_pContinuationPoint = nullptr;
    m_isDone = true;
    return continuationPoint;
}

void BrowseContext::setContinuationPoint(BrowseContinuationPoint* continuationPoint)
{
    if (m_isBorrowed)
        makePersistent();
    if (m_pContinuationPoint && m_pContinuationPoint != continuationPoint)
        m_pContinuationPoint->releaseReference();
    m_pContinuationPoint = continuationPoint;
    m_isDone = continuationPoint == nullptr;
}

void BrowseContext::makePersistent()
{
    if (m_pView != &m_ownView)
    {
        StackCopy::copyNodeId(&m_pView->ViewId, &m_ownView.ViewId);
        m_ownView.Timestamp = m_pView->Timestamp;
        m_ownView.ViewVersion = m_pView->ViewVersion;
        m_pView = &m_ownView;
    }
    if (m_pStartingNode != &m_ownStartingNode)
    {
        StackCopy::copyNodeId(m_pStartingNode, &m_ownStartingNode);
        m_pStartingNode = &m_ownStartingNode;
    }
    if (m_pReferenceTypeId != &m_ownReferenceTypeId)
    {
        StackCopy::copyNodeId(m_pReferenceTypeId, &m_ownReferenceTypeId);
        m_pReferenceTypeId = &m_ownReferenceTypeId;
    }
    m_isBorrowed = false;
}
