#include "uaguid.h"
#include "stackcopy.h"
#include "uastring.h"

UaGuid::UaGuid()
{
    OpcUa_Guid_Initialize(&m_value);
}

UaGuid::UaGuid(const OpcUa_Guid& other) : m_value(other) {}

void UaGuid::create()
{
    OpcUa_Guid_Create(&m_value);
}

bool UaGuid::isNull() const
{
    return OpcUa_Guid_IsNull(&m_value) != OpcUa_False;
}

bool UaGuid::operator==(const UaGuid& other) const
{
    return OpcUa_Guid_Compare(&m_value, &other.m_value) == 0;
}

void UaGuid::copyTo(OpcUa_Guid* target) const
{
    StackCopy::copyTo(m_value, target);
}

OpcUa_Guid* UaGuid::clone() const
{
    return StackCopy::clone(m_value);
}

UaString UaGuid::toString() const
{
    char buffer[OPCUA_GUID_LEXICAL_LENGTH + 1] = {0};
    OpcUa_Guid_ToString(&m_value, buffer);
    return UaString(buffer);
}
