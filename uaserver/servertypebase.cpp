#include "servertypebase.h"

#include "standardnodeids.h"

ServerTypeBase::ServerTypeBase(const UaString& name, const UaNodeId& nodeId, const UaString& defaultLocaleId)
    : UaObjectBase(name, nodeId, defaultLocaleId), m_components{}
{
}

ServerTypeBase::~ServerTypeBase() = default;

UaNodeId ServerTypeBase::typeDefinitionId() const
{
    return UaNodeId(StandardNodeId::ServerType, 0);
}

UaNode* ServerTypeBase::component(OpcUa_UInt32 slot) const
{
    UaMutexLocker locker(&m_mutex);
    return slot < ComponentCount ? m_components[slot] : nullptr;
}

void ServerTypeBase::setComponent(OpcUa_UInt32 slot, UaNode* pNode)
{
    UaMutexLocker locker(&m_mutex);
    if (slot < ComponentCount)
        m_components[slot] = pNode;
}
