#include "uaextensionobject.h"
#include "uatextforms.h"

namespace
{
// Decoded bodies that are copied: the structures the server shows, builds or takes in node
// management.
bool isCopiedType(OpcUa_UInt32 typeId)
{
    switch (typeId)
    {
    case OpcUaId_Argument:
    case OpcUaId_BuildInfo:
    case OpcUaId_ObjectAttributes:
    case OpcUaId_VariableAttributes:
    case OpcUaId_MethodAttributes:
    case OpcUaId_ObjectTypeAttributes:
    case OpcUaId_VariableTypeAttributes:
    case OpcUaId_ReferenceTypeAttributes:
    case OpcUaId_DataTypeAttributes:
    case OpcUaId_ViewAttributes:
    case OpcUaId_RedundantServerDataType:
    case OpcUaId_ServerStatusDataType:
    case OpcUaId_ModelChangeStructureDataType:
    case OpcUaId_Range:
    case OpcUaId_EUInformation:
    case OpcUaId_Annotation:
        return true;
    default:
        return false;
    }
}
} // namespace

OpcUa_StatusCode StackCopy::copyExtensionObject(const OpcUa_ExtensionObject* source,
                                                OpcUa_ExtensionObject* target)
{
    if (source->Encoding == OpcUa_ExtensionObjectEncoding_EncodeableObject &&
        (source->Body.EncodeableObject.Type == nullptr ||
         !isCopiedType(source->Body.EncodeableObject.Type->TypeId)))
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
