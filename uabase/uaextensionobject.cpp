#include "uaextensionobject.h"
#include "uatextforms.h"

// Decoded bodies are copied through their encodeable type, whatever the type: a copy that dropped
// them would lose the content of written structures, call arguments and event fields.
OpcUa_StatusCode StackCopy::copyExtensionObject(const OpcUa_ExtensionObject* source,
                                                OpcUa_ExtensionObject* target)
{
    if (source->Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject &&
        source->Body.EncodeableObject.Type == nullptr)
    {
        OpcUa_ExtensionObject_Clear(target);
        return OpcUa_Good;
    }
    return OpcUa_ExtensionObject_CopyTo(source, target);
}

void* UaExtensionObject::createBody(OpcUa_EncodeableType* type)
{
    void* body = nullptr;
    if (type == nullptr || (OpcUa_EncodeableObject_CreateExtension(type, &m_value, &body) & 0xC0000000u) != 0)
        return nullptr;
    return body;
}

OpcUa_UInt32 UaExtensionObject::dataTypeId() const
{
    if (m_value.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        m_value.Body.EncodeableObject.Type == nullptr)
        return 0;
    return m_value.Body.EncodeableObject.Type->TypeId;
}

void* UaExtensionObject::body() const
{
    return m_value.Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject
               ? m_value.Body.EncodeableObject.Object
               : nullptr;
}

UaString UaExtensionObject::toString() const
{
    return TextForms::extensionObject(m_value);
}
