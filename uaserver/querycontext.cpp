#include "querycontext.h"

QueryContext::QueryContext()
{
    OpcUa_ViewDescription_Initialize(&m_view);
    OpcUa_ContentFilter_Initialize(&m_filter);
}

QueryContext::QueryContext(OpcUa_QueryFirstRequest& request)
    : m_view(request.View), m_noOfNodeTypes(request.NodeTypes != nullptr ? request.NoOfNodeTypes : 0),
      m_pNodeTypes(request.NodeTypes), m_filter(request.Filter),
      m_maxDataSetsToReturn(request.MaxDataSetsToReturn),
      m_maxReferencesToReturn(request.MaxReferencesToReturn)
{
    OpcUa_ViewDescription_Initialize(&request.View);
    OpcUa_ContentFilter_Initialize(&request.Filter);
    request.NoOfNodeTypes = 0;
    request.NodeTypes = nullptr;
}

QueryContext::~QueryContext()
{
    OpcUa_ViewDescription_Clear(&m_view);
    for (OpcUa_Int32 i = 0; i < m_noOfNodeTypes; ++i)
        OpcUa_NodeTypeDescription_Clear(&m_pNodeTypes[i]);
    OpcUa_Memory_Free(m_pNodeTypes);
    OpcUa_ContentFilter_Clear(&m_filter);
}
