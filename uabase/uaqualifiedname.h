#ifndef UABASE_UAQUALIFIEDNAME_H
#define UABASE_UAQUALIFIEDNAME_H

#include "uastackvalue.h"
#include "uastring.h"

#include <opcua.h>

// Qualified name (namespace index, name) held inline; copies are deep.
class UaQualifiedName : public UaStackValue<OpcUa_QualifiedName>
{
public:
    using UaStackValue::UaStackValue;
    UaQualifiedName(const UaString& name, OpcUa_UInt16 namespaceIndex);

    void setQualifiedName(const UaString& name, OpcUa_UInt16 namespaceIndex);
    OpcUa_UInt16 namespaceIndex() const { return m_value.NamespaceIndex; }
    UaString name() const { return UaString(&m_value.Name); }
    const OpcUa_QualifiedName* toOpcUaQualifiedName() const { return &m_value; }
    // Namespace index 0 and an empty name.
    bool isNull() const;
    // Same namespace index and names equal without regard to case.
    bool operator==(const UaQualifiedName& other) const;
    bool operator!=(const UaQualifiedName& other) const { return !(*this == other); }

    // The name alone.
    UaString toString() const;
    // "ns=<index>|<name>", the key text of browse names.
    UaString toFullString() const;
};

#endif
