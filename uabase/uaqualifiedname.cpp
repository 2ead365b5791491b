#include "uaqualifiedname.h"
#include "uatextforms.h"

UaQualifiedName::UaQualifiedName(const UaString& name, OpcUa_UInt16 namespaceIndex)
{
    setQualifiedName(name, namespaceIndex);
}

void UaQualifiedName::setQualifiedName(const UaString& name, OpcUa_UInt16 namespaceIndex)
{
    clear();
    m_value.NamespaceIndex = namespaceIndex;
    name.copyTo(&m_value.Name);
}

bool UaQualifiedName::isNull() const
{
    return m_value.NamespaceIndex == 0 && OpcUa_String_StrSize(&m_value.Name) == 0;
}

bool UaQualifiedName::operator==(const UaQualifiedName& other) const
{
    return m_value.NamespaceIndex == other.m_value.NamespaceIndex &&
           OpcUa_String_StrSize(&m_value.Name) == OpcUa_String_StrSize(&other.m_value.Name) &&
           OpcUa_String_StrnCmp(&m_value.Name, &other.m_value.Name, OPCUA_STRING_LENDONTCARE, OpcUa_True) ==
               0;
}

UaString UaQualifiedName::toString() const
{
    return UaString(&m_value.Name);
}

UaString UaQualifiedName::toFullString() const
{
    return TextForms::qualifiedName(m_value);
}
