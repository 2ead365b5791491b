#include "variablehandle.h"

UaVariableOwnHandle::UaVariableOwnHandle(UaNode& variable, OpcUa_Int32 attributeId)
    : VariableHandle(nullptr, attributeId), m_variable(variable)
{
}

OpcUa_Int32 UaVariableOwnHandle::addReference()
{
    return m_variable.addReference();
}

OpcUa_Int32 UaVariableOwnHandle::releaseReference()
{
    return m_variable.releaseReference();
}
