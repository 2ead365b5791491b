#include "uatextforms.h"
#include "hextext.h"

#include <cstring>
#include <string>

namespace
{
constexpr std::size_t kIdBufferSize = 256;

// The prefix followed by the bytes in hexadecimal, as many whole byte pairs as fit in 255 characters.
UaString withOpaqueBytes(const char* prefix, const OpcUa_ByteString& bytes)
{
    std::string text(prefix);
    if (bytes.Length < 1 || bytes.Data == nullptr)
        return UaString(text.c_str());
    std::size_t count = static_cast<std::size_t>(bytes.Length);
    std::size_t room = (kIdBufferSize - 1 - text.size()) / 2;
    if (count > room)
        count = room;
    text += HexText::bytes(bytes.Data, count);
    return UaString(text.c_str());
}

UaString guidText(const OpcUa_Guid* guid)
{
    char buffer[OPCUA_GUID_LEXICAL_LENGTH + 1] = {0};
    OpcUa_Guid_ToString(guid != nullptr ? guid : &OpcUa_Guid_Null, buffer);
    return UaString(buffer);
}

// Enumeration fields may hold any 32-bit value a peer sent; read them as plain integers.
template <typename E> OpcUa_Int32 enumValue(const E& field)
{
    static_assert(sizeof(E) == sizeof(OpcUa_Int32));
    OpcUa_Int32 value = 0;
    std::memcpy(&value, &field, sizeof(value));
    return value;
}

const char* const kStateNames[] = {"Running",  "Failed", "NoConfiguration",   "Suspended",
                                   "Shutdown", "Test",   "CommunicationFault"};
constexpr OpcUa_Int32 kStateCount = 7;
} // namespace

namespace TextForms
{
UaString nodeIdFull(const OpcUa_NodeId& id)
{
    char buffer[kIdBufferSize];
    switch (id.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "NS%hu|Numeric|%u", id.NamespaceIndex,
                               id.Identifier.Numeric);
        return UaString(buffer);
    case OpcUa_IdentifierType_String:
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "NS%hu|String|%s", id.NamespaceIndex,
                               OpcUa_String_GetRawString(&id.Identifier.String));
        return UaString(buffer);
    case OpcUa_IdentifierType_Guid:
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "NS%hu|Guid|%s", id.NamespaceIndex,
                               guidText(id.Identifier.Guid).toUtf8());
        return UaString(buffer);
    case OpcUa_IdentifierType_Opaque:
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "NS%hu|Opaque|0x", id.NamespaceIndex);
        return withOpaqueBytes(buffer, id.Identifier.ByteString);
    default:
        return UaString();
    }
}

UaString nodeIdIdentifier(const OpcUa_NodeId& id)
{
    switch (id.IdentifierType)
    {
    case OpcUa_IdentifierType_Numeric:
    {
        char buffer[20];
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "%u", id.Identifier.Numeric);
        return UaString(buffer);
    }
    case OpcUa_IdentifierType_String:
        return UaString(&id.Identifier.String);
    case OpcUa_IdentifierType_Guid:
        return guidText(id.Identifier.Guid);
    case OpcUa_IdentifierType_Opaque:
        if (id.Identifier.ByteString.Length < 1)
            return UaString();
        return withOpaqueBytes("0x", id.Identifier.ByteString);
    default:
        return UaString();
    }
}

UaString qualifiedName(const OpcUa_QualifiedName& name)
{
    char buffer[kIdBufferSize];
    OpcUa_StringA_snprintf(buffer, sizeof(buffer), "ns=%d|%s", static_cast<int>(name.NamespaceIndex),
                           OpcUa_String_GetRawString(&name.Name));
    return UaString(buffer);
}

UaString serverState(OpcUa_Int32 state)
{
    if (state < 0 || state >= kStateCount)
        return UaString("Server State Unknown");
    return UaString((std::string("Server State ") + kStateNames[state]).c_str());
}

UaString redundantServerState(OpcUa_Int32 state, const UaString& serverId)
{
    // The misspelling of the unknown state is kept: stored texts and peers may match on it.
    std::string pattern = state < 0 || state >= kStateCount
                              ? std::string("Server State Unkown (Id=%1)")
                              : std::string("Server State ") + kStateNames[state] + " (Id=%1)";
    return UaString(pattern.c_str()).arg(serverId);
}

UaString extensionObject(const OpcUa_ExtensionObject& object)
{
    if (object.Encoding != OpcUa_ExtensionObjectEncoding_EncodeableObject ||
        object.Body.EncodeableObject.Type == nullptr)
        return UaString();
    const void* body = object.Body.EncodeableObject.Object;
    switch (object.Body.EncodeableObject.Type->TypeId)
    {
    case OpcUaId_Argument:
        return body ? UaString(&static_cast<const OpcUa_Argument*>(body)->Name) : UaString();
    case OpcUaId_BuildInfo:
        return body ? UaString(&static_cast<const OpcUa_BuildInfo*>(body)->ProductUri) : UaString();
    case OpcUaId_RedundantServerDataType:
    {
        if (!body)
            return UaString();
        const auto* server = static_cast<const OpcUa_RedundantServerDataType*>(body);
        return redundantServerState(enumValue(server->ServerState), UaString(&server->ServerId));
    }
    case OpcUaId_ServerStatusDataType:
        return body ? serverState(enumValue(static_cast<const OpcUa_ServerStatusDataType*>(body)->State))
                    : UaString();
    case OpcUaId_ModelChangeStructureDataType:
        return body ? nodeIdFull(static_cast<const OpcUa_ModelChangeStructureDataType*>(body)->Affected)
                    : UaString();
    case OpcUaId_Range:
    {
        if (!body)
            return UaString();
        const auto* range = static_cast<const OpcUa_Range*>(body);
        char buffer[100];
        OpcUa_StringA_snprintf(buffer, sizeof(buffer), "[%.2f, %.2f]", range->Low, range->High);
        return UaString(buffer);
    }
    case OpcUaId_EUInformation:
        return body ? UaString(&static_cast<const OpcUa_EUInformation*>(body)->DisplayName.Text) : UaString();
    case OpcUaId_Annotation:
        return body ? UaString(&static_cast<const OpcUa_Annotation*>(body)->Message) : UaString();
    default:
        return UaString("Type can not be displayed");
    }
}
} // namespace TextForms
