#ifndef UABASE_UAEXTENSIONOBJECT_H
#define UABASE_UAEXTENSIONOBJECT_H

#include "uastackvalue.h"
#include "uastring.h"

#include <opcua.h>

// Extension object held inline. Copies keep encoded bodies and decoded structures of every type.
class UaExtensionObject : public UaStackValue<OpcUa_ExtensionObject>
{
public:
    using UaStackValue::UaStackValue;

    // Replaces the content by a new initialised body of the given stack type; returns the body
    // (null when it cannot be created).
    void* createBody(OpcUa_EncodeableType* type);
    OpcUa_Int32 encoding() const { return m_value.Encoding; }
    // The data type id of a decoded body; 0 for other bodies.
    OpcUa_UInt32 dataTypeId() const;
    void* body() const;
    const OpcUa_ExtensionObject* toOpcUaExtensionObject() const { return &m_value; }

    // The display text of the body ("Type can not be displayed" for unlisted decoded types).
    UaString toString() const;
};

#endif
